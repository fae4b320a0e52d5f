#pragma once
// The views inside the main window, stacked: a GtkOverlay over a GtkFixed.
// The full-size views are the overlay's children, the last added in front;
// the small view lies in the GtkFixed, behind them all. Places are in pixels.

#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <vector>

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
    // The full-size view in front of all others (nullptr while there is none).
    GtkWidget* front() const { return order_.empty() ? nullptr : order_.back(); }
    // Called with the new front view whenever another one comes to the front.
    void setOnFrontChanged(std::function<void(GtkWidget* front)> changed) {
        onFrontChanged_ = std::move(changed);
    }
    // Called before the window goes: the stack is not touched again.
    void detach();

private:
    static gboolean onOverlayPosition(GtkOverlay*, GtkWidget* child, GdkRectangle* where,
                                      gpointer self);

    GtkWidget* overlay_ = nullptr;
    GtkWidget* fixed_ = nullptr;
    void reordered(GtkWidget* before);

    std::map<GtkWidget*, GdkRectangle> overlayPlaces_;
    std::vector<GtkWidget*> order_;  // the overlays, from the back to the front
    std::function<void(GtkWidget*)> onFrontChanged_;
};

}  // namespace gtkui
