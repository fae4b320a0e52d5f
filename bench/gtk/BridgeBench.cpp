// In-process figures of the GTK backend: the chat page's preparation through
// the page bridge against the same DOM work as one in-page script, the
// resize handler on the prepared page, and the longest stall of the
// user-interface thread while an update check waits for its answer.

#include <gtk/gtk.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "BenchPages.h"
#include "TestSupport.h"
#include "app/Main.h"
#include "demo/SiteServer.h"
#include "platform/gtk/BridgeScript.h"
#include "platform/gtk/PageBridge.h"
#include "platform/gtk/PageRead.h"
#include "platform/gtk/StepTrace.h"

namespace {

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs a script in the client's world and waits for it.
void runInWorld(WebKitWebView* view, const std::string& script) {
    bool done = false;
    webkit_web_view_evaluate_javascript(
        view, script.c_str(), -1, gtkui::ScriptWorld, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            g_autoptr(JSCValue) value = webkit_web_view_evaluate_javascript_finish(
                WEBKIT_WEB_VIEW(source), result, nullptr);
            *static_cast<bool*>(data) = true;
        },
        &done);
    guitest::waitFor([&] { return done; }, 60000);
}

void preparation(site::SiteServer& site, const std::string& appFolder) {
    guitest::Harness h(appFolder);
    app::Main main(h.host(), {site.address("/update/"), site.address("/"),
                              site.address("/stats/index.html"), site.address("/up")});
    gtk_widget_show_all(GTK_WIDGET(h.host().gtkForm().window()));
    platform::BrowserView& wb = h.host().WB();
    WebKitWebView* view = h.webView(wb);
    const std::string script = bench::preparationScript(appFolder + "/HTML");
    // The view's completions reach no handler: the bench runs the preparation itself.
    wb.setEvents({});
    for (int elements : {1000, 10000}) {
        const std::string address = site.address("/gen" + std::to_string(elements));
        std::vector<double> bridge, inPage, inHandler, handlerReads;
        std::vector<std::vector<gtkui::WaitedTrip>> traces;
        unsigned long trips = 0;
        for (int round = 0; round < 5; ++round) {
            h.load(wb, address);
            platform::DocumentRef document = wb.Document();
            traces.emplace_back();
            gtkui::traceWaitedEvaluations(&traces.back());
            auto start = Clock::now();
            const unsigned long before = gtkui::PageBridge::roundTrips();
            // As a handler: its record of the page ends when it returns.
            h.host().queue().post([&] { main.PrepareChatPage(document); });
            trips = gtkui::PageBridge::roundTrips() - before;
            inHandler.push_back(msSince(start));
            double waited = 0;
            for (const auto& trip : traces.back()) waited += trip.ms;
            handlerReads.push_back(waited);
            document->body()->offsetWidth();  // every write has been applied
            bridge.push_back(msSince(start));
            gtkui::traceWaitedEvaluations(nullptr);
            bool keep = false;
            main.Form_Unload(keep);  // unbinds, as a new page would

            h.load(wb, address);
            start = Clock::now();
            runInWorld(view, script);
            inPage.push_back(msSince(start));
        }
        auto b = bench::figures(bridge), p = bench::figures(inPage);
        std::printf(
            "PrepareChatPage, %5d elements: bridge %.1f ms, one in-page script %.1f ms, "
            "ratio %.2f (target <= %.1f; medians of 5); %lu round trips in the handler\n",
            elements, b.median, p.median, b.median / p.median, elements == 1000 ? 2.0 : 1.5, trips);
        // Where the median round's time went: each read that waited for the
        // page (the writes queued before it go with it), the rest of the
        // handler, and the last read, which waits until the page has applied
        // every write and laid itself out.
        const size_t median = static_cast<size_t>(
            std::find(bridge.begin(), bridge.end(), b.median) - bridge.begin());
        std::printf(
            "  round %zu: handler %.1f ms (its reads waited %.1f ms), then the page until "
            "every write is applied: %.1f ms\n",
            median + 1, inHandler[median], handlerReads[median], bridge[median] - inHandler[median]);
        for (size_t k = 0; k < traces[median].size(); ++k) {
            const auto& trip = traces[median][k];
            std::printf("  %2zu. %6.2f ms %7.1f kB  %s\n", k + 1, trip.ms, trip.bytes / 1024.0,
                        trip.what.c_str());
        }
    }
}

