#pragma once
// The main window on GTK 3 (X11): caption, size and position, the form's
// events through the event queue, the minimum size, and the stacking of the
// views (a GtkOverlay over a GtkFixed).

#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "platform/Window.h"
#include "platform/gtk/EventQueue.h"
#include "platform/gtk/GtkBrowserView.h"

namespace gtkui {

// Pixels of the window frame around the client area.
struct FrameExtents {
    int left = 0, right = 0, top = 0, bottom = 0;
    bool operator==(const FrameExtents&) const = default;
};

class GtkForm : public platform::Form, public ViewPlacement {
public:
    static constexpr int InitialClientWidth = 698;
    static constexpr int InitialClientHeight = 558;

    explicit GtkForm(std::shared_ptr<EventQueue> queue);
    ~GtkForm() override;
    GtkForm(const GtkForm&) = delete;
    GtkForm& operator=(const GtkForm&) = delete;

    // platform::Form
    void setEvents(platform::FormEvents events) override { events_ = std::move(events); }
    double ScaleWidth() override;
    double ScaleHeight() override;
    double Left() override;
    double Top() override;
    double Width() override;
    double Height() override;
    void setHeight(double twips) override;
    platform::WindowHandle hWnd() override { return handle_; }
    void unload() override;

    // ViewPlacement
    void place(GtkWidget* view, double left, double top, double width, double height) override;
    void bringToFront(GtkWidget* view) override;

    // Full-size views go over the small one; the last added is in front.
    void addOverlayView(GtkWidget* view);
    void addFixedView(GtkWidget* view);
    // A full-size view behind every other one, shown at once.
    void addOverlayViewBehind(GtkWidget* view);

    // Raises Load, then shows the window centred on its monitor's work area.
    void show();
    // Called once the window has gone (after an Unload that was not cancelled).
    void setOnGone(std::function<void()> gone) { onGone_ = std::move(gone); }
    // Called with true when the window is asked to close (before the request
    // waits for a running handler), with false when Unload kept it open.
    void setOnCloseRequest(std::function<void(bool)> request) {
        onCloseRequest_ = std::move(request);
    }
    bool gone() const { return window_ == nullptr; }

    // The outer size the window keeps at least, against the program's own
    // resizes and, under a window manager, the user's.
    void setMinimumOuterSize(platform::OuterSize minimum);

    // The chat view's page reports the size of its viewport, in page pixels.
    void pageViewport(int width, int height);

    GtkWindow* window() const { return GTK_WINDOW(window_); }
    double twipsPerPixel() const;
    int scale() const;
    FrameExtents frameExtents() const;

private:
    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onConfigure(GtkWidget*, GdkEventConfigure*, gpointer self);
    static gboolean onMap(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onOverlayPosition(GtkOverlay*, GtkWidget* child, GdkRectangle* where,
                                      gpointer self);

    void requestClose();
    void destroy();
    void applyMinimum();
    void learnExtents();
    void clientChanged(int width, int height);
    void postResize();
    void centre();
    double toTwips(int logicalPixels) const { return logicalPixels * scale() * twipsPerPixel(); }
    int toPixels(double twips) const;

    std::shared_ptr<EventQueue> queue_;
    platform::FormEvents events_;
    std::function<void()> onGone_;
    std::function<void(bool)> onCloseRequest_;
    GtkWidget* window_ = nullptr;
    GtkWidget* overlay_ = nullptr;
    GtkWidget* fixed_ = nullptr;
    platform::WindowHandle handle_ = 0;
    platform::OuterSize minimum_;
    std::map<GtkWidget*, GdkRectangle> overlayPlaces_;
    FrameExtents extents_;
    int clientWidth_ = InitialClientWidth;
    int clientHeight_ = InitialClientHeight;
    int reportedWidth_ = -1, reportedHeight_ = -1;
    std::pair<int, int> pageViewport_{-1, -1};
    std::pair<int, int> viewportAtResize_{-1, -1};
    bool resizeQueued_ = false;
    bool mapNotified_ = false;
    bool extentsKnown_ = false;
    bool shown_ = false;
    bool centredWithFrame_ = false;
    bool closing_ = false;
};

}  // namespace gtkui
