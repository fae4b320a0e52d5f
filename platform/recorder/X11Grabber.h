#pragma once
// Grabs a rectangle of the X screen into a 32-bit frame: the visible part with
// XShmGetImage (XGetImage where shared memory is unavailable), the part off
// the screen black, the pointer drawn from XFixes' cursor image, and optionally
// a ring around the pointer while a mouse button is held.
//
// Not thread-safe: created on the user-interface thread, then used by the
// capture thread alone.

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/recorder/CaptureGeometry.h"
#include "platform/recorder/PrivateDisplay.h"

namespace recorder {

struct GrabOptions {
    bool pad = true;               // pad the part off the screen, or refuse it
    bool drawPointer = true;       // draw the mouse pointer into the frames
    bool highlightClicks = false;  // draw a ring around the pointer while a button is down
};

class X11Grabber {
public:
    // Plans the capture of `requested` on the connection's screen and sets up
    // the shared image. Throws Failure (see planCapture; a screen that is not
    // 32 bits per pixel).
    X11Grabber(std::unique_ptr<PrivateDisplay> display, const Rect& requested,
               const GrabOptions& options);
    ~X11Grabber();
    X11Grabber(const X11Grabber&) = delete;
    X11Grabber& operator=(const X11Grabber&) = delete;

    int width() const { return plan_.frameWidth; }
    int height() const { return plan_.frameHeight; }
    AVPixelFormat pixelFormat() const { return pixelFormat_; }

    // Grabs the current screen contents. The frame stays valid until the next
    // call. When the screen has shrunk under the rectangle, the grab is
    // planned anew for the new screen (padding what left it).
    const std::uint8_t* grab(int& stride);

private:
    void setUp();
    void tearDown();
    bool grabVisible();
    void copyVisibleIntoFrame();
    void drawPointer(std::uint8_t* frame, int stride);

    std::unique_ptr<PrivateDisplay> display_;
    Rect requested_;
    GrabOptions options_;
    CaptureGeometry plan_;
    Window root_ = 0;
    AVPixelFormat pixelFormat_ = AV_PIX_FMT_NONE;
    bool useShm_ = false;
    bool hasXFixes_ = false;
    XImage* image_ = nullptr;  // the visible part (shared memory)
    XShmSegmentInfo shm_{};
    std::vector<std::uint8_t> padded_;  // the whole frame, when it is not the image itself
};

}  // namespace recorder
