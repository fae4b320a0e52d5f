#pragma once
// The frame the window manager draws around the main window: its extents,
// the minimum outer size (a client-area hint once the frame is known), and
// centring the window on its monitor's work area.

#include <gtk/gtk.h>

#include "platform/Window.h"

namespace gtkui {

// Pixels of the window frame around the client area.
struct FrameExtents {
    int left = 0, right = 0, top = 0, bottom = 0;
    bool operator==(const FrameExtents&) const = default;
};

class WindowFrame {
public:
    explicit WindowFrame(GtkWindow* window) : window_(window) {}

    // The extents as last measured (all 0 until the frame is known).
    const FrameExtents& extents() const { return extents_; }
    // The extents as the window has them now, while it is mapped.
    FrameExtents measureNow() const;
    // The X server has mapped the window: from now on the frame is known.
    void mapped(int clientWidth, int clientHeight);
    // Measures the frame again after a change of the window.
    void update(int clientWidth, int clientHeight);
    void setMinimumOuterSize(platform::OuterSize minimum);
    // Places the outer rectangle in the middle of the work area.
    void centre(int clientWidth, int clientHeight);
    // Called before the window goes: the window is not touched again.
    void detach() { window_ = nullptr; }

private:
    void applyMinimum();

    GtkWindow* window_;
    FrameExtents extents_;
    platform::OuterSize minimum_;
    bool mapNotified_ = false;
    bool known_ = false;
    bool centredWithFrame_ = false;
};

}  // namespace gtkui
