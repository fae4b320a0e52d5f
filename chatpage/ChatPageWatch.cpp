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
    chatPageSeconds_ = 0;
    chatPageFailed_ = false;
    attempt([&] { ChatPageDeadline.setEnabled(true); });
}

// The preparation went through: the record button and the page guards are bound.
bool Main::chatScreenReady() const { return butRecord.bound() && oDocument.bound(); }

void Main::ChatPageDeadline_Timer() {
    if (ChatPagePrepared && chatScreenReady()) {
        attempt([&] { ChatPageDeadline.setEnabled(false); });
        return;
    }
    if (!chatPageFailed_ && ++chatPageSeconds_ < ChatPageDeadlineSeconds) return;
    showChatPageFailure("it was not ready within " + std::to_string(ChatPageDeadlineSeconds) +
                        " seconds");
}

void Main::WB_ProcessTerminated() {
    if (!ChatPagePrepared && !awaitingChatScreen()) return;  // only the blank page was shown
    // The recording so far is finished and kept; a stop that fails is told.
    if (IsRecording) {
        IsRecording = false;
        std::string failure;
        if (!attempt([&] { Recorder->StopRecord(); }, failure))
            tellRecordingFailure(recordingFailedText(failure));
        Recorder.reset();
    }
    showChatPageFailure("its web process ended");
}

void Main::showChatPageFailure(const std::string& why) {
    // Told once: the next ticks may put the state up again while the start page is held up.
    if (!chatPageFailed_)
        platform::logWarning("the chat page did not become the chat screen (" + why +
                             "); the start page offers Retry");
    chatPageFailed_ = true;
    attempt([&] { TimerResize.setEnabled(false); });
    // The next completion of the chat page is prepared afresh.
    ChatPagePrepared = false;
    attempt([&] { wbload.ZOrder(0); });
    for (const char* id : {"update", "levelcleared"}) setStartPageDisplay(id, "none");
    ControlURL1_UpdateFail();
    // A stalled page may hold up the start page too (they can share a web
    // process): until Retry is bound, the next tick puts the state up again.
    const bool retryBound = butRetry.bound();
    attempt([&] { ChatPageDeadline.setEnabled(!retryBound); });
}

}  // namespace app
