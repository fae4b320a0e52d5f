// How long the chat screen takes to follow the window: the whole program on
// the local site, the window resized from outside (a configure request that
// the window manager carries out), 50 times to different sizes. For each
// resize: the time from the request to the page's own resize event, and to
// the moment the five elements hold the sizes of the page's final size (the
// last change of their style, stamped in the page).
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" scripts/with-wm build/bench/gtk/gtk_resize_bench

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/Main.h"
#include "chatpage/PageLayout.h"
#include "demo/SiteServer.h"
#include "platform/gtk/BridgeChannels.h"
#include "platform/gtk/PageRead.h"

namespace {

const char* const Elements =
    "[['content', 'height'], ['cam', 'height'], ['cam', 'width'], ['log', 'height'], "
    "['chatarea', 'width']]";

// Notes in the page when its viewport changes and when the five values last
// changed, on the elements the layout sizes (those getElementById finds).
const std::string Stamps = std::string("(() => { const list = ") + Elements +
                           ".map(([id, p]) => [document.getElementById(id), p]);"
                           "const values = () => list.map(([e, p]) => e.style[p]).join(' ');"
                           "const now = () => performance.timeOrigin + performance.now();"
                           "const b = window.__bench = {values: values(), changed: 0, resized: 0};"
                           "addEventListener('resize', () => { b.resized = now(); });"
                           "const o = new MutationObserver(() => { const v = values();"
                           "  if (v !== b.values) { b.values = v; b.changed = now(); } });"
                           "for (const [e] of list) o.observe(e, {attributes: true});"
                           "return 1; })()";

struct Seen {
    int width = 0, height = 0, innerWidth = 0, innerHeight = 0;
    double changed = 0, resized = 0;
    std::vector<std::string> values;
};

Seen seen(WebKitWebView* view) {
    std::istringstream in(guitest::pageEval(
        view,
        "(d => [d.offsetWidth, d.offsetHeight, innerWidth, innerHeight, __bench.changed, "
        "__bench.resized, __bench.values].join(' '))(document.documentElement)"));
    Seen s;
    in >> s.width >> s.height >> s.innerWidth >> s.innerHeight >> s.changed >> s.resized;
    for (std::string v; in >> v;) s.values.push_back(v);
    return s;
}

bool follows(const Seen& s) {
    chatpage::PageLayout l = chatpage::ComputePageLayout(s.width, s.height);
    return s.values == std::vector<std::string>{
                           chatpage::Pixels(l.contentHeight), chatpage::Pixels(l.camHeight),
                           chatpage::Pixels(l.camWidth), chatpage::Pixels(l.logHeight),
                           chatpage::Pixels(l.chatareaWidth)};
}

double wallMs() { return static_cast<double>(g_get_real_time()) / 1000.0; }

// Nearest-rank percentile.
double percentile(std::vector<double> samples, double p) {
    std::sort(samples.begin(), samples.end());
    size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(samples.size())));
    return samples[std::clamp<size_t>(rank, 1, samples.size()) - 1];
}

}  // namespace

