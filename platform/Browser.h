#pragma once
// An embedded web-browser view: navigation, its current document, its
// navigation events and its place in the window.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Page.h"

namespace platform {

// Identity of a browser object: a view's own top-level browser, or a frame
// inside its page. Compared by value.
struct BrowserObject {
    std::uintptr_t identity = 0;
    friend bool operator==(BrowserObject a, BrowserObject b) { return a.identity == b.identity; }
    friend bool operator!=(BrowserObject a, BrowserObject b) { return !(a == b); }
};

// Why a navigation failed when no server answered it with an HTTP status.
// NavigateError reports one of these, all negative, in place of the status.
// A navigation stopped on purpose (by a newer navigation, a policy, the
// client) raises no NavigateError at all.
enum class NavigationFailure : int {
    CannotResolve = -1,  // the host's name is not known
    CannotConnect = -2,  // refused, unreachable, broken off, or no secure connection
    TimedOut = -3,
    Cancelled = -4,  // the transfer was cancelled while it ran
    Other = -5,
};

// The view's events. The handlers run on the user-interface thread, one at a
// time. Setting cancel suppresses the navigation (BeforeNavigate2) or the
// view's own error page (NavigateError). NavigateError's statusCode is the
// HTTP status the server answered with, or a NavigationFailure.
struct BrowserEvents {
    std::function<void(BrowserObject pDisp, const std::string& url, bool& cancel)> BeforeNavigate2;
    std::function<void(BrowserObject pDisp, const std::string& url)> DocumentComplete;
    std::function<void(BrowserObject pDisp, const std::string& url, int statusCode, bool& cancel)>
        NavigateError;
    // The process that ran the view's page ended (a crash, out of memory):
    // the view shows a dead page until it navigates again.
    std::function<void()> ProcessTerminated;
    // The page replaced its whole document after it was prepared (a script's
    // document.open): whatever the client put into it is gone.
    std::function<void()> DocumentReplaced;
};

class BrowserView {
public:
    virtual ~BrowserView() = default;
    // Starts loading and returns at once. A plain file path is a local file.
    virtual void Navigate2(const std::string& address) = 0;
    // The current top-level document, or an empty reference.
    virtual DocumentRef Document() = 0;
    // While set, the view shows no dialog boxes of its own.
    virtual void setSilent(bool silent) = 0;
    virtual BrowserObject topLevelBrowser() = 0;
    // Placement in the window's client area, in logical pixels.
    virtual void Move(int left, int top, int width, int height) = 0;
    // 0 brings the view to the front.
    virtual void ZOrder(int position) = 0;
    // Ends the process that runs the view's page, if it runs one: whatever the
    // page still does (a script in a loop, a page grown huge) goes with it, and
    // the next navigation starts afresh. The view shows a dead page until then;
    // no ProcessTerminated is raised for it.
    virtual void endPageProcess() = 0;
    virtual void setEvents(BrowserEvents events) = 0;
};

}  // namespace platform
