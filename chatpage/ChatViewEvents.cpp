// Navigation events of the chat view and of the statistics view.

#include "app/Main.h"
#include "platform/Log.h"

namespace app {

using platform::attempt;

void Main::WB_BeforeNavigate2(platform::BrowserObject, const std::string& URL, bool&) {
    platform::logInfo("chat view: navigating to " + URL);
    attempt([&] { WB.setSilent(true); });
    if (!chatPage_.ChatPagePrepared) return;

    startScreen_.showChatLeft();
}

void Main::WB_DocumentComplete(platform::BrowserObject pDisp, const std::string& URL) {
    platform::logInfo("chat view: loaded " + URL);
    if (URL == "about:blank") return;
    bool topLevel = true;
    attempt([&] { topLevel = pDisp == WB.topLevelBrowser(); });
    if (!topLevel) return;
    if (chatPage_.ChatPagePrepared) return;

    // Set first: the preparation runs once, even if it fails part-way or
    // another completion arrives while it runs.
    chatPage_.ChatPagePrepared = true;
    attempt([&] {
        platform::DocumentRef document = WB.Document();
        if (!document) throw platform::Failure("not an HTML document");
        PrepareChatPage(document);
    });
    if (chatScreenReady()) {
        chatPage_.chatPageFailed = false;
        attempt([&] { ChatPageDeadline.setEnabled(false); });
    } else if (awaitingChatScreen()) {
        // A preparation that a stalled page cut short leaves no working chat screen.
        showChatPageFailure("its preparation did not bind the record button");
    }
}

void Main::WB_NavigateError(platform::BrowserObject pDisp, const std::string& URL, int StatusCode,
                            bool& Cancel) {
    platform::logInfo("chat view: could not load " + URL + " (status " +
                      std::to_string(StatusCode) + ")");
    Cancel = true;
    bool topLevel = true;
    attempt([&] { topLevel = pDisp == WB.topLevelBrowser(); });
    // The chat page itself could not be loaded: no chat screen will come.
    if (topLevel && awaitingChatScreen())
        showChatPageFailure("it could not be loaded, status " + std::to_string(StatusCode));
}

void Main::wbstat_BeforeNavigate2(platform::BrowserObject, const std::string&, bool&) {
    attempt([&] { wbstat.setSilent(true); });
}

}  // namespace app
