// What the update server's reply does to the start screen and the chat view,
// and the start page's buttons.

#include "app/Main.h"

namespace app {

using platform::attempt;

void Main::ControlURL1_UpdateCheck(std::string& Text) {
    // Whole texts, exactly: no trimming, no case folding.
    if (Text == "update=false") {
        attempt([&] { WB.Navigate2(settings_.chatStartAddress); });
        UpdateOffered = false;
        armChatPageDeadline();
    } else if (Text == "update=true") {
        attempt([&] { WB.Navigate2(settings_.chatStartAddress); });
        UpdateOffered = true;
        armChatPageDeadline();
    } else if (Text == "update=critical") {
        setStartPageDisplay("loading", "none");
        setStartPageDisplay("mustupdate", "block");
    } else {
        ControlURL1_UpdateFail();
    }
}

void Main::ControlURL1_UpdateFail() {
    setStartPageDisplay("loading", "none");
    setStartPageDisplay("error", "block");
    bindStartPageButton(butRetry, "butRetry");
    bindStartPageButton(butCancel, "butCancel");
}

bool Main::butRetry_onclick() {
    setStartPageDisplay("loading", "block");
    setStartPageDisplay("error", "none");
    butRetry.clear();
    butCancel.clear();
    attempt([&] { ControlURL1.CheckUpdate(settings_.updateBaseAddress + "1"); });
    return false;
}

bool Main::butCancel_onclick() {
    attempt([&] { host_.form().unload(); });
    return false;
}

bool Main::butCancelUpdate_onclick() {
    bringChatViewForward();
    return false;
}

}  // namespace app
