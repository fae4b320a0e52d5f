// Navigation events of the chat view and of the statistics view; asking for
// the chat site and bringing the chat view forward.

#include <string>

#include "chatpage/ChatPage.h"
#include "support/Log.h"

namespace chatpage {

using support::attempt;

void ChatPage::open() {
    attempt([&] { WB.Navigate2(addresses_.chatStart); });
}

void ChatPage::bringForward() {
    attempt([&] { WB.ZOrder(0); });
    attempt([&] { TimerResize.setEnabled(true); });
}

void ChatPage::beforeNavigate(const std::string& URL) {
    support::logInfo("chat view: navigating to " + URL);
    attempt([&] { WB.setSilent(true); });
    if (!ChatPagePrepared) return;

    // The chat page is being left: the start page, now behind, says so.
    calls_.showChatLeft();
}

void ChatPage::documentComplete(platform::BrowserObject pDisp, const std::string& URL) {
    support::logInfo("chat view: loaded " + URL);
    if (URL == "about:blank") return;
    bool topLevel = true;
    attempt([&] { topLevel = pDisp == WB.topLevelBrowser(); });
    if (!topLevel) return;
    if (ChatPagePrepared) return;

    // Set first: the preparation runs once, even if it fails part-way or
    // another completion arrives while it runs.
    ChatPagePrepared = true;
    attempt([&] {
        platform::DocumentRef document = WB.Document();
        if (!document) throw support::Failure("not an HTML document");
        prepare(document);
    });
    if (chatScreenReady()) {
        chatPageFailed_ = false;
        attempt([&] { ChatPageDeadline.setEnabled(false); });
    } else if (awaitingChatScreen()) {
        // A preparation that a stalled page cut short leaves no working chat screen.
        showFailure("its preparation did not bind the record button");
    }
}

void ChatPage::navigateError(platform::BrowserObject pDisp, const std::string& URL, int StatusCode,
                             bool& Cancel) {
    support::logInfo("chat view: could not load " + URL + " (status " + std::to_string(StatusCode) +
                     ")");
    Cancel = true;
    bool topLevel = true;
    attempt([&] { topLevel = pDisp == WB.topLevelBrowser(); });
    // The chat page itself could not be loaded: no chat screen will come.
    if (topLevel && awaitingChatScreen())
        showFailure("it could not be loaded, status " + std::to_string(StatusCode));
}

void ChatPage::statisticsBeforeNavigate() {
    attempt([&] { wbstat.setSilent(true); });
}

}  // namespace chatpage
