#include "app/Main.h"

#include "app/SetWindowIcons.h"
#include "app/WindowProc.h"

namespace app {

using platform::attempt;
using platform::PageEvent;

Main::Main(platform::Host& host, Settings settings)
    : WB(host.WB()),
      wbload(host.wbload()),
      wbstat(host.wbstat()),
      TimerResize(host.TimerResize()),
      ChatPageDeadline(host.ChatPageDeadline()),
      CommonDialog1(host.CommonDialog1()),
      ControlURL1(host.reader(), host.codePage()),
      host_(host),
      settings_(std::move(settings)),
      startScreen_(host, wbload,
                   {.checkForUpdate = [this] { updateOutcome_.check(); },
                    .chatPageHoldsStartPage =
                        [this] {
                            if (chatPage_.chatPageFailed)
                                showChatPageFailure("the start page was loaded again");
                            return chatPage_.chatPageFailed || chatPage_.ChatPagePrepared ||
                                   awaitingChatScreen();
                        },
                    .retryClicked = [this] { butRetry_onclick(); },
                    .closeClicked = [this] { butCancel_onclick(); }}),
      updateOutcome_(ControlURL1, settings_.updateBaseAddress,
                     {.showOnStartPage =
                          [this](const std::string& id, const std::string& display) {
                              startScreen_.display(id, display);
                          },
                      .bindStartPageButton =
                          [this](EventBoundRef& field, const std::string& id) {
                              startScreen_.bindButton(field, id);
                          },
                      .showFailure =
                          [this] {
                              startScreen_.showFailure(
                                  startscreen::StartScreen::Failed::UpdateCheck);
                          },
                      .openChatSite =
                          [this] { attempt([&] { WB.Navigate2(settings_.chatStartAddress); }); },
                      .awaitChatScreen = [this] { armChatPageDeadline(); },
                      .bringChatViewForward = [this] { bringChatViewForward(); },
                      .cancelUpdateClicked = [this] { butCancelUpdate_onclick(); }}),
      chatPage_{
          .oDocument{"",
                     {{PageEvent::DragStart, [this] { oDocument_ondragstart(); }, true},
                      {PageEvent::ContextMenu, [this] { oDocument_oncontextmenu(); }, true}}},
          .oDocBody{"BODY", {{PageEvent::SelectStart, [this] { oDocBody_onselectstart(); }, true}}},
          .butShare{"SPAN",
                    {{PageEvent::MouseOver, [this] { butShare_onmouseover(); }, false},
                     {PageEvent::MouseOut, [this] { butShare_onmouseout(); }, false}}}},
      recording_(host, CommonDialog1, settings_.uploadPageAddress,
                 {.recordClicked = [this] { butRecord_onclick(); },
                  .recorderFailed = [this] { Recorder_Failed(); }}) {
    connectEvents();
}

Main::~Main() { disconnectEvents(); }

void Main::connectEvents() {
    host_.form().setEvents({[this] { Form_Load(); }, [this](bool& cancel) { Form_Unload(cancel); },
                            [this] { Form_Resize(); }});
    wbload.setEvents({[this](auto pDisp, auto& url, bool& cancel) {
                          wbload_BeforeNavigate2(pDisp, url, cancel);
                      },
                      [this](auto pDisp, auto& url) { wbload_DocumentComplete(pDisp, url); },
                      [this](auto pDisp, auto& url, int status, bool& cancel) {
                          wbload_NavigateError(pDisp, url, status, cancel);
                      },
                      [this] { wbload_ProcessTerminated(); }});
    WB.setEvents({[this](auto pDisp, auto& url, bool& cancel) {
                      WB_BeforeNavigate2(pDisp, url, cancel);
                  },
                  [this](auto pDisp, auto& url) { WB_DocumentComplete(pDisp, url); },
                  [this](auto pDisp, auto& url, int status, bool& cancel) {
                      WB_NavigateError(pDisp, url, status, cancel);
                  },
                  [this] { WB_ProcessTerminated(); }});
    wbstat.setEvents({[this](auto pDisp, auto& url, bool& cancel) {
                          wbstat_BeforeNavigate2(pDisp, url, cancel);
                      },
                      nullptr, nullptr, nullptr});
    TimerResize.setHandler([this] { TimerResize_Timer(); });
    ChatPageDeadline.setHandler([this] { ChatPageDeadline_Timer(); });
    ControlURL1.UpdateCheck = [this](std::string& text) { ControlURL1_UpdateCheck(text); };
    ControlURL1.UpdateFail = [this] { ControlURL1_UpdateFail(); };
}

void Main::disconnectEvents() {
    host_.form().setEvents({});
    for (platform::BrowserView* view : {&wbload, &WB, &wbstat}) view->setEvents({});
    TimerResize.setHandler(nullptr);
    ChatPageDeadline.setHandler(nullptr);
    ControlURL1.UpdateCheck = nullptr;
    ControlURL1.UpdateFail = nullptr;
}

void Main::Form_Load() {
    // The window procedure goes in first, so every later message passes through it.
    attempt([&] {
        shell_.PreviousWindowProc = host_.windows().installWindowProcedure(
            host_.form().hWnd(),
            [this](platform::WindowHandle hw, platform::UINT msg, platform::WPARAM wp,
                   platform::LPARAM lp) {
                return WindowProc(shell_.PreviousWindowProc, hw, msg, wp, lp);
            },
            {MinimumOuterWidth, MinimumOuterHeight});
    });
    attempt([&] { SetWindowIcons(host_.windows(), host_.form().hWnd(), "AAA", true); });
    attempt([&] { wbload.Navigate2(host_.app().resourcePath("\\HTML\\Dialog.html")); });
    attempt([&] { WB.Navigate2("about:blank"); });
}

void Main::Form_Unload(bool& cancel) {
    StopRecordingOnClose();
    // From here on no page event reaches the window.
    for (EventBoundRef* field :
         {&chatPage_.oDocument, &chatPage_.oDocBody})
        field->clear();
    startScreen_.releaseButtons();
    updateOutcome_.releaseButton();
    chatPage_.butShare.clear();
    recording_.releaseButton();
}

void Main::butRecord_onclick() { recording_.click(); }
bool Main::StartRecording() { return recording_.start(); }
void Main::StopRecordingOnClose() { recording_.stopOnClose(); }
void Main::Recorder_Failed() { recording_.recorderFailed(); }

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
FlashAnswer Main::FlashVersion(int major) { return startScreen_.flashVersion(major); }

void Main::ControlURL1_UpdateCheck(std::string& Text) { updateOutcome_.replied(Text); }
void Main::ControlURL1_UpdateFail() { updateOutcome_.failed(); }

void Main::butRetry_onclick() {
    startScreen_.leaveFailure();
    updateOutcome_.check();
}

void Main::butCancel_onclick() {
    attempt([&] { host_.form().unload(); });
}

void Main::butCancelUpdate_onclick() { bringChatViewForward(); }

void Main::setStartPageDisplay(const std::string& id, const std::string& display) {
    startScreen_.display(id, display);
}

void Main::bindStartPageButton(EventBoundRef& field, const std::string& id) {
    startScreen_.bindButton(field, id);
}

void Main::bringChatViewForward() {
    attempt([&] { WB.ZOrder(0); });
    attempt([&] { TimerResize.setEnabled(true); });
}

}  // namespace app
