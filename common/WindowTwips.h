#pragma once
// The window's measures in twips, the unit the layout and the recording
// rectangle compute in: 1440 to the inch, counted per device pixel, so that on
// a scaled screen the window's measures, the capture rectangle and the
// recorder agree. The ports speak pixels; this is the one place they become
// twips and back.

#include <cstdint>

#include "platform/Window.h"

namespace common {

struct WindowTwips {
    double left = 0;  // the outer rectangle, placed as platform::WindowGeometry says
    double top = 0;
    double width = 0;
    double height = 0;
    double clientWidth = 0;
    double clientHeight = 0;
    double perLogicalPixel = 15;  // 96 dpi
    double perDevicePixel = 15;

    // Device pixels: whole twips first, then pixels, halves to even. Throws
    // support::Failure when the value does not fit.
    std::int32_t devicePixels(double twips) const;
    // The outer height in logical pixels that shows a height in twips,
    // rounded away from the present height so that any change moves at
    // least a pixel.
    int outerHeightFor(double twips) const;
};

// dotsPerInch at 0 or below counts as 96.
WindowTwips windowInTwips(const platform::WindowGeometry& window, double dotsPerInch);

}  // namespace common
