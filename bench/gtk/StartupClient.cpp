// The demo program as main.cpp composes it, plus one line of output when the
// start page's load has finished: that moment's monotonic time (microseconds),
// then the steps that led to it as name=time pairs, so that the process
// benchmark can show where start-up goes.
// Optional arguments replace the site address ("http://127.0.0.1:1234") and
// the program's folder (the benchmark gives one without the Flash player).
// The process benchmark measures start-up and memory with it.

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/Main.h"
#include "programs/whirligigcam/DesktopServices.h"

namespace {

std::vector<std::pair<const char*, gint64>> steps;
void step(const char* name) { steps.emplace_back(name, g_get_monotonic_time()); }

}  // namespace

int main(int argc, char** argv) {
    step("main");
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv)) return 1;
    step("gtk_init");
    gtkui::HostOptions options;
    if (argc > 2) options.appFolder = argv[2];
    gtkui::GtkHost host(
        [](GtkWindow* window) {
            step("host_views");
            auto services = gtkui::makeDesktopServices(window, true);
            step("services");
            return services;
        },
        options);
    step("host");
    support::Settings settings = support::Settings::builtIn();
    if (argc > 1) {
        const std::string site = argv[1];
        settings = {site + "/update/", site + "/", site + "/stats/index.html",
                    site + "/my_videos_upload"};
    }
    app::Main main(host, settings);
    step("app");
    g_signal_connect(host.view(host.wbload()).webView(), "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer) {
                         static bool reported = false;
                         if (reported) return;
                         if (event == WEBKIT_LOAD_STARTED) step("load_started");
                         if (event == WEBKIT_LOAD_COMMITTED) step("load_committed");
                         if (event != WEBKIT_LOAD_FINISHED) return;
                         reported = true;
                         std::string line = std::to_string(g_get_monotonic_time());
                         for (const auto& [name, at] : steps)
                             line += std::string(" ") + name + "=" + std::to_string(at);
                         std::printf("%s\n", line.c_str());
                         std::fflush(stdout);
                     }),
                     nullptr);
    host.start();
    step("shown");
    while (!host.windowGone()) g_main_context_iteration(nullptr, TRUE);
    return 0;
}
