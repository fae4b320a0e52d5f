#include "platform/gtk/PageProcesses.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "support/Log.h"
#include "platform/gtk/BridgeChannels.h"
#include "platform/gtk/GtkBrowserView.h"
#include "platform/gtk/StepTrace.h"

namespace gtkui {

unsigned defaultPageMemoryLimitMB() {
    constexpr std::uint64_t limit = 2048;
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return limit;
    const std::uint64_t half = static_cast<std::uint64_t>(pages) *
                               static_cast<std::uint64_t>(pageSize) / 2 / (1024 * 1024);
    return static_cast<unsigned>(std::min(limit, half));
}

WebKitWebContext* webContextWithMemoryLimit(WebKitWebsiteDataManager* data,
                                            unsigned memoryLimitMB) {
    g_autoptr(WebKitMemoryPressureSettings) memory = nullptr;
    if (memoryLimitMB > 0) {
        memory = webkit_memory_pressure_settings_new();
        webkit_memory_pressure_settings_set_memory_limit(memory, memoryLimitMB);
        // The process frees caches from a half and harder from three
        // quarters of the limit: at 2 GiB that is where WebKit's own defaults
        // (a third and a half of 3 GB) put them. It is ended at the limit,
        // which it is measured against every 10 s rather than every 30. Each
        // measurement reads the process's memory map, which the player's
        // WebAssembly makes large: every 3 s that cost each web process more
        // than a paused player does, and kept the hidden window's processes
        // busy. (Each threshold must lie between its neighbours when it is set.)
        webkit_memory_pressure_settings_set_strict_threshold(memory, 0.75);
        webkit_memory_pressure_settings_set_conservative_threshold(memory, 0.5);
        webkit_memory_pressure_settings_set_kill_threshold(memory, 1.0);
        webkit_memory_pressure_settings_set_poll_interval(memory, 10.0);
    }
    return WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", data,
                                           "memory-pressure-settings", memory, nullptr));
}

// With the web processes rather than with the rest of the view.
void GtkBrowserView::endPageProcess() {
    if (!view_) return;  // never made: no process to end
    support::logInfo("a view's web process is ended; its next page starts in a fresh one");
    // WebKit reports the end from inside the call (nothing when no process runs).
    endingProcess_ = true;
    webkit_web_view_terminate_web_process(view_);
    endingProcess_ = false;
}

struct PageProcessWatch::State : std::enable_shared_from_this<State> {
    std::string name;
    gint64 grace = 0;               // microseconds
    WebKitWebView* view = nullptr;  // held; a ping on its way holds the state
    gint64 pingSent = 0;            // when the ping that has not come back was sent
    unsigned ping = 0;              // the ping that counts
    gint64 engineSilent = 0;        // since when WebKit finds the process not answering
    bool ended = true;              // no process runs the view's page until it loads again

    void end(gint64 since) {
        support::logWarning(name + " has not answered for " +
                            std::to_string((g_get_monotonic_time() - since) / 1000000) +
                            " s; its web process is ended");
        ended = true;
        pingSent = 0;
        engineSilent = 0;
        webkit_web_view_terminate_web_process(view);
    }
    void sendPing() {
        pingSent = g_get_monotonic_time();
        webkit_web_view_evaluate_javascript(
            view, "0", -1, ScriptWorld, nullptr, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer data) {
                std::unique_ptr<std::pair<std::shared_ptr<State>, unsigned>> sent(
                    static_cast<std::pair<std::shared_ptr<State>, unsigned>*>(data));
                g_autoptr(JSCValue) value = webkit_web_view_evaluate_javascript_finish(
                    WEBKIT_WEB_VIEW(source), result, nullptr);
                // An answer or an error: either way the process has replied.
                if (sent->first->ping == sent->second) sent->first->pingSent = 0;
            },
            new std::pair<std::shared_ptr<State>, unsigned>(shared_from_this(), ++ping));
    }
};

PageProcessWatch::PageProcessWatch(std::string name, std::chrono::milliseconds grace)
    : state_(std::make_shared<State>()) {
    state_->name = std::move(name);
    state_->grace = std::chrono::duration_cast<std::chrono::microseconds>(grace).count();
}

PageProcessWatch::~PageProcessWatch() {
    if (tick_) g_source_remove(tick_);
    if (state_->view) {
        g_signal_handlers_disconnect_by_data(state_->view, state_.get());
        g_object_unref(state_->view);
    }
}

void PageProcessWatch::watch(WebKitWebView* view) {
    if (state_->view || !view) return;
    state_->view = WEBKIT_WEB_VIEW(g_object_ref(view));
    g_signal_connect(
        view, "notify::is-web-process-responsive",
        G_CALLBACK(+[](WebKitWebView* v, GParamSpec*, gpointer data) {
            auto* s = static_cast<State*>(data);
            if (webkit_web_view_get_is_web_process_responsive(v)) {
                s->engineSilent = 0;
            } else if (!s->engineSilent) {
                s->engineSilent = g_get_monotonic_time();
                support::logInfo(s->name + ": WebKit finds its web process not answering");
            }
        }),
        state_.get());
    g_signal_connect(
        view, "web-process-terminated",
        G_CALLBACK(+[](WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) {
            auto* s = static_cast<State*>(data);
            s->ended = true;
            s->pingSent = 0;
            s->engineSilent = 0;
        }),
        state_.get());
    // A load starts the process again (it may have been ended, or crashed).
    g_signal_connect(view, "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
                         if (event == WEBKIT_LOAD_STARTED) static_cast<State*>(data)->ended = false;
                     }),
                     state_.get());
    state_->ended = false;
    tick_ = g_timeout_add_seconds(1, onTick, state_.get());
}

gboolean PageProcessWatch::onTick(gpointer data) {
    auto* s = static_cast<State*>(data);
    if (s->ended) return G_SOURCE_CONTINUE;
    TimedStep step("page liveness poll");
    gint64 since = s->pingSent;
    if (s->engineSilent && (!since || s->engineSilent < since)) since = s->engineSilent;
    if (since && g_get_monotonic_time() - since >= s->grace) {
        s->end(since);
    } else if (!s->pingSent) {
        s->sendPing();
    }
    return G_SOURCE_CONTINUE;
}

}  // namespace gtkui
