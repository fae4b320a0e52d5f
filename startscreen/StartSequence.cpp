// The start page's navigation handlers and the start sequence that runs when
// the page has loaded: blocking marker, Flash check, webcam check, update check.

#include "app/Main.h"
#include "startscreen/WebcamPresent.h"

namespace app {

using platform::attempt;

void Main::wbload_BeforeNavigate2(platform::BrowserObject, const std::string&, bool&) {
    attempt([&] { wbload.setSilent(true); });
}

void Main::wbload_NavigateError(platform::BrowserObject, const std::string&, int, bool& Cancel) {
    Cancel = true;  // no built-in error page
}

void Main::wbload_ProcessTerminated() {
    // The start page is loaded again; its completion puts back what it showed.
    startScreen_.startPageRestoring = true;
    attempt([&] { wbload.Navigate2(host_.app().resourcePath("\\HTML\\Dialog.html")); });
}

void Main::wbload_DocumentComplete(platform::BrowserObject pDisp, const std::string& URL) {
    if (URL == "about:blank") return;

    // Frame completions are ignored. If the test itself fails, the sequence goes on.
    bool topLevel = true;
    attempt([&] { topLevel = pDisp == wbload.topLevelBrowser(); });
    if (!topLevel) return;
    if (startScreen_.startPageRestoring) {
        startScreen_.startPageRestoring = false;
        // Once the chat page was asked for, the start page only says how it went.
        if (chatPage_.chatPageFailed) showChatPageFailure("the start page was loaded again");
        if (chatPage_.chatPageFailed || chatPage_.ChatPagePrepared || awaitingChatScreen()) return;
    }

    bool blocked = false;
    attempt([&] { blocked = static_cast<bool>(wbload.Document()->getElementById("java")); });
    if (blocked) return;

    // A check that fails counts as a missing device.
    FlashAnswer flash = NoFlashPlayer{};
    attempt([&] { flash = FlashVersion(9); });
    if (std::holds_alternative<NoFlashPlayer>(flash)) {
        setStartPageDisplay("loading", "none");
        setStartPageDisplay("noflash", "block");
        return;
    }

    bool webcam = false;
    attempt([&] {
        webcam = startscreen::WebcamPresent(host_.capture(), startScreen_.CaptureWindowHandle);
    });
    if (!webcam) {
        setStartPageDisplay("loading", "none");
        setStartPageDisplay("nowebcam", "block");
        return;
    }

    attempt([&] { ControlURL1.CheckUpdate(settings_.updateBaseAddress + "1"); });
}

}  // namespace app
