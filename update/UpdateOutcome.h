#pragma once
// What the update server's reply does: no update or an offered one opens the
// chat site, a critical one asks for the new version, anything else is the
// start screen's failure state. An offered update keeps the prepared chat
// page behind the update notice until its button is clicked.

#include <functional>
#include <string>

#include "common/EventBoundRef.h"
#include "update/ControlURL.h"

namespace update {

class UpdateOutcome {
public:
    // What the window hands the update outcome.
    struct Calls {
        // The start page: one of its blocks, one of its buttons, its failure state.
        std::function<void(const std::string& id, const std::string& display)> showOnStartPage;
        std::function<void(common::EventBoundRef& field, const std::string& id)>
            bindStartPageButton;
        std::function<void()> showFailure;
        // The chat view: ask for the chat site, wait for its chat screen, show it.
        std::function<void()> openChatSite;
        std::function<void()> awaitChatScreen;
        std::function<void()> bringChatViewForward;
        // The window's handler of the update notice's button.
        std::function<void()> cancelUpdateClicked;
    };

    // updateBaseAddress: ends in "/"; the check appends "1".
    UpdateOutcome(ControlURL& control, std::string updateBaseAddress, Calls calls);
    UpdateOutcome(const UpdateOutcome&) = delete;
    UpdateOutcome& operator=(const UpdateOutcome&) = delete;

    // Starts the update check.
    void check();
    // The control's events.
    void replied(std::string& Text);
    void failed();
    // The chat page has been prepared: it comes forward, or waits behind the
    // update notice when an update is offered.
    void presentChatScreen();
    void releaseButton() { butCancelUpdate_.clear(); }

private:
    ControlURL& ControlURL1;
    const std::string updateBaseAddress_;
    Calls calls_;

    bool UpdateOffered = false;
    common::EventBoundRef butCancelUpdate_;
};

}  // namespace update
