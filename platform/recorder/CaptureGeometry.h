#pragma once
// Where a recording's frames come from on the screen and where they land in
// the frame. Pure arithmetic, no X calls, so that it is easy to reason about.

#include <cstdint>

namespace recorder {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    bool operator==(const Rect&) const = default;
};

// The intersection of two rectangles; empty (0 x 0) when they do not overlap.
Rect intersect(const Rect& a, const Rect& b);

struct CaptureGeometry {
    int frameWidth = 0;  // encoded size: the requested size cropped to even numbers
    int frameHeight = 0;
    Rect visible;     // the on-screen part that is grabbed, in screen pixels
    int offsetX = 0;  // where the grabbed part lands in the frame
    int offsetY = 0;
    bool padded() const { return visible.width != frameWidth || visible.height != frameHeight; }
};

// Plans the capture of `requested` on a screen of the given size, or on a
// window's pixmap of that size with `requested` in the window's coordinates.
// Width and height are cropped to even numbers (the encoder refuses odd
// ones). With `pad`, the part outside the screen (window) is left black;
// without it a rectangle that is not wholly on it is refused. Throws Failure
// for a size that crops to nothing, or a rectangle with no visible part.
CaptureGeometry planCapture(const Rect& requested, int screenWidth, int screenHeight, bool pad);

}  // namespace recorder
