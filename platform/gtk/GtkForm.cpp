#include "platform/gtk/GtkForm.h"

#include <gdk/gdkx.h>

#include <algorithm>
#include <cmath>

#include "platform/gtk/GtkApp.h"
#include "recording/TwipsToPixels.h"

namespace gtkui {

GtkForm::GtkForm(std::shared_ptr<EventQueue> queue) : queue_(std::move(queue)) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window_), WindowTitle);
    gtk_window_set_default_size(GTK_WINDOW(window_), InitialClientWidth, InitialClientHeight);
    overlay_ = gtk_overlay_new();
    fixed_ = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(overlay_), fixed_);
    gtk_container_add(GTK_CONTAINER(window_), overlay_);
    g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
    g_signal_connect(window_, "configure-event", G_CALLBACK(onConfigure), this);
    g_signal_connect(window_, "map-event", G_CALLBACK(onMap), this);
    g_signal_connect(overlay_, "get-child-position", G_CALLBACK(onOverlayPosition), this);
    gtk_widget_realize(window_);
    GdkWindow* gdkWindow = gtk_widget_get_window(window_);
    if (GDK_IS_X11_WINDOW(gdkWindow))
        handle_ = static_cast<platform::WindowHandle>(GDK_WINDOW_XID(gdkWindow));
    else
        handle_ = reinterpret_cast<platform::WindowHandle>(window_);
}

GtkForm::~GtkForm() {
    if (window_) {
        g_signal_handlers_disconnect_by_data(window_, this);
        g_signal_handlers_disconnect_by_data(overlay_, this);
        gtk_widget_destroy(window_);
    }
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
    return recording::TwipsToPixels(recording::RoundHalfEven(twips), twipsPerPixel() * scale());
}

FrameExtents GtkForm::frameExtents() const {
    if (!window_ || !gtk_widget_get_mapped(window_)) return extents_;
    GdkWindow* w = gtk_widget_get_window(window_);
    GdkRectangle frame;
    gdk_window_get_frame_extents(w, &frame);
    int x = 0, y = 0;
    gdk_window_get_origin(w, &x, &y);
    FrameExtents e;
    e.left = std::max(0, x - frame.x);
    e.top = std::max(0, y - frame.y);
    e.right = std::max(0, frame.width - gdk_window_get_width(w) - e.left);
    e.bottom = std::max(0, frame.height - gdk_window_get_height(w) - e.top);
    return e;
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
    if (!window_) throw platform::Failure("the window is gone");
    int x = 0, y = 0;
    if (!gtk_widget_get_mapped(window_)) {
        gtk_window_get_position(GTK_WINDOW(window_), &x, &y);
        return toTwips(x);
    }
    gdk_window_get_origin(gtk_widget_get_window(window_), &x, &y);
    return toTwips(x) - toTwips(extents_.left + extents_.right) / 2;
}

double GtkForm::Top() {
    if (!window_) throw platform::Failure("the window is gone");
    int x = 0, y = 0;
    if (!gtk_widget_get_mapped(window_)) {
        gtk_window_get_position(GTK_WINDOW(window_), &x, &y);
        return toTwips(y);
    }
    gdk_window_get_origin(gtk_widget_get_window(window_), &x, &y);
    return toTwips(y) - toTwips(extents_.top + extents_.bottom) +
           toTwips(extents_.left + extents_.right) / 2;
}

double GtkForm::Width() { return toTwips(clientWidth_ + extents_.left + extents_.right); }
double GtkForm::Height() { return toTwips(clientHeight_ + extents_.top + extents_.bottom); }

void GtkForm::setHeight(double twips) {
    if (!window_) throw platform::Failure("the window is gone");
    double current = Height();
    double pixels = twips / twipsPerPixel() / scale();
    // Round away from the current height so that any change moves at least a pixel.
    int outer = twips > current   ? static_cast<int>(std::ceil(pixels))
                : twips < current ? static_cast<int>(std::floor(pixels))
                                  : static_cast<int>(std::lround(pixels));
    clientHeight_ = std::max(1, outer - extents_.top - extents_.bottom);
    gtk_window_resize(GTK_WINDOW(window_), clientWidth_, clientHeight_);
}

