#pragma once
// The start screen: the start page in its own view, the sequence that runs
// when it has loaded (blocking marker, Flash check, webcam check, update
// check), and the states it shows, among them the one failure state with
// Retry and Close.

#include <functional>
#include <string>
#include <variant>

#include "common/EventBoundRef.h"
#include "platform/Browser.h"
#include "platform/Services.h"
#include "platform/Window.h"

namespace startscreen {

// The Flash check's answer: no player (none could be created, or it would not
// tell its version), or the version text the player gave, which may be empty.
struct NoFlashPlayer {
    bool operator==(const NoFlashPlayer&) const = default;
};
struct FlashPlayerVersion {
    std::string text;
    bool operator==(const FlashPlayerVersion&) const = default;
};
using FlashAnswer = std::variant<NoFlashPlayer, FlashPlayerVersion>;

class StartScreen {
public:
    // What the window hands the start screen.
    struct Calls {
        // Starts the update check.
        std::function<void()> checkForUpdate;
        // Asked when the start page has been loaded again: true when the chat
        // page was asked for, so the start page only says how that went.
        std::function<bool()> chatPageHoldsStartPage;
        // The window's handlers of the failure state's buttons.
        std::function<void()> retryClicked;
        std::function<void()> closeClicked;
    };

    // Which step the failure state says has failed.
    enum class Failed { UpdateCheck, ChatPage };

    // What the start screen uses of the platform besides its view.
    struct Services {
        platform::App& app;
        platform::FlashPlayerService& flashPlayer;
        platform::WebcamService& webcam;
    };

    StartScreen(Services services, platform::BrowserView& startView, Calls calls);
    StartScreen(const StartScreen&) = delete;
    StartScreen& operator=(const StartScreen&) = delete;

    // The start view's events.
    void beforeNavigate();
    void navigateError(bool& cancel);
    void processTerminated();
    void documentComplete(platform::BrowserObject pDisp, const std::string& URL);
    FlashAnswer flashVersion(int major);

    // Shows or hides one block of the start page.
    void display(const std::string& id, const std::string& display);
    // Binds a field to one of the start page's buttons.
    void bindButton(common::EventBoundRef& field, const std::string& id);
    void bringForward();
    // The chat page is being left: the start page, now behind, says so.
    void showChatLeft();

    // The failure state, with Retry and Close, saying which step failed.
    void showFailure(Failed step);
    // Whether the failure state's Retry button is bound (the page took the state).
    bool offersRetry() const { return butRetry_.bound(); }
    // Retry was clicked: back to the loading state, the buttons let go.
    void leaveFailure();
    void releaseButtons();

private:
    Services services_;
    platform::BrowserView& wbload;
    Calls calls_;

    // The start page is loaded again after its web process died.
    bool startPageRestoring_ = false;
    common::EventBoundRef butRetry_;
    common::EventBoundRef butCancel_;
};

}  // namespace startscreen
