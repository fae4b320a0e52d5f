#pragma once
// The call helper process of one chat view, seen from the window's process:
// started on demand with a socket as its fd 3 and a bare environment (no
// display, no session bus), spoken to with length-prefixed JSON messages.
// Writes never block the window: what the helper has not read yet waits
// here, up to a limit. Whatever the helper sends is checked for size and
// form only; its meaning is for the caller to check.

#include <glib.h>
#include <json-glib/json-glib.h>

#include <functional>
#include <string>

namespace gtkui {

class CallHelperProcess {
public:
    using OnMessage = std::function<void(JsonObject* message)>;
    // onGone: the helper ended or misbehaved (and was ended), with the reason.
    CallHelperProcess(std::string program, OnMessage onMessage,
                      std::function<void(const std::string& why)> onGone);
    ~CallHelperProcess();
    CallHelperProcess(const CallHelperProcess&) = delete;
    CallHelperProcess& operator=(const CallHelperProcess&) = delete;

    // Starts the helper unless it runs; false (logged) when it cannot start.
    bool ensureRunning();
    bool running() const { return pid_ > 0; }
    GPid pid() const { return pid_; }
    void send(JsonNode* message);
    // Ends the helper at once (its sockets go with it); onGone is not called.
    void stop();

private:
    static gboolean onSocket(gint fd, GIOCondition condition, gpointer self);
    static void onExited(GPid pid, gint status, gpointer self);
    bool readAvailable();
    bool writePending();
    void fail(const std::string& why);

    std::string program_;
    OnMessage onMessage_;
    std::function<void(const std::string&)> onGone_;
    GPid pid_ = 0;
    int fd_ = -1;
    guint socketWatch_ = 0, childWatch_ = 0;
    std::string input_, output_;
};

}  // namespace gtkui