void GtkForm::unload() {
    if (!window_) throw platform::Failure("the window is gone");
    queue_->post([this] { requestClose(); });
}

void GtkForm::addOverlayView(GtkWidget* view) {
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), view);
}

void GtkForm::addFixedView(GtkWidget* view) {
    gtk_fixed_put(GTK_FIXED(fixed_), view, 0, 0);
    gtk_widget_show(view);
}

void GtkForm::addOverlayViewBehind(GtkWidget* view) {
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), view);
    gtk_overlay_reorder_overlay(GTK_OVERLAY(overlay_), view, 0);
    gtk_widget_show(view);
    // Pointer input follows the stacking of the children's own windows (see bringToFront).
    GdkWindow* childWindow = gtk_widget_get_parent_window(view);
    if (childWindow && childWindow != gtk_widget_get_window(overlay_))
        gdk_window_lower(childWindow);
}

void GtkForm::place(GtkWidget* view, double left, double top, double width, double height) {
    if (!window_) throw platform::Failure("the window is gone");
    GdkRectangle where{toPixels(left), toPixels(top), std::max(0, toPixels(width)),
                       std::max(0, toPixels(height))};
    // An unchanged place costs nothing: the handlers place the views on every resize.
    auto placed = overlayPlaces_.find(view);
    if (placed != overlayPlaces_.end() && placed->second.x == where.x &&
        placed->second.y == where.y && placed->second.width == where.width &&
        placed->second.height == where.height)
        return;
    overlayPlaces_[view] = where;
    if (gtk_widget_get_parent(view) == fixed_) {
        gtk_fixed_move(GTK_FIXED(fixed_), view, where.x, where.y);
        gtk_widget_set_size_request(view, where.width, where.height);
    } else {
        gtk_widget_queue_resize(overlay_);
    }
}

void GtkForm::bringToFront(GtkWidget* view) {
    if (!window_ || gtk_widget_get_parent(view) != overlay_) return;
    gtk_overlay_reorder_overlay(GTK_OVERLAY(overlay_), view, -1);
    // The overlay draws its children in list order but picks the target of
    // pointer input by the stacking of their child windows: raise that too.
    GdkWindow* childWindow = gtk_widget_get_parent_window(view);
    if (childWindow && childWindow != gtk_widget_get_window(overlay_))
        gdk_window_raise(childWindow);
}

gboolean GtkForm::onOverlayPosition(GtkOverlay*, GtkWidget* child, GdkRectangle* where,
                                    gpointer data) {
    auto* self = static_cast<GtkForm*>(data);
    auto found = self->overlayPlaces_.find(child);
    if (found == self->overlayPlaces_.end() || child == nullptr) return FALSE;
    *where = found->second;
    return TRUE;
}

void GtkForm::show() {
    queue_->post([this] {
        if (auto load = events_.Load) load();
    });
    if (!window_) return;  // Load may have unloaded the window
    centre();
    shown_ = true;
    gtk_widget_show_all(window_);
}

void GtkForm::centre() {
    GdkDisplay* display = gtk_widget_get_display(window_);
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return;
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    int outerWidth = clientWidth_ + extents_.left + extents_.right;
    int outerHeight = clientHeight_ + extents_.top + extents_.bottom;
    gtk_window_move(GTK_WINDOW(window_), area.x + std::max(0, (area.width - outerWidth) / 2),
                    area.y + std::max(0, (area.height - outerHeight) / 2));
}

void GtkForm::setMinimumOuterSize(platform::OuterSize minimum) {
    minimum_ = minimum;
    applyMinimum();
}

