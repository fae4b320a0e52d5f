#include "platform/gtk/WindowClosing.h"

namespace gtkui {

WindowClosing::WindowClosing(GtkWidget* window, std::shared_ptr<EventQueue> queue,
                             std::function<void(bool& cancel)> unload, std::function<void()> end)
    : window_(window), queue_(std::move(queue)), unload_(std::move(unload)), end_(std::move(end)) {
    g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
}

void WindowClosing::detach() {
    if (window_) g_signal_handlers_disconnect_by_data(window_, this);
    window_ = nullptr;
}

gboolean WindowClosing::onDelete(GtkWidget*, GdkEvent*, gpointer data) {
    auto* self = static_cast<WindowClosing*>(data);
    if (self->onRequest_) self->onRequest_(true);
    self->request();
    return TRUE;  // the window goes only when Unload lets it
}

void WindowClosing::request() {
    queue_->post([this] { close(); });
}

void WindowClosing::close() {
    if (!window_) return;
    bool cancel = false;
    if (onRequest_) onRequest_(false);  // Unload's own page steps run normally
    unload_(cancel);
    if (!cancel) end_();
}

}  // namespace gtkui
