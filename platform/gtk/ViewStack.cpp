#include "platform/gtk/ViewStack.h"

#include <algorithm>

namespace gtkui {

namespace {
bool samePlace(const GdkRectangle& a, const GdkRectangle& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

// The overlay draws its children in list order but picks the target of
// pointer input by the stacking of their child windows: those follow too.
GdkWindow* ownWindow(GtkWidget* overlay, GtkWidget* view) {
    GdkWindow* childWindow = gtk_widget_get_parent_window(view);
    return childWindow && childWindow != gtk_widget_get_window(overlay) ? childWindow : nullptr;
}
}  // namespace

ViewStack::ViewStack(GtkContainer* window) {
    overlay_ = gtk_overlay_new();
    fixed_ = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(overlay_), fixed_);
    gtk_container_add(window, overlay_);
    g_signal_connect(overlay_, "get-child-position", G_CALLBACK(onOverlayPosition), this);
}

void ViewStack::detach() {
    if (overlay_) g_signal_handlers_disconnect_by_data(overlay_, this);
    overlay_ = fixed_ = nullptr;
    onFrontChanged_ = nullptr;
}

void ViewStack::reordered(GtkWidget* before) {
    if (front() != before && onFrontChanged_) onFrontChanged_(front());
}

void ViewStack::addOverlayView(GtkWidget* view) {
    GtkWidget* before = front();
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), view);
    order_.push_back(view);
    reordered(before);
}

void ViewStack::addFixedView(GtkWidget* view) {
    gtk_fixed_put(GTK_FIXED(fixed_), view, 0, 0);
    gtk_widget_show(view);
}

void ViewStack::addOverlayViewBehind(GtkWidget* view) {
    GtkWidget* before = front();
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), view);
    order_.insert(order_.begin(), view);
    gtk_overlay_reorder_overlay(GTK_OVERLAY(overlay_), view, 0);
    gtk_widget_show(view);
    if (GdkWindow* own = ownWindow(overlay_, view)) gdk_window_lower(own);
    reordered(before);
}

void ViewStack::place(GtkWidget* view, const GdkRectangle& where) {
    if (!overlay_) return;
    // An unchanged place costs nothing: the handlers place the views on every resize.
    auto placed = overlayPlaces_.find(view);
    if (placed != overlayPlaces_.end() && samePlace(placed->second, where)) return;
    overlayPlaces_[view] = where;
    if (gtk_widget_get_parent(view) == fixed_) {
        gtk_fixed_move(GTK_FIXED(fixed_), view, where.x, where.y);
        gtk_widget_set_size_request(view, where.width, where.height);
    } else {
        gtk_widget_queue_resize(overlay_);
    }
}

void ViewStack::bringToFront(GtkWidget* view) {
    if (!overlay_ || gtk_widget_get_parent(view) != overlay_) return;
    GtkWidget* before = front();
    gtk_overlay_reorder_overlay(GTK_OVERLAY(overlay_), view, -1);
    if (GdkWindow* own = ownWindow(overlay_, view)) gdk_window_raise(own);
    order_.erase(std::remove(order_.begin(), order_.end(), view), order_.end());
    order_.push_back(view);
    reordered(before);
}

gboolean ViewStack::onOverlayPosition(GtkOverlay*, GtkWidget* child, GdkRectangle* where,
                                      gpointer data) {
    auto* self = static_cast<ViewStack*>(data);
    auto found = self->overlayPlaces_.find(child);
    if (found == self->overlayPlaces_.end() || child == nullptr) return FALSE;
    *where = found->second;
    return TRUE;
}

}  // namespace gtkui
