// The window follows its size: the views fill its client area, the chat
// page fits it, and the timer nudges the window once.

#include "app/Main.h"
#include "common/WindowTwips.h"

namespace app {

using support::attempt;

void Main::Form_Resize() {
    platform::WindowGeometry window;
    if (!attempt([&] { window = host_.form().geometry(); })) return chatPage_.fitToWindow();
    attempt([&] { WB.Move(0, 0, window.clientWidth, window.clientHeight); });
    attempt([&] { wbload.Move(0, 0, window.clientWidth, window.clientHeight); });
    chatPage_.fitToWindow();
}

void Main::TimerResize_Timer() {
    // The window grows 25 twips; the toolkit then raises Form_Resize. The
    // window's measures are single precision, so the sum is made as one.
    attempt([&] {
        platform::Form& form = host_.form();
        const common::WindowTwips now =
            common::windowInTwips(form.geometry(), host_.screen().dotsPerInch());
        form.setOuterHeight(now.outerHeightFor(static_cast<float>(now.height) + 25.0f));
    });
    attempt([&] { TimerResize.setEnabled(false); });
}

}  // namespace app
