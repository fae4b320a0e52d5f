#pragma once
// Conversions between the window's twips and screen pixels.

#include <cstdint>

namespace support {

// Nearest 32-bit integer, halves to the even neighbour. Throws
// support::Failure outside the 32-bit range.
std::int32_t RoundHalfEven(double value);

// length / twipsPerPixel, rounded half to even.
std::int32_t TwipsToPixels(std::int32_t twips, double twipsPerPixel);

}  // namespace support