int main(int argc, char** argv) {
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "needs an X11 display\n");
        return 1;
    }
    site::SiteServer site;
    site.setLogging(false);
    guitest::Harness h(WHIRLIGIG_APP_FOLDER);
    app::Main main(h.host(), {site.address("/update/"), site.address("/"),
                              site.address("/stats/index.html"), site.address("/up")});
    h.host().start();
    WebKitWebView* view = h.webView(h.host().WB());
    guitest::OutsideRequests x(static_cast<unsigned long>(h.host().form().hWnd()));
    // The chat page prepared and the timer's nudge carried out (a request of
    // the program's own still on its way would undo the first outside one).
    bool ready = guitest::waitFor(
        [&] {
            GdkRectangle client = x.clientArea();
            return !h.host().TimerResize().enabled() && client.height == 560 &&
                   guitest::pageEval(view,
                                     "!!document.getElementById('whirligig') && "
                                     "innerHeight === 560") == "true";
        },
        60000);
    if (!ready || guitest::pageEval(view, Stamps) != "1") {
        std::fprintf(stderr, "the chat page was not prepared\n");
        return 1;
    }

    // Per resize: WebKit's own delivery of the new size to the page (the
    // request until the page's resize event), and the client's share after
    // it (until the five elements hold their new sizes).
    std::vector<double> settle, toPage, clientShare;
    // Where the client's share goes: the page's size message reaching the
    // window's process, the read that Resize then waits for, and the writes
    // reaching the page after it.
    struct Arrival {
        double last = 0;
    } arrival;
    // An emission hook runs before the client's own handler, which raises
    // Resize at once when no other handler runs.
    g_signal_add_emission_hook(
        g_signal_lookup("script-message-received", WEBKIT_TYPE_USER_CONTENT_MANAGER),
        g_quark_from_string(gtkui::EventChannel),
        +[](GSignalInvocationHint*, guint count, const GValue* values, gpointer data) -> gboolean {
            if (count < 2) return TRUE;
            auto* result = static_cast<WebKitJavascriptResult*>(g_value_get_boxed(&values[1]));
            g_autofree gchar* text =
                result ? jsc_value_to_string(webkit_javascript_result_get_js_value(result))
                       : nullptr;
            if (text && std::strstr(text, "\x1fsize\x1f"))
                static_cast<Arrival*>(data)->last = wallMs();
            return TRUE;
        },
        &arrival, nullptr);
    std::vector<gtkui::WaitedTrip> trips;
    gtkui::traceWaitedEvaluations(&trips);
    std::vector<double> toClient, readWait, toWrites;
    int late = 0;
    for (int k = 0; k < 50; ++k) {
        const int width = 720 + (k * 137) % 400, height = 590 + (k * 89) % 300;
        const double start = wallMs();
        x.resize(width, height);
        trips.clear();
        Seen s;
        gint64 nextLook = 0;
        bool settled = guitest::waitFor([&] {
            // Looks at the page every few milliseconds only, so as not to load it.
            if (g_get_monotonic_time() < nextLook) return false;
            nextLook = g_get_monotonic_time() + 4000;
            GdkRectangle client = x.clientArea();
            if (client.width != width || client.height != height) return false;
            s = seen(view);
            return s.innerWidth == width && s.innerHeight == height && follows(s) &&
                   s.changed > start;
        });
        if (!settled) {
            GdkRectangle c = x.clientArea();
            std::printf("not settled: asked %dx%d, client %dx%d, page %dx%d\n", width, height,
                        c.width, c.height, s.innerWidth, s.innerHeight);
            ++late;
            continue;
        }
        settle.push_back(s.changed - start);
        toPage.push_back(s.resized - start);
        clientShare.push_back(s.changed - s.resized);
        // The handler's read after the size message (the bench's own looks at
        // the page are not the handler's: they are made outside any handler
        // and are told apart by what they read).
        const gtkui::WaitedTrip* read = nullptr;
        for (const auto& trip : trips)
            if (trip.startedAt >= arrival.last && trip.what.find("__bench") == std::string::npos &&
                trip.startedAt < s.changed && !read)
                read = &trip;
        toClient.push_back(arrival.last - s.resized);
        readWait.push_back(read ? read->ms : 0);
        toWrites.push_back(read ? s.changed - (read->startedAt + read->ms) : 0);
        std::printf(
            "  %2d. %4dx%-4d WebKit's delivery %6.1f ms, the client's share %6.1f ms "
            "(size message %5.1f, Resize's read %5.1f, writes applied after it %5.1f)\n",
            k + 1, width, height, toPage.back(), clientShare.back(), toClient.back(),
            readWait.back(), toWrites.back());
    }
    // The machine's load, for reading the figures: the page's process competes for the CPU.
    double load = 0;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = 0;
        std::fclose(f);
    }
    if (settle.empty()) {
        std::fprintf(stderr, "no resize settled\n");
        return 1;
    }
    std::printf(
        "Outside resize until the five elements hold the sizes of the page's final size "
        "(%zu resizes, %d not settled within 30 s):\n"
        "  settle   median %.1f ms, p95 %.1f ms, max %.1f ms\n"
        "  WebKit's delivery (until the page's own resize event): p50 %.1f ms, p95 %.1f ms\n"
        "  the client's share after it: p50 %.1f ms, p95 %.1f ms (target p95 <= 16, one frame)\n"
        "    of which the size message reaching the client p50 %.1f, p95 %.1f; Resize's read "
        "p50 %.1f, p95 %.1f; the writes reaching the page after it p50 %.1f, p95 %.1f\n"
        "  load average over the last minute: %.2f on %u processors\n",
        settle.size(), late, percentile(settle, 0.5), percentile(settle, 0.95),
        percentile(settle, 1.0), percentile(toPage, 0.5), percentile(toPage, 0.95),
        percentile(clientShare, 0.5), percentile(clientShare, 0.95), percentile(toClient, 0.5),
        percentile(toClient, 0.95), percentile(readWait, 0.5), percentile(readWait, 0.95),
        percentile(toWrites, 0.5), percentile(toWrites, 0.95), load,
        g_get_num_processors());
    return late == 0 ? 0 : 1;
}
