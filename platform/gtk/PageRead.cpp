#include "platform/gtk/PageRead.h"

#include "support/Failure.h"
#include "platform/gtk/BridgeChannels.h"

namespace gtkui {
namespace {

unsigned long waited = 0;
std::vector<WaitedTrip>* tracing = nullptr;

std::string printable(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return out;
}

// One evaluation waited for. Shared with the completion, which may arrive
// after the wait has given up.
struct PendingRead {
    GMainLoop* loop = nullptr;
    bool done = false;
    bool failed = false;
    bool timedOut = false;
    std::string value;
};

void readFinished(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::shared_ptr<PendingRead>> holder(
        static_cast<std::shared_ptr<PendingRead>*>(data));
    PendingRead& pending = **holder;
    g_autoptr(GError) error = nullptr;
    g_autoptr(JSCValue) value =
        webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (value) {
        g_autofree gchar* text = jsc_value_to_string(value);
        pending.value = text ? text : "";
    } else {
        pending.failed = true;
        pending.value = error ? error->message : "script failed";
    }
    pending.done = true;
    if (pending.loop) g_main_loop_quit(pending.loop);
}

// Marks the page responsive again once it answers.
void ping(WebKitWebView* view, const std::shared_ptr<PageHealth>& health) {
    if (health->pinging || !view) return;
    health->pinging = true;
    webkit_web_view_evaluate_javascript(
        view, "0", -1, ScriptWorld, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<std::shared_ptr<PageHealth>> h(
                static_cast<std::shared_ptr<PageHealth>*>(data));
            g_autoptr(JSCValue) value = webkit_web_view_evaluate_javascript_finish(
                WEBKIT_WEB_VIEW(source), result, nullptr);
            (*h)->pinging = false;
            (*h)->unresponsive = false;
        },
        new std::shared_ptr<PageHealth>(health));
}

}  // namespace

std::string evaluateWaiting(WebKitWebView* view, const std::string& script,
                            const std::shared_ptr<PageHealth>& health,
                            std::chrono::milliseconds limit, std::string_view what) {
    if (!view) throw support::Failure("the view is gone");
    if (health->unresponsive) throw support::Failure("the page does not answer");
    if (health->closing) throw support::Failure("the window is closing");
    ++waited;
    const gint64 began = g_get_monotonic_time();
    struct Traced {
        std::string_view what;
        size_t bytes;
        gint64 began;
        double startedAt;
        ~Traced() {
            if (tracing)
                tracing->push_back({printable(what.substr(0, 60)), bytes,
                                    static_cast<double>(g_get_monotonic_time() - began) / 1000.0,
                                    startedAt});
        }
    } traced{what, script.size(), began, static_cast<double>(g_get_real_time()) / 1000.0};
    auto pending = std::make_shared<PendingRead>();
    webkit_web_view_evaluate_javascript(view, script.c_str(), static_cast<gssize>(script.size()),
                                        ScriptWorld, nullptr, nullptr, readFinished,
                                        new std::shared_ptr<PendingRead>(pending));
    if (!pending->done) {
        g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
        pending->loop = loop;
        guint timer = g_timeout_add_full(
            G_PRIORITY_HIGH, static_cast<guint>(limit.count()),
            [](gpointer data) -> gboolean {
                auto* p = static_cast<PendingRead*>(data);
                p->timedOut = true;
                if (p->loop) g_main_loop_quit(p->loop);
                return G_SOURCE_REMOVE;
            },
            pending.get(), nullptr);
        // The completion, the time limit or a close request ends the wait;
        // other sources dispatched meanwhile only queue their events.
        const gint64 start = g_get_monotonic_time();
        health->waiting = loop;
        while (!pending->done && !pending->timedOut && !health->closing) g_main_loop_run(loop);
        health->waiting = nullptr;
        pending->loop = nullptr;
        if (!pending->timedOut) g_source_remove(timer);
        if (!pending->done && !pending->timedOut) {
            // A page that kept the read waiting for a second (a healthy one
            // answers within milliseconds) is not waited for again while the
            // window closes, until it answers the ping.
            if (g_get_monotonic_time() - start >= G_USEC_PER_SEC) {
                health->unresponsive = true;
                ping(view, health);
            }
            throw support::Failure("the window is closing");
        }
        if (!pending->done) {
            health->unresponsive = true;
            ping(view, health);
            throw support::Failure("the page did not answer in time");
        }
    }
    if (pending->failed) throw support::Failure(pending->value);
    return pending->value;
}

unsigned long waitedEvaluations() { return waited; }

void traceWaitedEvaluations(std::vector<WaitedTrip>* trace) { tracing = trace; }

}  // namespace gtkui
