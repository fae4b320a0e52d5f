// The demo program as main.cpp composes it, plus one line of output: the
// monotonic time (microseconds) when the start page's load has finished.
// Optional arguments replace the site address ("http://127.0.0.1:1234") and
// the program's folder (the benchmark gives one without the Flash player).
// The process benchmark measures start-up and memory with it.

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

#include "app/Main.h"
#include "programs/whirligigcam/DesktopServices.h"

int main(int argc, char** argv) {
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv)) return 1;
    gtkui::HostOptions options;
    if (argc > 2) options.appFolder = argv[2];
    gtkui::GtkHost host([](GtkWindow* window) { return gtkui::makeDesktopServices(window, true); },
                        options);
    app::Settings settings = app::Settings::builtIn();
    if (argc > 1) {
        const std::string site = argv[1];
        settings = {site + "/update/", site + "/", site + "/stats/index.html",
                    site + "/my_videos_upload"};
    }
    app::Main main(host, settings);
    g_signal_connect(host.view(host.wbload()).webView(), "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer) {
                         static bool reported = false;
                         if (event != WEBKIT_LOAD_FINISHED || reported) return;
                         reported = true;
                         std::printf("%lld\n", static_cast<long long>(g_get_monotonic_time()));
                         std::fflush(stdout);
                     }),
                     nullptr);
    host.run();
    return 0;
}
