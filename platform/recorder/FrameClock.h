#pragma once
// The recording's frame grid on the monotonic clock: slot k starts at
// t0 + k / fps. Frames are captured at slot starts and stamped with the slot
// they were captured in, so a late frame leaves a gap in the timeline instead
// of a burst of frames that catch up.

#include <chrono>
#include <cstdint>

namespace recorder {

class FrameClock {
public:
    using Clock = std::chrono::steady_clock;

    // fps = rateNum / rateDen frames per second (both positive).
    FrameClock(Clock::time_point t0, std::int64_t rateNum, std::int64_t rateDen)
        : t0_(t0), num_(rateNum), den_(rateDen) {}

    // The start of slot k, rounded up to the next nanosecond so that
    // slotAt(slotStart(k)) == k.
    Clock::time_point slotStart(std::int64_t k) const {
        const __int128 scaled = static_cast<__int128>(k) * den_ * kNanosPerSecond;
        const __int128 nanos = (scaled + num_ - 1) / num_;
        return t0_ + std::chrono::nanoseconds(static_cast<std::int64_t>(nanos));
    }

    // The slot that contains t; negative before t0.
    std::int64_t slotAt(Clock::time_point t) const {
        const std::int64_t nanos = std::chrono::nanoseconds(t - t0_).count();
        const __int128 scaled = static_cast<__int128>(nanos) * num_;
        const __int128 divisor = static_cast<__int128>(den_) * kNanosPerSecond;
        __int128 slot = scaled / divisor;
        if (scaled % divisor != 0 && scaled < 0) --slot;  // floor, not truncation
        return static_cast<std::int64_t>(slot);
    }

    Clock::time_point origin() const { return t0_; }

private:
    static constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
    Clock::time_point t0_;
    std::int64_t num_;
    std::int64_t den_;
};

}  // namespace recorder