void resize(site::SiteServer& site, const std::string& appFolder) {
    guitest::Harness h(appFolder);
    app::Main main(h.host(), {site.address("/update/"), site.address("/"),
                              site.address("/stats/index.html"), site.address("/up")});
    h.host().start();
    WebKitWebView* view = h.webView(h.host().WB());
    guitest::waitFor([&] {
        return guitest::pageEval(view, "!!document.getElementById('whirligig')") == "true";
    });
    guitest::waitFor([] { return false; }, 1000);  // let the page settle
    platform::DocumentRef document = h.host().WB().Document();
    auto measure = [&](const char* when) {
        std::vector<double> trips;
        for (int k = 0; k < 300; ++k) {
            auto start = Clock::now();
            document->body();
            trips.push_back(msSince(start));
        }
        std::vector<double> samples;
        std::vector<double> counts;
        for (int k = 0; k < 300; ++k) {
            auto start = Clock::now();
            const unsigned long before = gtkui::PageBridge::roundTrips();
            h.host().queue().post([&] { main.Form_Resize(); });
            samples.push_back(msSince(start));
            counts.push_back(static_cast<double>(gtkui::PageBridge::roundTrips() - before));
            g_main_context_iteration(nullptr, FALSE);
        }
        auto t = bench::figures(trips), f = bench::figures(samples), c = bench::figures(counts);
        std::printf(
            "%s: one bridge read median %.2f ms (p99 %.2f); Form_Resize median %.2f ms "
            "(target <= 1.5), p99 %.2f ms (target <= 5), max %.2f ms (300 calls); "
            "round trips per Form_Resize: median %.0f, max %.0f\n",
            when, t.median, t.p99, f.median, f.p99, f.max, c.median, c.max);
    };
    measure("Prepared page, start-up animations running");
    // The start page's and the chat page's spinners run for about half a minute.
    guitest::waitFor([] { return false; }, 35000);
    measure("Prepared page, animations ended");
}

// CPU time of the calling thread: a gap in which the window's thread ran
// little was the machine's other work, not the client's.
double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

// One round of the stall: the longest gap between the ticks of a 1 ms
// ticker from this round's update request to its answer, when in the wait it
// ended, and the window's timed steps of the round (start-up included).
struct Stall {
    double longest = 0, endedAfter = 0;
    double ranInLongest = 0;  // the window thread's own CPU time in that gap
    std::vector<gtkui::TracedStep> steps;
    std::vector<gtkui::WaitedTrip> trips;  // the page reads the handlers waited for
    Clock::time_point waitBegan, waitEnded;
};

