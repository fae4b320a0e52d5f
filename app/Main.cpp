#include "app/Main.h"

#include "app/SetWindowIcons.h"

namespace app {

using support::attempt;

// Each subsystem gets the controls it works with and, as calls, what it may ask
// of the others; the calls are made only once the window is built.
Main::Main(platform::Host& host, support::Settings settings)
    : WB(host.WB()),
      wbload(host.wbload()),
      wbstat(host.wbstat()),
      TimerResize(host.TimerResize()),
      ChatPageDeadline(host.ChatPageDeadline()),
      CommonDialog1(host.CommonDialog1()),
      ControlURL1(host.reader(), host.codePage()),
      host_(host),
      settings_(std::move(settings)),
      startScreen_({host.app(), host.flashPlayer(), host.webcam()}, wbload,
                   {.checkForUpdate = [this] { updateOutcome_.check(); },
                    .chatPageHoldsStartPage = [this] { return chatPage_.startPageReloaded(); },
                    .retryClicked = [this] { butRetry_onclick(); },
                    .closeClicked = [this] { butCancel_onclick(); }}),
      updateOutcome_(
          ControlURL1, settings_.updateBaseAddress,
          {.showOnStartPage =
               [this](const std::string& id, const std::string& display) {
                   startScreen_.display(id, display);
               },
           .bindStartPageButton =
               [this](common::EventBoundRef& field, const std::string& id) {
                   startScreen_.bindButton(field, id);
               },
           .showFailure =
               [this] { startScreen_.showFailure(startscreen::StartScreen::Failed::UpdateCheck); },
           .openChatSite = [this] { chatPage_.open(); },
           .awaitChatScreen = [this] { chatPage_.awaitChatScreen(); },
           .bringChatViewForward = [this] { chatPage_.bringForward(); },
           .cancelUpdateClicked = [this] { butCancelUpdate_onclick(); }}),
      chatPage_(
          {host.app(), host.files()}, {WB, wbstat, TimerResize, ChatPageDeadline},
          {settings_.chatStartAddress, settings_.statisticsPageAddress},
          {.showOnStartPage =
               [this](const std::string& id, const std::string& display) {
                   startScreen_.display(id, display);
               },
           .bringStartPageForward = [this] { startScreen_.bringForward(); },
           .showChatLeft = [this] { startScreen_.showChatLeft(); },
           .showFailure =
               [this] {
                   startScreen_.showFailure(startscreen::StartScreen::Failed::ChatPage);
                   return startScreen_.offersRetry();
               },
           .bindRecordButton =
               [this](const platform::ElementRef& element) { recording_.bindButton(element); },
           .recordButtonBound = [this] { return recording_.buttonBound(); },
           .stopRecordingWithLostPage = [this] { recording_.stopWithLostPage(); },
           .presentChatScreen = [this] { updateOutcome_.presentChatScreen(); }}),
      recording_({host.form(), host.screen(), host.app(), CommonDialog1, host.recorders(),
                  host.messageBox(), host.shell()},
                 settings_.uploadPageAddress) {
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
                      [this] { wbload_ProcessTerminated(); }, nullptr});
    WB.setEvents(
        {[this](auto pDisp, auto& url, bool& cancel) { WB_BeforeNavigate2(pDisp, url, cancel); },
         [this](auto pDisp, auto& url) { WB_DocumentComplete(pDisp, url); },
         [this](auto pDisp, auto& url, int status, bool& cancel) {
             WB_NavigateError(pDisp, url, status, cancel);
         },
         [this] { WB_ProcessTerminated(); }, [this] { WB_DocumentReplaced(); }});
    wbstat.setEvents({[this](auto pDisp, auto& url, bool& cancel) {
                          wbstat_BeforeNavigate2(pDisp, url, cancel);
                      },
                      nullptr, nullptr, nullptr, nullptr});
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
    // The minimum size goes in first, so that no later change goes below it.
    attempt([&] { host_.windows().setMinimumOuterSize(host_.form().hWnd(), MinimumWindowSize); });
    attempt([&] { SetWindowIcons(host_.windows(), host_.form().hWnd(), "AAA", true); });
    attempt([&] { wbload.Navigate2(host_.app().resourcePath("HTML/Dialog.html")); });
    attempt([&] { WB.Navigate2("about:blank"); });
}

void Main::Form_Unload(bool& cancel) {
    recording_.stopOnClose();
    // From here on no page event reaches the window.
    chatPage_.releaseGuards();
    startScreen_.releaseButtons();
    updateOutcome_.releaseButton();
    chatPage_.releaseShareButton();
    recording_.releaseButton();
}

}  // namespace app
