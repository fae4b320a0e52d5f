// The start page's navigation handlers and the start sequence that runs when
// the page has loaded: blocking marker, Flash check, webcam check, update check.

#include "startscreen/StartScreen.h"

namespace startscreen {

using support::attempt;

void StartScreen::beforeNavigate() {
    attempt([&] { wbload.setSilent(true); });
}

void StartScreen::navigateError(bool& Cancel) {
    Cancel = true;  // no built-in error page
}

void StartScreen::processTerminated() {
    // The start page is loaded again; its completion puts back what it showed.
    startPageRestoring_ = true;
    attempt([&] { wbload.Navigate2(services_.app.resourcePath("HTML/Dialog.html")); });
}

void StartScreen::documentComplete(platform::BrowserObject pDisp, const std::string& URL) {
    if (URL == "about:blank") return;

    // Frame completions are ignored. If the test itself fails, the sequence goes on.
    bool topLevel = true;
    attempt([&] { topLevel = pDisp == wbload.topLevelBrowser(); });
    if (!topLevel) return;
    if (startPageRestoring_) {
        startPageRestoring_ = false;
        // Once the chat page was asked for, the start page only says how it went.
        if (calls_.chatPageHoldsStartPage()) return;
    }

    bool blocked = false;
    attempt([&] { blocked = static_cast<bool>(wbload.Document()->getElementById("java")); });
    if (blocked) return;

    // A check that fails counts as a missing device.
    FlashAnswer flash = NoFlashPlayer{};
    attempt([&] { flash = flashVersion(9); });
    if (std::holds_alternative<NoFlashPlayer>(flash)) {
        display("loading", "none");
        display("noflash", "block");
        return;
    }

    bool webcam = false;
    attempt([&] { webcam = services_.webcam.webcamPresent(); });
    if (!webcam) {
        display("loading", "none");
        display("nowebcam", "block");
        return;
    }

    calls_.checkForUpdate();
}

}  // namespace startscreen
