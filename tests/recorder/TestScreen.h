#pragma once
// Plain Xlib windows with known contents, placed exactly where a test wants
// them (override-redirect, so no window manager moves them).

#include <X11/Xlib.h>

#include <string>

#include "VideoFile.h"

namespace recorder_test {

class TestScreen {
public:
    TestScreen();  // opens $DISPLAY, waiting for it up to 10 s; throws std::runtime_error
    ~TestScreen();
    TestScreen(const TestScreen&) = delete;
    TestScreen& operator=(const TestScreen&) = delete;

    int width() const;
    int height() const;

    // Shows a window filled with `colour`; returns it.
    Window show(int x, int y, int width, int height, Rgb colour);
    // Fills the window with a colour and waits until the server has drawn it.
    void fill(Window window, Rgb colour);
    // Moves the pointer to a screen position (with XTest) and waits until it is there.
    void movePointer(int x, int y);
    // Maps an unmapped window again and waits until it can be drawn into.
    void map(Window window);
    // Whether the server is Xwayland, whose root window holds no pixels.
    bool isXwayland() const;
    Display* display() const { return display_; }

private:
    Display* display_;
    GC gc_;
};

}  // namespace recorder_test
