#include "common/WindowTwips.h"

#include <algorithm>
#include <cmath>

#include "support/TwipsToPixels.h"

namespace common {

WindowTwips windowInTwips(const platform::WindowGeometry& window, double dotsPerInch) {
    if (!(dotsPerInch > 0)) dotsPerInch = 96.0;
    WindowTwips t;
    t.perLogicalPixel = 1440.0 / dotsPerInch;
    t.perDevicePixel = t.perLogicalPixel / std::max(1, window.scale);
    t.left = window.left * t.perLogicalPixel;
    t.top = window.top * t.perLogicalPixel;
    t.width = window.width * t.perLogicalPixel;
    t.height = window.height * t.perLogicalPixel;
    t.clientWidth = window.clientWidth * t.perLogicalPixel;
    t.clientHeight = window.clientHeight * t.perLogicalPixel;
    return t;
}

std::int32_t WindowTwips::devicePixels(double twips) const {
    return support::TwipsToPixels(support::RoundHalfEven(twips), perDevicePixel);
}

int WindowTwips::outerHeightFor(double twips) const {
    const double pixels = twips / perLogicalPixel;
    if (twips > height) return static_cast<int>(std::ceil(pixels));
    if (twips < height) return static_cast<int>(std::floor(pixels));
    return static_cast<int>(std::lround(pixels));
}

}  // namespace common
