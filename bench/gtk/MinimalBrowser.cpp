// The smallest WebKitGTK program: one window, one view, one address. Prints
// the monotonic time (microseconds) when the first load has finished, then
// runs until it is killed. The yardstick for the client's start-up and memory.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    gdk_set_allowed_backends("x11");
    if (argc < 2 || !gtk_init_check(&argc, &argv)) return 1;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 698, 558);
    GtkWidget* view = webkit_web_view_new();
    gtk_container_add(GTK_CONTAINER(window), view);
    g_signal_connect(view, "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent e, gpointer) {
                         static bool reported = false;
                         if (e != WEBKIT_LOAD_FINISHED || reported) return;
                         reported = true;
                         std::printf("%lld\n", static_cast<long long>(g_get_monotonic_time()));
                         std::fflush(stdout);
                     }),
                     nullptr);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
