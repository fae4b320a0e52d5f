#include <cmath>
#include <limits>

#include "app/Main.h"
#include "app/PageLayout.h"

namespace app {

using platform::attempt;

namespace {
std::int32_t checked(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        throw platform::Failure("overflow");
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

void Main::Form_Resize() {
    platform::Form& form = host_.form();
    attempt([&] { WB.Move(0, 0, form.ScaleWidth(), form.ScaleHeight()); });
    attempt([&] { wbload.Move(0, 0, form.ScaleWidth(), form.ScaleHeight()); });
    chatPage_.fitToWindow();
}

void Main::TimerResize_Timer() {
    platform::Form& form = host_.form();
    // The window grows 25 twips; the toolkit then raises Form_Resize. The
    // window's measures are single precision, so the sum is made as one.
    attempt([&] { form.setHeight(static_cast<float>(form.Height()) + 25.0f); });
    attempt([&] { TimerResize.setEnabled(false); });
}

}  // namespace app
