// The sizes of the chat page's blocks for a page of W x H pixels.

#include "chatpage/PageLayout.h"

#include <cmath>
#include <limits>

#include "support/Failure.h"

namespace chatpage {

namespace {
std::int32_t checked(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        throw support::Failure("overflow");
    return static_cast<std::int32_t>(value);
}
}  // namespace

PageLayout ComputePageLayout(std::int32_t W, std::int32_t H) {
    PageLayout l;
    l.contentHeight = checked(std::int64_t{H} - 80);
    l.camWidth = checked(std::int64_t{W} - 40);
    const double A = l.contentHeight, B = l.camWidth;
    if (A - B * 0.4 - 50 > 160)
        // B is whole, so B * 0.4 is never exactly a half (that would need B to
        // be an odd multiple of 1.25): the rounding mode cannot change the result.
        l.camHeight = checked(std::llrint(B * 0.4));
    else
        l.camHeight = checked(std::int64_t{l.contentHeight} - 160 - 52);
    l.logHeight = checked(std::int64_t{l.contentHeight} - l.camHeight - 52);
    l.chatareaWidth = checked(std::int64_t{W} - 410);
    return l;
}

std::string Pixels(std::int32_t value) { return std::to_string(value) + "px"; }

}  // namespace chatpage
