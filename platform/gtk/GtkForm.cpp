#include "platform/gtk/GtkForm.h"

#include <gdk/gdkx.h>

#include <algorithm>

#include "platform/gtk/GtkApp.h"

namespace gtkui {

GtkForm::GtkForm(std::shared_ptr<EventQueue> queue)
    : queue_(std::move(queue)),
      window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)),
      views_(GTK_CONTAINER(window_)),
      frame_(GTK_WINDOW(window_)),
      resizes_(queue_,
               [this] {
                   if (auto resize = events_.Resize) resize();
               }),
      closing_(
          window_, queue_,
          [this](bool& cancel) {
              if (auto unload = events_.Unload) unload(cancel);
          },
          [this] { destroy(); }) {
    gtk_window_set_title(GTK_WINDOW(window_), WindowTitle);
    gtk_window_set_default_size(GTK_WINDOW(window_), InitialClientWidth, InitialClientHeight);
    g_signal_connect(window_, "configure-event", G_CALLBACK(onConfigure), this);
    g_signal_connect(window_, "map-event", G_CALLBACK(onMap), this);
    gtk_widget_realize(window_);
    GdkWindow* gdkWindow = gtk_widget_get_window(window_);
    if (GDK_IS_X11_WINDOW(gdkWindow))
        handle_ = static_cast<platform::WindowHandle>(GDK_WINDOW_XID(gdkWindow));
    else
        handle_ = reinterpret_cast<platform::WindowHandle>(window_);
}

GtkForm::~GtkForm() {
    if (!window_) return;
    g_signal_handlers_disconnect_by_data(window_, this);
    closing_.detach();
    views_.detach();
    frame_.detach();
    gtk_widget_destroy(window_);
}

int GtkForm::scale() const {
    return window_ ? std::max(1, gtk_widget_get_scale_factor(window_)) : 1;
}

double GtkForm::dotsPerInch() const {
    const double dpi = gdk_screen_get_resolution(gdk_screen_get_default());
    return dpi > 0 ? dpi : 96.0;
}

// left and top place the outer rectangle as the window's measures assume a
// frame to be: a title bar on top and borders of one width on the other three
// sides. The client area then lies (width - clientWidth) / 2 right of left and
// (height - clientHeight) - (width - clientWidth) / 2 below top, which is where
// the recording takes its rectangle from, whatever frame the window manager
// draws (openbox: 1-pixel sides and a 5-pixel bottom handle).
platform::WindowGeometry GtkForm::geometry() {
    if (!window_) throw support::Failure("the window is gone");
    const FrameExtents& e = frame_.extents();
    platform::WindowGeometry g;
    g.clientWidth = clientWidth_;
    g.clientHeight = clientHeight_;
    g.width = clientWidth_ + e.left + e.right;
    g.height = clientHeight_ + e.top + e.bottom;
    g.scale = scale();
    int x = 0, y = 0;
    if (!gtk_widget_get_mapped(window_)) {
        gtk_window_get_position(GTK_WINDOW(window_), &x, &y);
        g.left = x;
        g.top = y;
        return g;
    }
    gdk_window_get_origin(gtk_widget_get_window(window_), &x, &y);
    const double side = (e.left + e.right) / 2.0;
    g.left = x - side;
    g.top = y - (e.top + e.bottom) + side;
    return g;
}

void GtkForm::setOuterHeight(int pixels) {
    if (!window_) throw support::Failure("the window is gone");
    clientHeight_ = std::max(1, pixels - frame_.extents().top - frame_.extents().bottom);
    gtk_window_resize(GTK_WINDOW(window_), clientWidth_, clientHeight_);
}

void GtkForm::unload() {
    if (!window_) throw support::Failure("the window is gone");
    closing_.request();
}

void GtkForm::place(GtkWidget* view, const GdkRectangle& where) {
    if (!window_) throw support::Failure("the window is gone");
    views_.place(
        view, GdkRectangle{where.x, where.y, std::max(0, where.width), std::max(0, where.height)});
}

void GtkForm::bringToFront(GtkWidget* view) {
    if (window_) views_.bringToFront(view);
}

void GtkForm::show() {
    queue_->post([this] {
        if (auto load = events_.Load) load();
    });
    if (!window_) return;  // Load may have unloaded the window
    frame_.centre(clientWidth_, clientHeight_);
    resizes_.start();
    gtk_widget_show_all(window_);
}

gboolean GtkForm::onMap(GtkWidget*, GdkEvent*, gpointer data) {
    auto* self = static_cast<GtkForm*>(data);
    self->frame_.mapped(self->clientWidth_, self->clientHeight_);
    return FALSE;
}

gboolean GtkForm::onConfigure(GtkWidget*, GdkEventConfigure* event, gpointer data) {
    auto* self = static_cast<GtkForm*>(data);
    self->frame_.update(self->clientWidth_, self->clientHeight_);
    self->clientWidth_ = event->width;
    self->clientHeight_ = event->height;
    self->resizes_.clientSize(event->width, event->height);
    return FALSE;
}

void GtkForm::destroy() {
    closing_.detach();
    queue_->close();
    if (onGone_) onGone_();
    g_signal_handlers_disconnect_by_data(window_, this);
    views_.detach();
    frame_.detach();
    GtkWidget* window = window_;
    window_ = nullptr;
    gtk_widget_destroy(window);
}

}  // namespace gtkui
