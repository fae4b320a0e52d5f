#include "platform/gtk/GtkForm.h"

#include <gdk/gdkx.h>

#include <algorithm>
#include <cmath>

#include "platform/gtk/GtkApp.h"
#include "support/TwipsToPixels.h"

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

double GtkForm::twipsPerPixel() const {
    // Twips are counted per device pixel, so that on a scaled screen the
    // window's measures, the capture rectangle and the recorder agree.
    double dpi = gdk_screen_get_resolution(gdk_screen_get_default());
    if (dpi <= 0) dpi = 96.0;
    return 1440.0 / (dpi * scale());
}

int GtkForm::toPixels(double twips) const {
    // The program's one rule: whole twips, then pixels, halves to even.
    return support::TwipsToPixels(support::RoundHalfEven(twips), twipsPerPixel() * scale());
}

double GtkForm::ScaleWidth() { return toTwips(clientWidth_); }
double GtkForm::ScaleHeight() { return toTwips(clientHeight_); }

// Left and Top place the outer rectangle as the window's measures assume a
// frame to be: a title bar on top and borders of one width on the other three
// sides. The client area then lies (Width - ScaleWidth) / 2 right of Left and
// (Height - ScaleHeight) - (Width - ScaleWidth) / 2 below Top, which is where
// the recording takes its rectangle from, whatever frame the window manager
// draws (openbox: 1-pixel sides and a 5-pixel bottom handle).
double GtkForm::Left() {
    if (!window_) throw support::Failure("the window is gone");
    int x = 0, y = 0;
    if (!gtk_widget_get_mapped(window_)) {
        gtk_window_get_position(GTK_WINDOW(window_), &x, &y);
        return toTwips(x);
    }
    const FrameExtents& e = frame_.extents();
    gdk_window_get_origin(gtk_widget_get_window(window_), &x, &y);
    return toTwips(x) - toTwips(e.left + e.right) / 2;
}

double GtkForm::Top() {
    if (!window_) throw support::Failure("the window is gone");
    int x = 0, y = 0;
    if (!gtk_widget_get_mapped(window_)) {
        gtk_window_get_position(GTK_WINDOW(window_), &x, &y);
        return toTwips(y);
    }
    const FrameExtents& e = frame_.extents();
    gdk_window_get_origin(gtk_widget_get_window(window_), &x, &y);
    return toTwips(y) - toTwips(e.top + e.bottom) + toTwips(e.left + e.right) / 2;
}

double GtkForm::Width() {
    return toTwips(clientWidth_ + frame_.extents().left + frame_.extents().right);
}

double GtkForm::Height() {
    return toTwips(clientHeight_ + frame_.extents().top + frame_.extents().bottom);
}

void GtkForm::setHeight(double twips) {
    if (!window_) throw support::Failure("the window is gone");
    double current = Height();
    double pixels = twips / twipsPerPixel() / scale();
    // Round away from the current height so that any change moves at least a pixel.
    int outer = twips > current   ? static_cast<int>(std::ceil(pixels))
                : twips < current ? static_cast<int>(std::floor(pixels))
                                  : static_cast<int>(std::lround(pixels));
    clientHeight_ = std::max(1, outer - frame_.extents().top - frame_.extents().bottom);
    gtk_window_resize(GTK_WINDOW(window_), clientWidth_, clientHeight_);
}

void GtkForm::unload() {
    if (!window_) throw support::Failure("the window is gone");
    closing_.request();
}

void GtkForm::place(GtkWidget* view, double left, double top, double width, double height) {
    if (!window_) throw support::Failure("the window is gone");
    views_.place(view, GdkRectangle{toPixels(left), toPixels(top), std::max(0, toPixels(width)),
                                    std::max(0, toPixels(height))});
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
