#pragma once
// Calls to the demo site's simulated friend (DemoFriend): the chat page
// opens a WebSocket at "/call/socket", the friend offers, and descriptions
// and candidates go both ways as JSON text messages. One socket is one
// call; the friend ends with its socket. Whatever the page sends is
// untrusted: large or malformed messages end the call, and only a few calls
// run at once.

#include <libsoup/soup.h>

#include <functional>
#include <memory>
#include <string>

namespace site {

class CallSignalling {
public:
    static constexpr char SocketPath[] = "/call/socket";
    static constexpr int MaxCalls = 4;
    static constexpr gsize MaxMessageBytes = 64 * 1024;
    // The close code of a call refused for want of room: one of the codes
    // for applications (libsoup takes none of the later standard ones).
    static constexpr gushort BusyCode = 4013;

    using Log = std::function<void(const std::string& line)>;
    // Takes sockets from pages of origin only.
    CallSignalling(SoupServer* server, const std::string& origin, Log log);
    ~CallSignalling();
    CallSignalling(const CallSignalling&) = delete;
    CallSignalling& operator=(const CallSignalling&) = delete;

    // Calls whose friend runs (its pipeline exists).
    int activeCalls() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace site
