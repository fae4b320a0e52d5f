#pragma once
// Asynchronous reads of web addresses with libsoup 3, on the GLib main loop of
// the user-interface thread.
//
// Each read is a plain GET that bypasses every cache: the session has no cache
// feature and the request asks intermediaries not to answer from theirs. The
// completion runs later from the main loop, exactly once per read, never inside
// readUncached. It has the whole body when a 2xx reply was read to its end (an
// empty body included); otherwise it says the read was not whole and has no
// body: a transfer that failed, timed out or exceeded the size limit, or a
// reply that was not a success (the log says which).
//
// Two reads of the same address proceed independently; each reports on its
// own. Destroying the reader, or abandonAll(), cancels every read in
// flight: none of their completions runs afterwards.
//
// All methods, and the completions, run on the thread whose thread-default
// main context was current when the reader was made.

#include <chrono>
#include <cstddef>
#include <set>

#include "support/Failure.h"
#include "platform/Services.h"

typedef struct _SoupSession SoupSession;

namespace desktop {

class SoupAsyncReader : public platform::AsyncReader {
public:
    struct Limits {
        // Limits each wait for the server and also the whole read.
        std::chrono::seconds timeout{30};
        std::size_t maxBodyBytes = 64 * 1024;
    };

    SoupAsyncReader();
    explicit SoupAsyncReader(Limits limits);
    ~SoupAsyncReader() override;
    SoupAsyncReader(const SoupAsyncReader&) = delete;
    SoupAsyncReader& operator=(const SoupAsyncReader&) = delete;

    // Throws support::Failure for an address that is not an http or https
    // URI with a host; no completion follows then.
    void readUncached(const std::string& address,
                      std::function<void(const platform::ReadReply&)> complete) override;

    // Cancels every read in flight; their completions never run.
    void abandonAll();

    std::size_t readsInFlight() const { return reads_.size(); }

private:
    struct Read;
    friend struct Read;

    Limits limits_;
    SoupSession* session_;
    std::set<Read*> reads_;
};

}  // namespace desktop
