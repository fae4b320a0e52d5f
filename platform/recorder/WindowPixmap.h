#pragma once
// A top-level window's own pixels, through the Composite extension: the
// window is redirected (automatically, so it still shows on the screen as
// before) and its off-screen pixmap is named, so that it can be read whatever
// lies over it, wherever it is moved, and also where the screen itself holds
// no pixels (the root window of XWayland reads as black).
//
// The server gives the window a new pixmap whenever it is mapped or resized;
// update() follows the window's structure events and names the new one.
//
// Used by one thread at a time, on the connection it was made on.

#include <X11/Xlib.h>

#include "platform/recorder/PrivateDisplay.h"

namespace recorder {

class WindowPixmap {
public:
    // Whether the server offers Composite 0.2 (naming window pixmaps).
    static bool available(Display* display);

    // Redirects `window` and names its pixmap if it is viewable. Throws
    // Failure when the window does not exist.
    WindowPixmap(PrivateDisplay& display, Window window);
    // Frees the pixmap and ends this connection's redirection of the window.
    ~WindowPixmap();
    WindowPixmap(const WindowPixmap&) = delete;
    WindowPixmap& operator=(const WindowPixmap&) = delete;

    enum class State {
        Same,        // the pixmap is the one of the last call
        Renamed,     // a new pixmap, possibly of another size
        Unreadable,  // the window is unmapped, minimised or gone: nothing to read
    };
    // Takes the window's pending structure events without waiting, and names
    // the pixmap again after a map or a resize.
    State update();
    // The pixmap could not be read: name it again at the next update().
    void invalidate() { stale_ = true; }

    Window window() const { return window_; }
    Pixmap pixmap() const { return pixmap_; }
    // The pixmap's size, which includes the window's border on every side.
    int width() const { return width_; }
    int height() const { return height_; }
    // Where the window's inside starts in the pixmap.
    int border() const { return border_; }
    Visual* visual() const { return visual_; }
    int depth() const { return depth_; }

private:
    bool name();
    void release();

    PrivateDisplay& display_;
    Window window_;
    Pixmap pixmap_ = 0;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    int border_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool mapped_ = false;
    bool gone_ = false;
    bool stale_ = true;
};

}  // namespace recorder
