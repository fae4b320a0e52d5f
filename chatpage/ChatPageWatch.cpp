// The chat page must become the chat screen within a deadline. A page that
// fails to load, never finishes, stalls through its preparation or loses its
// web process leaves the user the failure state with Retry and Close, never a
// dead screen. Retry asks again and prepares the page that then completes.

#include <string>

#include "chatpage/ChatPage.h"
#include "support/Log.h"

namespace chatpage {

using support::attempt;

bool ChatPage::awaitingChatScreen() {
    bool armed = false;
    attempt([&] { armed = ChatPageDeadline.enabled(); });
    return armed;
}

void ChatPage::awaitChatScreen() {
    chatPageSeconds_ = 0;
    chatPageFailed_ = false;
    attempt([&] { ChatPageDeadline.setEnabled(true); });
}

// The preparation went through: the record button and the page guards are bound.
bool ChatPage::chatScreenReady() const { return calls_.recordButtonBound() && oDocument_.bound(); }

void ChatPage::deadlineTick() {
    if (ChatPagePrepared && chatScreenReady()) {
        attempt([&] { ChatPageDeadline.setEnabled(false); });
        return;
    }
    if (!chatPageFailed_ && ++chatPageSeconds_ < DeadlineSeconds) return;
    showFailure("it was not ready within " + std::to_string(DeadlineSeconds) + " seconds");
}

void ChatPage::processTerminated() {
    // Only the blank page was shown: there is nothing to fail.
    if (!ChatPagePrepared && !awaitingChatScreen()) return;
    calls_.stopRecordingWithLostPage();
    showFailure("its web process ended");
}

void ChatPage::documentReplaced() {
    if (!ChatPagePrepared) return;
    // The client's mark-up, sheet and script went with the old document, and
    // the failure state ends the page's process: a running recording is
    // finished and kept first.
    calls_.stopRecordingWithLostPage();
    showFailure("the page replaced its whole document");
}

bool ChatPage::startPageReloaded() {
    if (chatPageFailed_) showFailure("the start page was loaded again");
    return chatPageFailed_ || ChatPagePrepared || awaitingChatScreen();
}

void ChatPage::showFailure(const std::string& why) {
    // Told once: the next ticks may put the state up again while the start page is held up.
    if (!chatPageFailed_) {
        support::logWarning("the chat page did not become the chat screen (" + why +
                            "); the start page offers Retry");
        // Whatever the failed page still runs goes with its process, and
        // Retry loads the chat page in a fresh one.
        attempt([&] { WB.endPageProcess(); });
    }
    chatPageFailed_ = true;
    attempt([&] { TimerResize.setEnabled(false); });
    // The next completion of the chat page is prepared afresh.
    ChatPagePrepared = false;
    calls_.bringStartPageForward();
    for (const char* id : {"update", "levelcleared"}) calls_.showOnStartPage(id, "none");
    // The start page may not take the state at once (it may be loading again
    // after its own process ended): until Retry is bound, the next tick puts
    // the state up again.
    const bool retryBound = calls_.showFailure();
    attempt([&] { ChatPageDeadline.setEnabled(!retryBound); });
}

}  // namespace chatpage
