#include "support/TwipsToPixels.h"

#include <cmath>

#include "support/Failure.h"

namespace support {

std::int32_t RoundHalfEven(double value) {
    if (!std::isfinite(value)) throw support::Failure("not a number");
    // Round to nearest with ties to even, independent of the current rounding mode.
    double rounded = std::round(value);
    if (std::fabs(value - std::trunc(value)) == 0.5) rounded = 2.0 * std::round(value / 2.0);
    if (rounded < -2147483648.0 || rounded > 2147483647.0) throw support::Failure("overflow");
    return static_cast<std::int32_t>(rounded);
}

std::int32_t TwipsToPixels(std::int32_t twips, double twipsPerPixel) {
    if (!(twipsPerPixel > 0)) throw support::Failure("no screen resolution");
    return RoundHalfEven(twips / twipsPerPixel);
}

}  // namespace support