// The minimum is an outer size: it becomes a client-area hint only once the
// frame is known. Applied before that, with no frame counted, it would raise
// the first client height above the window's initial one.
void GtkForm::applyMinimum() {
    if (!window_ || !extentsKnown_ || (!minimum_.width && !minimum_.height)) return;
    GdkGeometry hints{};
    hints.min_width = std::max(1, minimum_.width - extents_.left - extents_.right);
    hints.min_height = std::max(1, minimum_.height - extents_.top - extents_.bottom);
    gtk_window_set_geometry_hints(GTK_WINDOW(window_), nullptr, &hints, GDK_HINT_MIN_SIZE);
}

gboolean GtkForm::onMap(GtkWidget*, GdkEvent*, gpointer data) {
    auto* self = static_cast<GtkForm*>(data);
    self->mapNotified_ = true;
    self->learnExtents();
    return FALSE;
}

// The window manager frames the window before the X server maps it (and with
// no window manager there is no frame): from the map notification on, the
// frame extents are known. The widget's own mapped flag is set earlier, when
// GTK asks for the map.
void GtkForm::learnExtents() {
    if (!window_ || !mapNotified_) return;
    FrameExtents extents = frameExtents();
    if (extentsKnown_ && extents == extents_) return;
    extentsKnown_ = true;
    extents_ = extents;
    applyMinimum();
    // Centred again once, now that the outer size is known.
    bool framed = extents.top || extents.left || extents.right || extents.bottom;
    if (framed && !centredWithFrame_) {
        centredWithFrame_ = true;
        centre();
    }
}

gboolean GtkForm::onConfigure(GtkWidget*, GdkEventConfigure* event, gpointer data) {
    auto* self = static_cast<GtkForm*>(data);
    self->learnExtents();
    self->clientWidth_ = event->width;
    self->clientHeight_ = event->height;
    self->clientChanged(event->width, event->height);
    return FALSE;
}

void GtkForm::clientChanged(int width, int height) {
    if (!shown_) return;
    if (width == reportedWidth_ && height == reportedHeight_) return;
    reportedWidth_ = width;
    reportedHeight_ = height;
    postResize();
}

// The chat view's page reaches its new size after the window's configure
// event and after the views have been placed, so the Resize that the
// configure event raised may have measured the page at its old size. The page
// reports every change of its size; one that differs from the size known when
// the last Resize began raises Resize again. Resize on an unchanged size
// changes nothing, so a spare run costs only its reads.
void GtkForm::pageViewport(int width, int height) {
    pageViewport_ = {width, height};
    if (shown_ && pageViewport_ != viewportAtResize_) postResize();
}

// One Resize waits in the queue at most: it reads the sizes when it runs.
void GtkForm::postResize() {
    if (resizeQueued_) return;
    resizeQueued_ = true;
    queue_->post([this] {
        resizeQueued_ = false;
        viewportAtResize_ = pageViewport_;
        if (auto resize = events_.Resize) resize();
    });
}

gboolean GtkForm::onDelete(GtkWidget*, GdkEvent*, gpointer data) {
    auto* self = static_cast<GtkForm*>(data);
    if (self->onCloseRequest_) self->onCloseRequest_(true);
    self->queue_->post([self] { self->requestClose(); });
    return TRUE;
}

void GtkForm::requestClose() {
    if (!window_ || closing_) return;
    bool cancel = false;
    if (onCloseRequest_) onCloseRequest_(false);  // Unload's own page steps run normally
    if (auto unload = events_.Unload) unload(cancel);
    if (!cancel) destroy();
}

void GtkForm::destroy() {
    closing_ = true;
    queue_->close();
    if (onGone_) onGone_();
    g_signal_handlers_disconnect_by_data(window_, this);
    g_signal_handlers_disconnect_by_data(overlay_, this);
    GtkWidget* window = window_;
    window_ = nullptr;
    gtk_widget_destroy(window);
}

}  // namespace gtkui
