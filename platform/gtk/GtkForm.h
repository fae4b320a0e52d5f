#pragma once
// The main window on GTK 3 (X11): caption, measures in twips, showing it,
// and its parts: the frame (extents, minimum size, centring), the Resize
// feed, the closing, and the stack of views.

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <utility>

#include "platform/Window.h"
#include "platform/gtk/EventQueue.h"
#include "platform/gtk/GtkBrowserView.h"
#include "platform/gtk/ResizeFeed.h"
#include "platform/gtk/ViewStack.h"
#include "platform/gtk/WindowClosing.h"
#include "platform/gtk/WindowFrame.h"

namespace gtkui {

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
    platform::WindowGeometry geometry() override;
    void setOuterHeight(int pixels) override;
    platform::WindowHandle hWnd() override { return handle_; }
    void unload() override;

    // ViewPlacement
    void place(GtkWidget* view, const GdkRectangle& where) override;
    void bringToFront(GtkWidget* view) override;

    // Full-size views go over the small one; the last added is in front.
    void addOverlayView(GtkWidget* view) { views_.addOverlayView(view); }
    void addFixedView(GtkWidget* view) { views_.addFixedView(view); }
    // A full-size view behind every other one, shown at once.
    void addOverlayViewBehind(GtkWidget* view) { views_.addOverlayViewBehind(view); }
    GtkWidget* frontView() const { return views_.front(); }
    void setOnFrontViewChanged(std::function<void(GtkWidget* front)> changed) {
        views_.setOnFrontChanged(std::move(changed));
    }

    // Raises Load, then shows the window centred on its monitor's work area.
    void show();
    // Called once the window has gone (after an Unload that was not cancelled).
    void setOnGone(std::function<void()> gone) { onGone_ = std::move(gone); }
    // Called with true when the window is asked to close (before the request
    // waits for a running handler), with false when Unload runs.
    void setOnCloseRequest(std::function<void(bool)> request) {
        closing_.setOnRequest(std::move(request));
    }
    bool gone() const { return window_ == nullptr; }

    // The outer size the window keeps at least, against the program's own
    // resizes and, under a window manager, the user's.
    void setMinimumOuterSize(platform::OuterSize minimum) { frame_.setMinimumOuterSize(minimum); }

    // The chat view's page reports the size of its viewport, in page pixels.
    void pageViewport(int width, int height) { resizes_.pageViewport(width, height); }

    GtkWindow* window() const { return GTK_WINDOW(window_); }
    // Logical pixels per inch (96 unless the desktop sets another).
    double dotsPerInch() const;
    int scale() const;
    FrameExtents frameExtents() const { return frame_.measureNow(); }

private:
    static gboolean onConfigure(GtkWidget*, GdkEventConfigure*, gpointer self);
    static gboolean onMap(GtkWidget*, GdkEvent*, gpointer self);

    void destroy();

    std::shared_ptr<EventQueue> queue_;
    platform::FormEvents events_;
    std::function<void()> onGone_;
    GtkWidget* window_ = nullptr;
    platform::WindowHandle handle_ = 0;
    int clientWidth_ = InitialClientWidth;
    int clientHeight_ = InitialClientHeight;
    ViewStack views_;
    WindowFrame frame_;
    ResizeFeed resizes_;
    WindowClosing closing_;
};

}  // namespace gtkui
