#pragma once
// Closing the main window: a request (the window manager's delete event, or
// the program's own unload) waits in the event queue for the running
// handler, then raises Unload; an Unload that does not cancel ends the window.

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <utility>

#include "platform/gtk/EventQueue.h"

namespace gtkui {

class WindowClosing {
public:
    // unload runs the form's Unload handler; end destroys the window.
    WindowClosing(GtkWidget* window, std::shared_ptr<EventQueue> queue,
                  std::function<void(bool& cancel)> unload, std::function<void()> end);
    ~WindowClosing() { detach(); }
    WindowClosing(const WindowClosing&) = delete;
    WindowClosing& operator=(const WindowClosing&) = delete;

    // Called with true when the window is asked to close (before the request
    // waits for a running handler), with false when Unload runs.
    void setOnRequest(std::function<void(bool)> request) { onRequest_ = std::move(request); }
    // The program's own request.
    void request();
    // Called before the window goes: no request is taken from then on.
    void detach();

private:
    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);
    void close();

    GtkWidget* window_;
    std::shared_ptr<EventQueue> queue_;
    std::function<void(bool&)> unload_;
    std::function<void()> end_;
    std::function<void(bool)> onRequest_;
};

}  // namespace gtkui
