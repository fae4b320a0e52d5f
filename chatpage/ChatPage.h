#pragma once
// The chat page: the chat view and the statistics view, the preparation that
// turns the chat site's page into the client's chat screen, the page's share
// panel and guards, its fit to the window, and the deadline within which it
// must become the chat screen.

#include <functional>
#include <string>

#include "common/EventBoundRef.h"
#include "platform/Browser.h"
#include "platform/Services.h"
#include "platform/Window.h"

namespace chatpage {

class ChatPage {
public:
    // From the chat page's request to a prepared chat screen, at most this
    // long before the start page offers Retry: longer than a page read's limit
    // (15 s) plus a slow page's load, shorter than a user's patience.
    static constexpr int DeadlineSeconds = 30;

    // The window's controls the chat page works with.
    struct Controls {
        platform::BrowserView& WB;
        platform::BrowserView& wbstat;
        platform::Timer& TimerResize;
        platform::Timer& ChatPageDeadline;
    };

    struct Addresses {
        std::string chatStart;
        std::string statisticsPage;
    };

    // What the window hands the chat page.
    struct Calls {
        // The start page: one of its blocks, bringing it forward, its note that
        // the chat page was left, and its failure state (true when the state
        // offers Retry, that is, when the page took it).
        std::function<void(const std::string& id, const std::string& display)> showOnStartPage;
        std::function<void()> bringStartPageForward;
        std::function<void()> showChatLeft;
        std::function<bool()> showFailure;
        // The record button, which the preparation binds.
        std::function<void(const platform::ElementRef& element)> bindRecordButton;
        std::function<bool()> recordButtonBound;
        // The page's web process died: a running recording is finished and kept.
        std::function<void()> stopRecordingWithLostPage;
        // The preparation is done: the chat screen is shown, or held behind
        // the update notice.
        std::function<void()> presentChatScreen;
    };

    // What the chat page uses of the platform besides its controls.
    struct Services {
        platform::App& app;
        platform::TextFiles& files;
    };

    ChatPage(Services services, Controls controls, Addresses addresses, Calls calls);
    ChatPage(const ChatPage&) = delete;
    ChatPage& operator=(const ChatPage&) = delete;

    // Asks for the chat site, and waits for its chat screen.
    void open();
    void awaitChatScreen();
    void bringForward();
    // The start page was loaded again: true when the chat page was asked for,
    // and the start page only says how that went (a failure is shown again).
    bool startPageReloaded();

    // The chat view's and the statistics view's events.
    void beforeNavigate(const std::string& URL);
    void documentComplete(platform::BrowserObject pDisp, const std::string& URL);
    void navigateError(platform::BrowserObject pDisp, const std::string& URL, int StatusCode,
                       bool& Cancel);
    void processTerminated();
    // The page replaced its whole document: the chat screen in it is gone.
    void documentReplaced();
    void statisticsBeforeNavigate();
    void deadlineTick();

    void prepare(const platform::DocumentRef& document);
    void showSharePanel();
    void hideSharePanel();
    // Sizes the prepared page's blocks to the page's size.
    void fitToWindow();

    // Let go of the page objects bound to the window.
    void releaseGuards();
    void releaseShareButton() { butShare_.clear(); }

private:
    // The chat page was asked for and has not become the chat screen yet.
    bool awaitingChatScreen();
    bool chatScreenReady() const;
    // why: for the log, the first time the failure is shown.
    void showFailure(const std::string& why);

    Services services_;
    platform::BrowserView& WB;
    platform::BrowserView& wbstat;
    platform::Timer& TimerResize;
    platform::Timer& ChatPageDeadline;
    const Addresses addresses_;
    Calls calls_;

    // Set as the preparation starts, so that it runs once; cleared when the
    // chat page fails, so that the next completion is prepared afresh.
    bool ChatPagePrepared = false;
    common::EventBoundRef oDocument_;
    common::EventBoundRef oDocBody_;
    common::EventBoundRef butShare_;
    int chatPageSeconds_ = 0;      // deadline ticks since the chat page was asked for
    bool chatPageFailed_ = false;  // the chat page failed; the start page offers Retry
};

}  // namespace chatpage
