// The pure parts of the recorder: where frames come from, and when.

#include <gtest/gtest.h>

#include <climits>

#include "support/Failure.h"
#include "platform/recorder/CaptureGeometry.h"
#include "platform/recorder/FrameClock.h"

namespace recorder {
namespace {

struct PlanCase {
    const char* name;
    Rect requested;
    bool pad;
    int frameWidth, frameHeight;
    Rect visible;
    int offsetX, offsetY;
};

class PlanCaptureTest : public testing::TestWithParam<PlanCase> {};

TEST_P(PlanCaptureTest, CropsToEvenAndPadsOffscreenPart) {
    const PlanCase& c = GetParam();
    const CaptureGeometry plan = planCapture(c.requested, 1280, 1024, c.pad);
    EXPECT_EQ(plan.frameWidth, c.frameWidth);
    EXPECT_EQ(plan.frameHeight, c.frameHeight);
    EXPECT_EQ(plan.visible, c.visible);
    EXPECT_EQ(plan.offsetX, c.offsetX);
    EXPECT_EQ(plan.offsetY, c.offsetY);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlanCaptureTest,
    testing::Values(
        PlanCase{"Inside", {110, 112, 694, 554}, false, 694, 554, {110, 112, 694, 554}, 0, 0},
        PlanCase{"OddSize", {10, 20, 101, 75}, false, 100, 74, {10, 20, 100, 74}, 0, 0},
        PlanCase{
            "MaximisedLeftEdge", {-8, -8, 1296, 1040}, true, 1296, 1040, {0, 0, 1280, 1024}, 8, 8},
        PlanCase{
            "PastBottomRight", {1200, 1000, 200, 100}, true, 200, 100, {1200, 1000, 80, 24}, 0, 0},
        PlanCase{"WholeScreen", {0, 0, 1280, 1024}, false, 1280, 1024, {0, 0, 1280, 1024}, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    Rect requested;
    bool pad;
};

class RefusedPlanTest : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedPlanTest, Throws) {
    EXPECT_THROW(planCapture(GetParam().requested, 1280, 1024, GetParam().pad), support::Failure);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedPlanTest,
    testing::Values(RefusedCase{"ZeroWidth", {0, 0, 0, 100}, true},
                    RefusedCase{"NegativeHeight", {0, 0, 100, -4}, true},
                    RefusedCase{"CropsToNothing", {0, 0, 1, 100}, true},
                    RefusedCase{"LeftOfScreen", {-500, 0, 100, 100}, true},
                    RefusedCase{"BelowScreen", {0, 1024, 100, 100}, true},
                    RefusedCase{"FarAwayNoOverflow", {INT_MAX - 10, INT_MAX - 10, 100, 100}, true},
                    RefusedCase{"PartlyOffWithoutPadding", {-8, 0, 100, 100}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameClockTest, SlotStartsFallInTheirOwnSlot) {
    const auto t0 = FrameClock::Clock::now();
    struct Rate {
        std::int64_t num, den;
    };
    for (const Rate rate : {Rate{30, 1}, Rate{30000, 1001}, Rate{2997, 100}, Rate{15, 2}}) {
        const FrameClock clock(t0, rate.num, rate.den);
        for (const std::int64_t k : {0LL, 1LL, 2LL, 29LL, 30LL, 31LL, 999'999LL, 3'000'000'000LL}) {
            SCOPED_TRACE(testing::Message() << rate.num << "/" << rate.den << " slot " << k);
            EXPECT_EQ(clock.slotAt(clock.slotStart(k)), k);
            EXPECT_EQ(clock.slotAt(clock.slotStart(k + 1) - std::chrono::nanoseconds(1)), k);
        }
    }
}

TEST(FrameClockTest, TimesBeforeTheStartHaveNegativeSlots) {
    const auto t0 = FrameClock::Clock::now();
    const FrameClock clock(t0, 30, 1);
    EXPECT_EQ(clock.slotAt(t0 - std::chrono::nanoseconds(1)), -1);
    EXPECT_EQ(clock.slotAt(t0 - std::chrono::milliseconds(40)), -2);
}

}  // namespace
}  // namespace recorder
