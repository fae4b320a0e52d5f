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

void Main::ControlURL1_UpdateFail() { showFailure(FailedStep::UpdateCheck); }

void Main::showFailure(FailedStep step) {
    // What failed is logged by the caller; the state says which step it was.
    platform::logInfo("start screen: the failure state offers Retry");
    const bool chat = step == FailedStep::ChatPage;
    setStartPageDisplay("errorupdate", chat ? "none" : "block");
    setStartPageDisplay("errorchat", chat ? "block" : "none");
    setStartPageDisplay("loading", "none");
    setStartPageDisplay("error", "block");
    bindStartPageButton(updateOutcome_.butRetry, "butRetry");
    bindStartPageButton(updateOutcome_.butCancel, "butCancel");
}

void Main::butRetry_onclick() {
    setStartPageDisplay("loading", "block");
    setStartPageDisplay("error", "none");
    updateOutcome_.butRetry.clear();
    updateOutcome_.butCancel.clear();
    attempt([&] { ControlURL1.CheckUpdate(settings_.updateBaseAddress + "1"); });
}

void Main::butCancel_onclick() {
    attempt([&] { host_.form().unload(); });
}

void Main::butCancelUpdate_onclick() {
    bringChatViewForward();
}

}  // namespace app
