// The window's handlers of the start view, the update-check control, the chat
// and statistics views and the deadline timer: each passes the event to the
// subsystem it belongs to.

#include "app/Main.h"

namespace app {

using support::attempt;

// Start screen.

void Main::wbload_BeforeNavigate2(platform::BrowserObject, const std::string&, bool&) {
    startScreen_.beforeNavigate();
}

void Main::wbload_DocumentComplete(platform::BrowserObject pDisp, const std::string& URL) {
    startScreen_.documentComplete(pDisp, URL);
}

void Main::wbload_NavigateError(platform::BrowserObject, const std::string&, int, bool& Cancel) {
    startScreen_.navigateError(Cancel);
}

void Main::wbload_ProcessTerminated() { startScreen_.processTerminated(); }

// Update outcome.

void Main::ControlURL1_UpdateCheck(std::string& Text) { updateOutcome_.replied(Text); }

void Main::ControlURL1_UpdateFail() { updateOutcome_.failed(); }

void Main::butRetry_onclick() {
    startScreen_.leaveFailure();
    updateOutcome_.check();
}

void Main::butCancel_onclick() {
    attempt([&] { host_.form().unload(); });
}

void Main::butCancelUpdate_onclick() { chatPage_.bringForward(); }

// Chat page.

void Main::WB_BeforeNavigate2(platform::BrowserObject, const std::string& URL, bool&) {
    chatPage_.beforeNavigate(URL);
}

void Main::WB_DocumentComplete(platform::BrowserObject pDisp, const std::string& URL) {
    chatPage_.documentComplete(pDisp, URL);
}

void Main::WB_NavigateError(platform::BrowserObject pDisp, const std::string& URL, int StatusCode,
                            bool& Cancel) {
    chatPage_.navigateError(pDisp, URL, StatusCode, Cancel);
}

void Main::WB_ProcessTerminated() { chatPage_.processTerminated(); }

void Main::WB_DocumentReplaced() { chatPage_.documentReplaced(); }

void Main::wbstat_BeforeNavigate2(platform::BrowserObject, const std::string&, bool&) {
    chatPage_.statisticsBeforeNavigate();
}

void Main::ChatPageDeadline_Timer() { chatPage_.deadlineTick(); }

void Main::PrepareChatPage(const platform::DocumentRef& document) { chatPage_.prepare(document); }

}  // namespace app
