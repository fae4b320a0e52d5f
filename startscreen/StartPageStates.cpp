// What the start page shows: its blocks, its buttons, the failure state and
// the note that the chat page was left.

#include <utility>

#include "support/Log.h"
#include "startscreen/StartScreen.h"

namespace startscreen {

using platform::PageEvent;
using support::attempt;

StartScreen::StartScreen(Services services, platform::BrowserView& startView, Calls calls)
    : services_(services),
      wbload(startView),
      calls_(std::move(calls)),
      butRetry_{"SPAN", {{PageEvent::Click, calls_.retryClicked, true}}},
      butCancel_{"SPAN", {{PageEvent::Click, calls_.closeClicked, true}}} {}

void StartScreen::display(const std::string& id, const std::string& display) {
    attempt([&] { wbload.Document()->getElementById(id)->style().display(display); });
}

void StartScreen::bindButton(common::EventBoundRef& field, const std::string& id) {
    attempt([&] { field.bind(wbload.Document()->getElementById(id)); });
}

void StartScreen::bringForward() {
    attempt([&] { wbload.ZOrder(0); });
}

void StartScreen::showChatLeft() {
    platform::DocumentRef startPage;
    attempt([&] { startPage = wbload.Document(); });
    for (auto [id, display] : {std::pair{"loading", "none"}, std::pair{"error", "none"},
                               std::pair{"update", "none"}, std::pair{"levelcleared", "block"}})
        attempt([&] { startPage->getElementById(id)->style().display(display); });
}

void StartScreen::showFailure(Failed step) {
    // What failed is logged by the caller; the state says which step it was.
    support::logInfo("start screen: the failure state offers Retry");
    const bool chat = step == Failed::ChatPage;
    display("errorupdate", chat ? "none" : "block");
    display("errorchat", chat ? "block" : "none");
    display("loading", "none");
    display("error", "block");
    bindButton(butRetry_, "butRetry");
    bindButton(butCancel_, "butCancel");
}

void StartScreen::leaveFailure() {
    display("loading", "block");
    display("error", "none");
    releaseButtons();
}

void StartScreen::releaseButtons() {
    butRetry_.clear();
    butCancel_.clear();
}

}  // namespace startscreen
