#include "platform/recorder/CaptureGeometry.h"

#include <algorithm>
#include <cstdint>

#include "support/Failure.h"

namespace recorder {

Rect intersect(const Rect& a, const Rect& b) {
    // 64-bit sums: a rectangle near INT_MAX must not overflow.
    const std::int64_t left = std::max<std::int64_t>(a.x, b.x);
    const std::int64_t top = std::max<std::int64_t>(a.y, b.y);
    const std::int64_t right =
        std::min<std::int64_t>(std::int64_t{a.x} + a.width, std::int64_t{b.x} + b.width);
    const std::int64_t bottom =
        std::min<std::int64_t>(std::int64_t{a.y} + a.height, std::int64_t{b.y} + b.height);
    if (right <= left || bottom <= top) return {};
    return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
            static_cast<int>(bottom - top)};
}

CaptureGeometry planCapture(const Rect& requested, int screenWidth, int screenHeight, bool pad) {
    if (requested.width <= 0 || requested.height <= 0)
        throw support::Failure("capture rectangle has no area");
    const Rect frame{requested.x, requested.y, requested.width & ~1, requested.height & ~1};
    if (frame.empty()) throw support::Failure("capture rectangle is too small to encode");

    CaptureGeometry plan;
    plan.frameWidth = frame.width;
    plan.frameHeight = frame.height;
    plan.visible = intersect(frame, Rect{0, 0, screenWidth, screenHeight});
    if (plan.visible.empty()) throw support::Failure("capture rectangle is off the screen");
    if (!pad && plan.visible != frame)
        throw support::Failure("capture rectangle is not wholly on the screen");
    plan.offsetX = plan.visible.x - frame.x;
    plan.offsetY = plan.visible.y - frame.y;
    return plan;
}

}  // namespace recorder
