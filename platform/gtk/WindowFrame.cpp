#include "platform/gtk/WindowFrame.h"

#include <algorithm>

namespace gtkui {

FrameExtents WindowFrame::measureNow() const {
    if (!window_ || !gtk_widget_get_mapped(GTK_WIDGET(window_))) return extents_;
    GdkWindow* w = gtk_widget_get_window(GTK_WIDGET(window_));
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

// The window manager frames the window before the X server maps it (and with
// no window manager there is no frame): from the map notification on, the
// frame extents are known. The widget's own mapped flag is set earlier, when
// GTK asks for the map.
void WindowFrame::mapped(int clientWidth, int clientHeight) {
    mapNotified_ = true;
    update(clientWidth, clientHeight);
}

void WindowFrame::update(int clientWidth, int clientHeight) {
    if (!window_ || !mapNotified_) return;
    FrameExtents extents = measureNow();
    if (known_ && extents == extents_) return;
    known_ = true;
    extents_ = extents;
    applyMinimum();
    // Centred again once, now that the outer size is known.
    bool framed = extents.top || extents.left || extents.right || extents.bottom;
    if (framed && !centredWithFrame_) {
        centredWithFrame_ = true;
        centre(clientWidth, clientHeight);
    }
}

void WindowFrame::setMinimumOuterSize(platform::OuterSize minimum) {
    minimum_ = minimum;
    applyMinimum();
}

// The minimum is an outer size: it becomes a client-area hint only once the
// frame is known. Applied before that, with no frame counted, it would raise
// the first client height above the window's initial one.
void WindowFrame::applyMinimum() {
    if (!window_ || !known_ || (!minimum_.width && !minimum_.height)) return;
    GdkGeometry hints{};
    hints.min_width = std::max(1, minimum_.width - extents_.left - extents_.right);
    hints.min_height = std::max(1, minimum_.height - extents_.top - extents_.bottom);
    gtk_window_set_geometry_hints(window_, nullptr, &hints, GDK_HINT_MIN_SIZE);
}

void WindowFrame::centre(int clientWidth, int clientHeight) {
    if (!window_) return;
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window_));
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return;
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    int outerWidth = clientWidth + extents_.left + extents_.right;
    int outerHeight = clientHeight + extents_.top + extents_.bottom;
    gtk_window_move(window_, area.x + std::max(0, (area.width - outerWidth) / 2),
                    area.y + std::max(0, (area.height - outerHeight) / 2));
}

}  // namespace gtkui
