// What the update server's reply does to the start screen and the chat view,
// and the start page's buttons.

#include "app/Main.h"
#include "platform/Log.h"

namespace app {

using platform::attempt;

void Main::ControlURL1_UpdateCheck(std::string& Text) {
    // Whole texts, exactly: no trimming, no case folding.
    if (Text == "update=false") {
        platform::logInfo("update check: no update; opening the chat site");
        attempt([&] { WB.Navigate2(settings_.chatStartAddress); });
        updateOutcome_.UpdateOffered = false;
        armChatPageDeadline();
    } else if (Text == "update=true") {
        platform::logInfo("update check: an update is offered; opening the chat site");
        attempt([&] { WB.Navigate2(settings_.chatStartAddress); });
        updateOutcome_.UpdateOffered = true;
        armChatPageDeadline();
    } else if (Text == "update=critical") {
        platform::logInfo("update check: this version must be updated");
        setStartPageDisplay("loading", "none");
        setStartPageDisplay("mustupdate", "block");
    } else {
        platform::logInfo("update check: the reply is none of the known answers");
        ControlURL1_UpdateFail();
    }
}

void Main::ControlURL1_UpdateFail() {
    startScreen_.showFailure(startscreen::StartScreen::Failed::UpdateCheck);
}

void Main::butRetry_onclick() {
    startScreen_.leaveFailure();
    attempt([&] { ControlURL1.CheckUpdate(settings_.updateBaseAddress + "1"); });
}

void Main::butCancel_onclick() {
    attempt([&] { host_.form().unload(); });
}

void Main::butCancelUpdate_onclick() {
    bringChatViewForward();
}

}  // namespace app
