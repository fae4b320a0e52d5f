// The chat page must become the chat screen within a deadline. A page that
// fails to load, never finishes, stalls through its preparation or loses its
// web process leaves the user the failure state with Retry and Close, never a
// dead screen. Retry asks again and prepares the page that then completes.

#include "app/Main.h"

namespace app {

using platform::attempt;

bool Main::awaitingChatScreen() {
    bool armed = false;
    attempt([&] { armed = ChatPageDeadline.enabled(); });
    return armed;
}

// The preparation went through: the record button and the page guards are bound.
bool Main::chatScreenReady() const { return butRecord.bound() && oDocument.bound(); }

void Main::ChatPageDeadline_Timer() {
    attempt([&] { ChatPageDeadline.setEnabled(false); });
    if (ChatPagePrepared && chatScreenReady()) return;
    showChatPageFailure();
}

void Main::WB_ProcessTerminated() {
    if (!ChatPagePrepared && !awaitingChatScreen()) return;  // only the blank page was shown
    // The recording so far is finished and kept.
    StopRecordingOnClose();
    IsRecording = false;
    showChatPageFailure();
}

void Main::showChatPageFailure() {
    attempt([&] { ChatPageDeadline.setEnabled(false); });
    attempt([&] { TimerResize.setEnabled(false); });
    // The next completion of the chat page is prepared afresh.
    ChatPagePrepared = false;
    attempt([&] { wbload.ZOrder(0); });
    for (const char* id : {"update", "levelcleared"}) setStartPageDisplay(id, "none");
    ControlURL1_UpdateFail();
}

}  // namespace app
