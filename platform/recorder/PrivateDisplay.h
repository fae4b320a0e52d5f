#pragma once
// An X connection of the recorder's own. X errors of its requests are
// recorded on the connection and reported by takeError(), instead of going
// to the process-wide Xlib error handler (which by default ends the process,
// and which the toolkit of the window owns). Losing the connection makes its
// calls fail instead of ending the process.
//
// A connection is used by one thread at a time: the recorder opens it on the
// user-interface thread and hands it to its capture thread.

#include <X11/Xlib.h>

#include <cstdint>
#include <string>

namespace recorder {

class PrivateDisplay {
public:
    // Opens the display by name (empty: $DISPLAY). Throws Failure.
    explicit PrivateDisplay(const std::string& name);
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    Display* get() const { return display_; }

    // Waits for the server to process every request sent, then reports
    // whether any of them failed since the last call.
    bool syncAndTakeError();
    // Reports whether a request failed since the last call, without waiting:
    // enough after a request that waits for its reply.
    bool takeError();

private:
    Display* display_ = nullptr;
    std::uint64_t owner_ = 0;  // this connection's number in the error table
};

}  // namespace recorder
