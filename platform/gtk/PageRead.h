#pragma once
// One script evaluated in a view's page, in the client's world, and waited
// for in a nested main loop with a time limit. While it waits, other sources
// are dispatched but only queue their events (see EventQueue).

#include <webkit2/webkit2.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace gtkui {

// Whether the web process answers. Shared by the views of one web process:
// a page that loops blocks them all. The window's close request reaches the
// health of every process.
struct PageHealth {
    bool unresponsive = false;
    bool pinging = false;
    // The window is asked to close: a waiting read gives up at once, so that
    // the close request does not wait for a page that does not answer.
    bool closing = false;
    GMainLoop* waiting = nullptr;

    void setClosing(bool value) {
        closing = value;
        if (value && waiting) g_main_loop_quit(waiting);
    }
};

// Runs script and returns its value as text. Throws support::Failure when
// the script fails, when the window is closing, or when the page does not
// answer within limit: the page is then marked unresponsive until it answers
// a cheap ping (as it is when a close request ends a wait of a second or more).
// what names the read in a trace.
std::string evaluateWaiting(WebKitWebView* view, const std::string& script,
                            const std::shared_ptr<PageHealth>& health,
                            std::chrono::milliseconds limit, std::string_view what = {});

// Evaluations that waited for a page, by every view of the process.
unsigned long waitedEvaluations();

// One evaluation that waited: what it read, the script's size (the writes
// sent with it included) and how long the wait took.
struct WaitedTrip {
    std::string what;
    size_t bytes = 0;
    double ms = 0;
    double startedAt = 0;  // wall-clock milliseconds, as a page's timestamps
};
// While trace is set, every evaluation that waits is added to it (benchmarks
// show where a handler's time goes). nullptr stops tracing.
void traceWaitedEvaluations(std::vector<WaitedTrip>* trace);

}  // namespace gtkui
