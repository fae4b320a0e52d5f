// The chat page must become the chat screen within a deadline. A page that
// fails to load, never finishes, stalls through its preparation or loses its
// web process leaves the user the failure state with Retry and Close, never a
// dead screen. Retry asks again and prepares the page that then completes.

#include "app/Main.h"

#include <string>

#include "platform/Log.h"

namespace app {

using platform::attempt;

bool Main::awaitingChatScreen() {
    bool armed = false;
    attempt([&] { armed = ChatPageDeadline.enabled(); });
    return armed;
}

void Main::armChatPageDeadline() {
    chatPage_.chatPageSeconds = 0;
    chatPage_.chatPageFailed = false;
    attempt([&] { ChatPageDeadline.setEnabled(true); });
}

// The preparation went through: the record button and the page guards are bound.
bool Main::chatScreenReady() const {
    return recording_.buttonBound() && chatPage_.oDocument.bound();
}

void Main::ChatPageDeadline_Timer() {
    if (chatPage_.ChatPagePrepared && chatScreenReady()) {
        attempt([&] { ChatPageDeadline.setEnabled(false); });
        return;
    }
    if (!chatPage_.chatPageFailed && ++chatPage_.chatPageSeconds < ChatPageDeadlineSeconds) return;
    showChatPageFailure("it was not ready within " + std::to_string(ChatPageDeadlineSeconds) +
                        " seconds");
}

void Main::WB_ProcessTerminated() {
    // Only the blank page was shown: there is nothing to fail.
    if (!chatPage_.ChatPagePrepared && !awaitingChatScreen()) return;
    recording_.stopWithLostPage();
    showChatPageFailure("its web process ended");
}

void Main::showChatPageFailure(const std::string& why) {
    // Told once: the next ticks may put the state up again while the start page is held up.
    if (!chatPage_.chatPageFailed) {
        platform::logWarning("the chat page did not become the chat screen (" + why +
                             "); the start page offers Retry");
        // Whatever the failed page still runs goes with its process, and
        // Retry loads the chat page in a fresh one.
        attempt([&] { WB.endPageProcess(); });
    }
    chatPage_.chatPageFailed = true;
    attempt([&] { TimerResize.setEnabled(false); });
    // The next completion of the chat page is prepared afresh.
    chatPage_.ChatPagePrepared = false;
    startScreen_.bringForward();
    for (const char* id : {"update", "levelcleared"}) setStartPageDisplay(id, "none");
    startScreen_.showFailure(startscreen::StartScreen::Failed::ChatPage);
    // The start page may not take the state at once (it may be loading again
    // after its own process ended): until Retry is bound, the next tick puts
    // the state up again.
    const bool retryBound = startScreen_.offersRetry();
    attempt([&] { ChatPageDeadline.setEnabled(!retryBound); });
}

}  // namespace app
