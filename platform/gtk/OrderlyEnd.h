#pragma once
// Ends the program in order when it is told to from outside, so that a
// recording in progress is finished rather than cut off:
// - SIGTERM, SIGINT and SIGHUP (logout, `kill`, a shutdown, Ctrl+C) close the
//   window exactly as its close button does, through the window's unload.
//   The work runs from GLib's signal sources on the main loop, never inside a
//   signal handler. Modal dialogs open at that moment are dismissed first (a
//   save dialog as cancelled, a message box as closed), since nobody is left
//   to answer them and the close waits for the handler that shows them.
// - Losing the X connection leaves no window to unload: the recordings still
//   running are stopped, which finishes their files, then the program exits
//   with status 1, as the toolkit would have done.
//
// Used on the user-interface thread; one at a time, for as long as the host
// lives.

#include "platform/gtk/GtkHost.h"

namespace gtkui {

class OrderlyEnd {
public:
    // GTK must be initialised.
    explicit OrderlyEnd(GtkHost& host);
    ~OrderlyEnd();
    OrderlyEnd(const OrderlyEnd&) = delete;
    OrderlyEnd& operator=(const OrderlyEnd&) = delete;

private:
    static gboolean onSignal(gpointer self);
    void close();

    GtkHost& host_;
    guint sources_[3] = {};
};

}  // namespace gtkui
