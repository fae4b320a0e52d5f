#include "update/UpdateOutcome.h"

#include <utility>

#include "support/Log.h"

namespace update {

using platform::PageEvent;
using support::attempt;

UpdateOutcome::UpdateOutcome(ControlURL& control, std::string updateBaseAddress, Calls calls)
    : ControlURL1(control),
      updateBaseAddress_(std::move(updateBaseAddress)),
      calls_(std::move(calls)),
      butCancelUpdate_{"SPAN", {{PageEvent::Click, calls_.cancelUpdateClicked, true}}} {}

void UpdateOutcome::check() {
    attempt([&] { ControlURL1.CheckUpdate(updateBaseAddress_ + "1"); });
}

void UpdateOutcome::replied(std::string& Text) {
    // Whole texts, exactly: no trimming, no case folding.
    if (Text == "update=false") {
        support::logInfo("update check: no update; opening the chat site");
        calls_.openChatSite();
        UpdateOffered = false;
        calls_.awaitChatScreen();
    } else if (Text == "update=true") {
        support::logInfo("update check: an update is offered; opening the chat site");
        calls_.openChatSite();
        UpdateOffered = true;
        calls_.awaitChatScreen();
    } else if (Text == "update=critical") {
        support::logInfo("update check: this version must be updated");
        calls_.showOnStartPage("loading", "none");
        calls_.showOnStartPage("mustupdate", "block");
    } else {
        support::logInfo("update check: the reply is none of the known answers");
        failed();
    }
}

void UpdateOutcome::failed() { calls_.showFailure(); }

void UpdateOutcome::presentChatScreen() {
    if (UpdateOffered) {
        // The prepared page waits behind the update notice.
        calls_.showOnStartPage("loading", "none");
        calls_.showOnStartPage("update", "block");
        calls_.bindStartPageButton(butCancelUpdate_, "butCancelUpdate");
    } else {
        calls_.bringChatViewForward();
    }
}

}  // namespace update