Stall stall(site::SiteServer& site, const std::string& appFolder) {
    site.setUpdateDelay(std::chrono::milliseconds(3000));
    Stall result;
    gtkui::traceSteps(&result.steps);
    gtkui::traceWaitedEvaluations(&result.trips);
    {
        guitest::Harness h(appFolder);
        app::Main main(h.host(), {site.address("/update/"), site.address("/"),
                                  site.address("/stats/index.html"), site.address("/up")});
        const int asked = site.requestCount("/update/1");
        h.host().start();
        guitest::waitFor([&] { return site.requestCount("/update/1") > asked; });
        struct Ticks {
            Clock::time_point last;
            double lastCpu;
            Stall* result;
        } ticks{Clock::now(), threadCpuMs(), &result};
        result.waitBegan = ticks.last;
        guint ticker = g_timeout_add(
            1,
            [](gpointer data) -> gboolean {
                auto* t = static_cast<Ticks*>(data);
                auto now = Clock::now();
                const double cpu = threadCpuMs();
                const double gap = std::chrono::duration<double, std::milli>(now - t->last).count();
                if (gap > t->result->longest) {
                    t->result->longest = gap;
                    t->result->ranInLongest = cpu - t->lastCpu;
                    t->result->endedAfter =
                        std::chrono::duration<double, std::milli>(now - t->result->waitBegan)
                            .count();
                }
                t->last = now;
                t->lastCpu = cpu;
                return G_SOURCE_CONTINUE;
            },
            &ticks);
        const int before = site.endedCount("/update/1");
        guitest::waitFor([&] { return site.endedCount("/update/1") > before; }, 10000);
        g_source_remove(ticker);
        result.waitEnded = Clock::now();
    }
    gtkui::traceSteps(nullptr);
    gtkui::traceWaitedEvaluations(nullptr);
    site.setUpdateDelay(std::chrono::milliseconds(0));
    return result;
}

// The median round's timed steps of the window, from the start-up to the
// answer, each with when it began (negative: before the wait).
void printStallTrace(const Stall& round) {
    std::printf(
        "  longest gap %.1f ms, %.0f ms into the wait; the window's thread ran %.1f ms of it\n",
        round.longest, round.endedAfter, round.ranInLongest);
    std::printf("  the window's timed steps (ms from the update request):\n");
    int during = 0;
    for (const auto& step : round.steps) {
        if (step.began > round.waitEnded) continue;
        const double at =
            std::chrono::duration<double, std::milli>(step.began - round.waitBegan).count();
        if (at >= 0) ++during;
        std::printf("    %7.0f  %6.2f ms  %s\n", at, step.ms, step.what.c_str());
    }
    if (!during) std::printf("    (none ran during the wait)\n");
    std::printf("  page reads the window waited for: %zu\n", round.trips.size());
    for (const auto& trip : round.trips)
        std::printf("    %6.2f ms  %s\n", trip.ms, trip.what.substr(0, 90).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "needs an X11 display\n");
        return 1;
    }
    site::SiteServer site;
    site.setLogging(false);
    for (int elements : {1000, 10000})
        site.addRoute("/gen" + std::to_string(elements), bench::chatPage(elements));
    // The client's files without the bundled Flash player: its emulator would
    // start on the chat pages and take the CPU from both sides of the
    // comparison (the player has its own benchmark).
    guitest::TempFolder withoutPlayer;
    rmdir((withoutPlayer.path() + "/HTML/Img").c_str());
    rmdir((withoutPlayer.path() + "/HTML").c_str());
    for (const char* entry : {"HTML", "icons"}) {
        const std::string from = std::string(WHIRLIGIG_APP_FOLDER) + "/" + entry;
        const std::string to = withoutPlayer.path() + "/" + entry;
        if (symlink(from.c_str(), to.c_str()) != 0) std::perror(to.c_str());
    }
    const std::string appFolder = withoutPlayer.path();
    // An argument picks one part: preparation, resize or stall.
    const std::string only = argc > 1 ? argv[1] : "";
    if (only.empty() || only == "preparation") preparation(site, appFolder);
    if (only.empty() || only == "resize") resize(site, appFolder);
    if (only.empty() || only == "stall") {
        std::vector<Stall> rounds;
        std::vector<double> stalls;
        for (int round = 0; round < 5; ++round) {
            rounds.push_back(stall(site, appFolder));
            stalls.push_back(rounds.back().longest);
        }
        const double median = bench::figures(stalls).median;
        std::printf(
            "Longest stall of the user-interface thread while the update check waits 3 s: "
            "%.1f ms (target <= 16; median of 5; rounds:",
            median);
        for (double ms : stalls) std::printf(" %.1f", ms);
        std::printf(")\n");
        printStallTrace(rounds[std::find(stalls.begin(), stalls.end(), median) - stalls.begin()]);
    }
    return 0;
}
