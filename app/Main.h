#pragma once
// Main: the program's one window. It owns the views and controls and the four
// subsystems (start screen, update outcome, chat page, recording), each of
// which owns its state and its steps and binds the page objects it owns to
// its own handlers. Main wires them once and passes the events of the views
// and controls to the subsystem they belong to; a subsystem reaches another
// only through the calls Main hands it at construction.

#include <memory>
#include <string>

#include "support/Settings.h"
#include "chatpage/ChatPage.h"
#include "platform/Host.h"
#include "recording/Recording.h"
#include "startscreen/StartScreen.h"
#include "update/ControlURL.h"
#include "update/UpdateOutcome.h"

namespace app {

// The window's outer size, frame included, never goes below this.
inline constexpr platform::OuterSize MinimumWindowSize{670, 570};

class Main {
public:
    explicit Main(platform::Host& host, support::Settings settings = support::Settings::builtIn());
    Main(const Main&) = delete;
    Main& operator=(const Main&) = delete;
    ~Main();

    // Application shell.
    void Form_Load();
    void Form_Unload(bool& cancel);
    void Form_Resize();
    void TimerResize_Timer();
    void ChatPageDeadline_Timer();
    static constexpr int ChatPageDeadlineSeconds = chatpage::ChatPage::DeadlineSeconds;

    // Start screen.
    void wbload_BeforeNavigate2(platform::BrowserObject pDisp, const std::string& URL,
                                bool& Cancel);
    void wbload_DocumentComplete(platform::BrowserObject pDisp, const std::string& URL);
    void wbload_NavigateError(platform::BrowserObject pDisp, const std::string& URL,
                              int StatusCode, bool& Cancel);
    void wbload_ProcessTerminated();

    // Update outcome.
    void ControlURL1_UpdateCheck(std::string& Text);
    void ControlURL1_UpdateFail();
    void butRetry_onclick();
    void butCancel_onclick();
    void butCancelUpdate_onclick();

    // Chat page.
    void WB_BeforeNavigate2(platform::BrowserObject pDisp, const std::string& URL, bool& Cancel);
    void WB_DocumentComplete(platform::BrowserObject pDisp, const std::string& URL);
    void WB_NavigateError(platform::BrowserObject pDisp, const std::string& URL, int StatusCode,
                          bool& Cancel);
    void WB_ProcessTerminated();
    void WB_DocumentReplaced();
    void wbstat_BeforeNavigate2(platform::BrowserObject pDisp, const std::string& URL,
                                bool& Cancel);
    void PrepareChatPage(const platform::DocumentRef& document);

    // Controls.
    platform::BrowserView& WB;
    platform::BrowserView& wbload;
    platform::BrowserView& wbstat;
    platform::Timer& TimerResize;
    platform::Timer& ChatPageDeadline;
    platform::SaveDialog& CommonDialog1;
    update::ControlURL ControlURL1;

private:
    void connectEvents();
    void disconnectEvents();

    platform::Host& host_;
    support::Settings settings_;
    // Declared after the controls, which they are given.
    startscreen::StartScreen startScreen_;
    update::UpdateOutcome updateOutcome_;
    chatpage::ChatPage chatPage_;
    recording::Recording recording_;
};

}  // namespace app
