#pragma once
// The views inside the main window, stacked: a GtkOverlay over a GtkFixed.
// The full-size views are the overlay's children, the last added in front;
// the small view lies in the GtkFixed, behind them all. Places are in pixels.

#include <gtk/gtk.h>

#include <map>

namespace gtkui {

class ViewStack {
public:
    // Fills the window with the stack.
    explicit ViewStack(GtkContainer* window);
    ~ViewStack() { detach(); }
    ViewStack(const ViewStack&) = delete;
    ViewStack& operator=(const ViewStack&) = delete;

    void addOverlayView(GtkWidget* view);
    void addFixedView(GtkWidget* view);
    // A full-size view behind every other one, shown at once.
    void addOverlayViewBehind(GtkWidget* view);
    void place(GtkWidget* view, const GdkRectangle& where);
    // Does nothing for a view that is not an overlay.
    void bringToFront(GtkWidget* view);
    // Called before the window goes: the stack is not touched again.
    void detach();

private:
    static gboolean onOverlayPosition(GtkOverlay*, GtkWidget* child, GdkRectangle* where,
                                      gpointer self);

    GtkWidget* overlay_ = nullptr;
    GtkWidget* fixed_ = nullptr;
    std::map<GtkWidget*, GdkRectangle> overlayPlaces_;
};

}  // namespace gtkui
