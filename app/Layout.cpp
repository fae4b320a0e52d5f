// The window follows its size: the views fill its client area, the chat
// page fits it, and the timer nudges the window once.

#include "app/Main.h"

namespace app {

using support::attempt;

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
