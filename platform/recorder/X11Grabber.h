#pragma once
// Grabs a rectangle of the X screen into a 32-bit frame of a fixed size.
//
// Two sources:
//   - a window's own pixels (GrabOptions::window, with the Composite
//     extension): the rectangle is translated into the window's coordinates
//     once, at the start, and read from the window's pixmap. The recording
//     thus follows the window when it moves, shows it also where other
//     windows or the screen's edge cover it, and works where the screen holds
//     no pixels (XWayland). While the window is unmapped or minimised the last
//     frame is repeated; after a resize the part of the rectangle that left
//     the window is black.
//   - the screen itself (no window given, or no Composite extension): the
//     part of the rectangle off the screen is black.
// Pixels are read with XShmGetImage (XGetImage where shared memory is
// unavailable). The pointer is drawn from XFixes' cursor image while it is
// inside the rectangle, and optionally a ring around it while a mouse button
// is held.
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

class WindowPixmap;

struct GrabOptions {
    bool pad = true;               // pad the part off the screen (window), or refuse it
    bool drawPointer = true;       // draw the mouse pointer into the frames
    bool highlightClicks = false;  // draw a ring around the pointer while a button is down
    Window window = 0;             // the top-level window to read; 0: the screen
};

// What the last grab put into the frame.
enum class Grabbed {
    Pixels,   // fresh pixels, not all black
    Black,    // fresh pixels, every one of them black (only while scanning for it)
    Nothing,  // no fresh pixels: the last frame again, or nothing of the rectangle to read
};

class X11Grabber {
public:
    // Plans the capture of `requested` (screen pixels) and sets up the shared
    // image. Throws Failure (see planCapture, with the window's size in place
    // of the screen's when a window is read; a window that does not exist; a
    // pixel format other than 32 bits per pixel).
    X11Grabber(std::unique_ptr<PrivateDisplay> display, const Rect& requested,
               const GrabOptions& options);
    ~X11Grabber();
    X11Grabber(const X11Grabber&) = delete;
    X11Grabber& operator=(const X11Grabber&) = delete;

    int width() const { return plan_.frameWidth; }
    int height() const { return plan_.frameHeight; }
    AVPixelFormat pixelFormat() const { return pixelFormat_; }
    // Whether the window's own pixels are read (rather than the screen's).
    bool readsWindow() const { return window_ != nullptr; }

    // Grabs the current contents. The frame stays valid until the next call.
    const std::uint8_t* grab(int& stride);
    // What the last grab() got. Black is reported only while scanning.
    Grabbed lastGrab() const { return last_; }
    // Whether grab() checks fresh pixels for being all black (the pointer
    // aside). Costs one pass over a black frame; a frame with content stops
    // at its first non-black pixel.
    void scanForBlack(bool scan) { scanForBlack_ = scan; }

private:
    void plan(int sourceWidth, int sourceHeight);
    void attachShm();
    void detachShm();
    void setUpImage();
    void dropImage();
    bool grabVisible();
    const std::uint8_t* repeatLast(int& stride);
    bool visibleIsBlack() const;
    void copyVisibleIntoFrame();
    void drawPointer(std::uint8_t* frame, int stride);

    std::unique_ptr<PrivateDisplay> display_;
    GrabOptions options_;
    Rect area_;             // the rectangle in the source's coordinates (screen or window pixmap)
    CaptureGeometry plan_;  // visible: in the source's coordinates
    Window root_ = 0;
    std::unique_ptr<WindowPixmap> window_;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    AVPixelFormat pixelFormat_ = AV_PIX_FMT_NONE;
    int redShift_ = 0, greenShift_ = 0, blueShift_ = 0;
    std::uint32_t colourMask_ = 0;  // the colour bits of a pixel (not alpha, not padding)
    bool swap_ = false;             // the image's byte order is not this machine's
    bool useShm_ = false;
    bool hasXFixes_ = false;
    bool scanForBlack_ = false;
    Grabbed last_ = Grabbed::Nothing;
    XShmSegmentInfo shm_{};             // room for a whole frame; the image is a view of its start
    XImage* image_ = nullptr;           // the visible part
    std::vector<std::uint8_t> padded_;  // the whole frame, when it is not the image itself
    const std::uint8_t* lastFrame_ = nullptr;
    int lastStride_ = 0;
};

}  // namespace recorder
