#pragma once
// A browser view on WebKitGTK: navigation, its document through the page
// bridge, its events through the event queue, and its place in the window.

#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Browser.h"
#include "platform/gtk/EventQueue.h"
#include "platform/gtk/PageBridge.h"
#include "support/Liveness.h"

namespace gtkui {

// Where the views live: places a view and changes its stacking.
class ViewPlacement {
public:
    virtual ~ViewPlacement() = default;
    virtual void place(GtkWidget* view, const GdkRectangle& where) = 0;
    virtual void bringToFront(GtkWidget* view) = 0;
};

// What a view may do beyond showing pages, fixed when its WebKit view is made.
struct ViewAbilities {
    bool mediaStreams = false;        // camera, microphone and WebRTC, as its permissions allow
    bool mockCaptureDevices = false;  // WebKit's simulated camera and microphone
    bool autoplayWithSound = false;   // sound plays without a click first
    bool muted = false;               // never makes a sound
};

// What a failed load's error says about why it failed: the resolver's, the
// socket's and TLS's errors as GLib and WebKit report them.
platform::NavigationFailure navigationFailureOf(const GError* error);

// The address a navigation action goes to ("" when it has none).
std::string actionUri(WebKitNavigationAction* action);

class GtkBrowserView : public platform::BrowserView {
public:
    // related: a view whose web process this one shares (nullptr for the first).
    GtkBrowserView(WebKitWebContext* context, GtkBrowserView* related,
                   std::shared_ptr<EventQueue> queue, std::shared_ptr<PageHealth> health,
                   ViewPlacement& placement);
    // A view whose WebKit view is made later: by createView(), or by onDemand
    // at its first use. Until then it has no document and keeps its placement.
    GtkBrowserView(std::shared_ptr<EventQueue> queue, std::shared_ptr<PageHealth> health,
                   ViewPlacement& placement, std::function<void()> onDemand);
    void createView(WebKitWebContext* context, GtkBrowserView* related,
                    const ViewAbilities& abilities = {});
    bool created() const { return view_ != nullptr; }
    // Applies the placement asked for before the view was made.
    void placePending();
    ~GtkBrowserView() override;
    GtkBrowserView(const GtkBrowserView&) = delete;
    GtkBrowserView& operator=(const GtkBrowserView&) = delete;

    void Navigate2(const std::string& address) override;
    platform::DocumentRef Document() override;
    void setSilent(bool silent) override { silent_ = silent; }
    platform::BrowserObject topLevelBrowser() override;
    void Move(int left, int top, int width, int height) override;
    void ZOrder(int position) override;
    void endPageProcess() override;  // with the web processes, in PageProcesses.cpp
    void setEvents(platform::BrowserEvents events) override { events_ = std::move(events); }

    // Takes the address of every new window that the page asks for, by a link
    // or by script; the view itself opens no window. Without an opener such
    // requests are refused.
    // Only web and mail addresses of sane length reach the opener; others are
    // refused and logged.
    using WindowOpener = std::function<void(const std::string& address)>;
    void setWindowOpener(WindowOpener opener) { opener_ = std::move(opener); }
    // The view shows the site's pages only: navigations to the client's own
    // scheme or to local files are refused (resources the client serves to
    // the pages still load).
    // name says which view it is in the log ("the chat view").
    void showSitePagesOnly(std::string name) { sitePagesOnly_ = std::move(name); }
    // Answers the page's permission requests (camera, notifications, ...),
    // given the address of the view's page; true allows. Without a policy a
    // silent view denies every request.
    using PermissionPolicy =
        std::function<bool(WebKitPermissionRequest* request, const std::string& page)>;
    void setPermissionPolicy(PermissionPolicy policy) { permissions_ = std::move(policy); }

    // Makes a view made on demand, where it is first needed (a navigation,
    // bringing it to the front).
    void ensureCreated() {
        if (!view_ && onDemand_) onDemand_();
    }
    // The WebKit view, or nullptr before it is made.
    GtkWidget* widget() const { return GTK_WIDGET(view_); }
    WebKitWebView* webView() const { return view_; }
    WebKitUserContentManager* userContent() const { return content_; }
    PageBridge& bridge() { return *bridge_; }
    // The identity that frame completions report.
    platform::BrowserObject frameBrowser();
    // The window is gone: no event of this view is raised any more.
    void detach();

private:
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType,
                                   gpointer self);
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent, gpointer self);
    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError*,
                                 gpointer self);
    static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction*, gpointer self);
    static gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog*, gpointer self);
    static gboolean onPermissionRequest(WebKitWebView*, WebKitPermissionRequest*, gpointer self);
    static gboolean onFileChooser(WebKitWebView*, WebKitFileChooserRequest*, gpointer self);
    static void onProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason,
                                    gpointer self);
    static gboolean onAuthenticate(WebKitWebView*, WebKitAuthenticationRequest*, gpointer self);
    static void onEventMessage(WebKitUserContentManager*, WebKitJavascriptResult*, gpointer self);
    static void onFrameMessage(WebKitUserContentManager*, WebKitJavascriptResult*, gpointer self);

    void beforeNavigate(WebKitPolicyDecision* decision, const std::string& uri);
    void responseError(WebKitPolicyDecision* decision, const std::string& uri, int status);
    void navigateError(const std::string& uri, int status, unsigned load);
    void post(EventQueue::Event event);
    // The page's report that it replaced its document raises DocumentReplaced
    // from the event queue.
    void reportDocumentReplaced();
    void openNewWindow(const std::string& uri);

    WebKitWebView* view_ = nullptr;
    std::function<void()> onDemand_;
    std::optional<GdkRectangle> pendingPlace_;
    WebKitUserContentManager* content_ = nullptr;
    std::shared_ptr<EventQueue> queue_;
    std::shared_ptr<PageBridge> bridge_;
    ViewPlacement& placement_;
    platform::BrowserEvents events_;
    WindowOpener opener_;
    PermissionPolicy permissions_;
    // Ended with the view, so that queued events of a gone view do nothing.
    support::Liveness liveness_;
    bool silent_ = false;
    std::string sitePagesOnly_;  // the view's name when it shows the site's pages only
    bool endingProcess_ = false;  // endPageProcess() ends the process: no event
    unsigned load_ = 0;        // counts top-level loads
    bool loadFailed_ = false;  // the current load failed: no DocumentComplete
};

}  // namespace gtkui
