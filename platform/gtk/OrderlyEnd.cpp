#include "platform/gtk/OrderlyEnd.h"

#include <glib-unix.h>
#include <unistd.h>

#include <csignal>

// Last: Xlib's macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

namespace gtkui {

namespace {

// The host whose recordings a lost display must finish, and the toolkit's
// connection; set while an OrderlyEnd lives.
GtkHost* displayHost = nullptr;
Display* toolkitDisplay = nullptr;
XIOErrorHandler previousHandler = nullptr;

// Xlib calls this process-wide handler when any connection is lost, on the
// thread that used it. Only the toolkit's connection (the user-interface
// thread's) ends the program here; the recorder's own connections report the
// loss through their recordings.
int onDisplayLost(Display* display) {
    if (display != toolkitDisplay) return 0;
    if (displayHost) displayHost->finishRecordings();
    g_printerr("Whirligigcam Desktop lost its connection to the X display; ending.\n");
    // No return: the toolkit cannot go on without its display, and the
    // process's exit handlers would use it.
    _exit(1);
}

}  // namespace

OrderlyEnd::OrderlyEnd(GtkHost& host) : host_(host) {
    const int signals[] = {SIGTERM, SIGINT, SIGHUP};
    for (int i = 0; i < 3; ++i) sources_[i] = g_unix_signal_add(signals[i], onSignal, this);
    GdkDisplay* display = gdk_display_get_default();
    if (display && GDK_IS_X11_DISPLAY(display)) {
        displayHost = &host;
        toolkitDisplay = GDK_DISPLAY_XDISPLAY(display);
        previousHandler = XSetIOErrorHandler(onDisplayLost);
    }
}

OrderlyEnd::~OrderlyEnd() {
    for (guint source : sources_)
        if (source) g_source_remove(source);
    if (displayHost == &host_) {
        XSetIOErrorHandler(previousHandler);
        displayHost = nullptr;
        toolkitDisplay = nullptr;
    }
}

gboolean OrderlyEnd::onSignal(gpointer self) {
    static_cast<OrderlyEnd*>(self)->close();
    return G_SOURCE_CONTINUE;
}

void OrderlyEnd::close() {
    if (host_.windowGone()) return;
    GtkWindow* window = host_.gtkForm().window();
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item; item = item->next) {
        auto* dialog = GTK_WINDOW(item->data);
        if (GTK_IS_DIALOG(dialog) && gtk_window_get_transient_for(dialog) == window &&
            gtk_widget_get_mapped(GTK_WIDGET(dialog)))
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_DELETE_EVENT);
    }
    g_list_free(toplevels);
    // The same request as the window's close button: it joins the event queue
    // behind the handler that is running, then the unload runs.
    gtk_window_close(window);
}

}  // namespace gtkui
