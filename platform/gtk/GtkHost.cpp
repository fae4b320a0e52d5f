#include "platform/gtk/GtkHost.h"

#include <stdexcept>

#include "platform/gtk/CallBridge.h"
#include "platform/gtk/ChatDownloads.h"
#include "platform/gtk/ChatNotifications.h"
#include "platform/gtk/ChatSitePermissions.h"
#include "platform/gtk/ChatViewPlayer.h"
#include "platform/gtk/ChatZoom.h"
#include "platform/gtk/DownloadNotices.h"
#include "platform/gtk/OtherSiteFrames.h"
#include "platform/gtk/PreferredLanguages.h"
#include "platform/gtk/QueuedReader.h"
#include "platform/gtk/QueuedRecorders.h"
#include "platform/gtk/ResourceScheme.h"
#include "platform/gtk/SiteData.h"
#include "platform/gtk/SpellChecking.h"
#include "platform/gtk/StatusLine.h"
#include "platform/gtk/StepTrace.h"
#include "support/Log.h"

namespace gtkui {

namespace {

// Cookies, storage and cache on disk, in the XDG folders named for the
// program, so that a login lasts from one start to the next. The folders are
// made private and held before the engine writes to them.
WebKitWebContext* makeWebContext(const HostOptions& options, std::unique_ptr<SiteDataHold>& hold) {
    if (options.ephemeral) {
        g_autoptr(WebKitWebsiteDataManager) data = webkit_website_data_manager_new_ephemeral();
        return webContextWithMemoryLimit(data, options.pageMemoryLimitMB);
    }
    const SiteDataFolders folders = siteDataFolders(options.program);
    hold = useSiteData(folders);
    g_autoptr(WebKitWebsiteDataManager) data =
        webkit_website_data_manager_new("base-data-directory", folders.data.c_str(),
                                        "base-cache-directory", folders.cache.c_str(), nullptr);
    webkit_cookie_manager_set_persistent_storage(
        webkit_website_data_manager_get_cookie_manager(data), folders.cookies().c_str(),
        WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    support::logInfo("site data kept in " + folders.data + " and " + folders.cache);
    return webContextWithMemoryLimit(data, options.pageMemoryLimitMB);
}

// Says once whether the engine gives pages WebRTC: the setting is on, but an
// engine built without it has no RTCPeerConnection.
void logWebRtcOnce(WebKitWebView* view) {
    g_signal_connect(
        view, "load-changed", G_CALLBACK(+[](WebKitWebView* view, WebKitLoadEvent event, gpointer) {
            if (event != WEBKIT_LOAD_FINISHED) return;
            g_signal_handlers_disconnect_matched(view, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                                 reinterpret_cast<gpointer>(&logWebRtcOnce));
            webkit_web_view_evaluate_javascript(
                view, "typeof RTCPeerConnection", -1, nullptr, nullptr, nullptr,
                [](GObject* source, GAsyncResult* result, gpointer) {
                    g_autoptr(JSCValue) value = webkit_web_view_evaluate_javascript_finish(
                        WEBKIT_WEB_VIEW(source), result, nullptr);
                    g_autofree gchar* type = value ? jsc_value_to_string(value) : nullptr;
                    const bool has = g_strcmp0(type, "function") == 0;
                    support::logInfo(has ? "WebRTC: the chat page has RTCPeerConnection"
                                         : "WebRTC: the chat page has no RTCPeerConnection (this "
                                           "WebKitGTK was built without WebRTC)");
                },
                nullptr);
        }),
        reinterpret_cast<gpointer>(&logWebRtcOnce));
}

// Lets the chat site's origin show notifications.
void allowChatSiteNotifications(WebKitWebContext* context, gpointer chatSite) {
    const std::string& chat = *static_cast<const std::string*>(chatSite);
    if (chat.empty()) return;
    WebKitSecurityOrigin* origin = webkit_security_origin_new_for_uri(chat.c_str());
    GList allowed{origin, nullptr, nullptr};
    webkit_web_context_initialize_notification_permissions(context, &allowed, nullptr);
    webkit_security_origin_unref(origin);
}

}  // namespace

GtkHost::GtkHost(const ServiceFactory& services, HostOptions options)
    : options_(std::move(options)) {
    app_ = std::make_unique<GtkApp>(options_.appFolder);
    {
        TimedStep step("web context and site data store made");
        context_ = makeWebContext(options_, siteData_);
    }
    const std::string playerRoot = options_.appFolder + "/" + PlayerFolder;
    registerResourceScheme(context_, options_.appFolder + "/HTML", playerRoot);
    setPreferredLanguages(context_);
    setSpellChecking(context_, options_.spellChecking);
    // The chat site's origin may show notifications from its first page on
    // (the engine asks pages to request the permission with a click).
    g_signal_connect(context_, "initialize-notification-permissions",
                     G_CALLBACK(allowChatSiteNotifications), &options_.chatSite);

    form_ = std::make_unique<GtkForm>(queue_);
    screen_ = std::make_unique<GtkScreen>(*form_);
    windows_ = std::make_unique<GtkWindowSystem>(*form_, options_.appFolder);
    timer_ = std::make_unique<GtkTimer>(queue_);
    deadline_ = std::make_unique<GtkTimer>(queue_, 1000);
    // wbload over WB over the small wbstat. The start view has a web process
    // of its own; WB and wbstat share another (related views), so that a chat
    // page that stops answering or grows without end never holds up the start
    // screen and its Retry. The start view comes first and alone. WB and
    // wbstat are made at their first use (the chat page's request, the
    // statistics page's): making a view pauses the user-interface thread for
    // tens of milliseconds, which would show as a stutter of the start page's
    // animation while it waits for the update check.
    wbload_ = std::make_unique<GtkBrowserView>(context_, nullptr, queue_, startHealth_, *form_);
    WB_ = std::make_unique<GtkBrowserView>(queue_, chatHealth_, *form_, [this] { makeChatView(); });
    wbstat_ = std::make_unique<GtkBrowserView>(queue_, chatHealth_, *form_,
                                               [this] { createRelatedView(*wbstat_); });
    // A page may run a script for seconds, and a read waits for one as long
    // as its limit (15 s): a page silent for longer is hung. Ending it then
    // still leaves the failure state within the chat page's deadline.
    chatWatch_ = std::make_unique<PageProcessWatch>("the chat page", std::chrono::seconds(15));
    // Only the chat view plays Flash; the start and statistics pages are the client's.
    chatViewPlayer_ = havePlayer(playerRoot);
    form_->addOverlayView(wbload_->widget());
    status_ = std::make_unique<StatusLine>();
    // wbstat's place in the window's design, 57 x 41 pixels near the bottom:
    // the layout never moves it, and the other views cover it.
    wbstat_->Move(296, 504, 57, 41);

    services_ = services(form_->window());
    if (!services_.flashPlayer || !services_.webcam || !services_.reader || !services_.codePage ||
        !services_.files || !services_.saveDialog || !services_.messageBox || !services_.shell ||
        !services_.recorders)
        throw std::runtime_error("a system service is missing");
    reader_ = std::make_unique<QueuedReader>(*services_.reader, queue_);
    recorders_ = std::make_unique<QueuedRecorders>(*services_.recorders, queue_);
    // Files the person asks for in the chat view; a click on the notice of a
    // saved one opens its folder.
    downloadNotices_ = std::make_unique<DownloadNotices>(
        [this](const std::string& folder) { openElsewhere(folder); });
    downloads_ = std::make_unique<ChatDownloads>(context_, *status_, *downloadNotices_);
    downloads_->nameView(wbload_->webView(), "the start view");

    // New windows that pages ask for open where the upload page does: with the
    // desktop's default handler for the address.
    wbload_->setWindowOpener([this](const std::string& address) { openElsewhere(address); });
    ChatNotifications::refuseAll(wbload_->webView(), "the start view");
    // The start screen is the client's own page: no browser menu (Back, Reload...) over it.
    g_signal_connect(wbload_->webView(), "context-menu",
                     G_CALLBACK(+[](WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                    WebKitHitTestResult*, gpointer) -> gboolean { return TRUE; }),
                     nullptr);

    form_->setOnGone([this] { onWindowGone(); });
    form_->setOnCloseRequest([this](bool closing) {
        startHealth_->setClosing(closing);
        chatHealth_->setClosing(closing);
    });
}

void GtkHost::makeChatView() {
    if (WB_->created() || form_->gone()) return;
    TimedStep step("chat view made");
    // The chat plays its sound at once, and may use camera and microphone.
    ViewAbilities abilities;
    abilities.mediaStreams = true;
    abilities.mockCaptureDevices = options_.mockCaptureDevices;
    abilities.autoplayWithSound = true;
    const bool first = !wbstat_->created();
    WB_->createView(context_, first ? nullptr : wbstat_.get(), abilities);
    if (!WB_->created()) return;
    form_->addOverlayViewBehind(WB_->widget());
    if (chatViewPlayer_) {
        addChatViewPlayer(WB_->userContent());
        // The players pause while another view covers the chat view.
        playerHold_ = std::make_unique<ChatPlayerHold>(form_->window(), WB_->webView());
        playerHold_->setCovered(form_->frontView() != WB_->widget());
    }
    // The start view is hidden while another view is in front of it: its page
    // then stops drawing (its animations, behind the chat, cost a web process
    // for nothing). It shows again when it comes to the front.
    form_->setOnFrontViewChanged([this](GtkWidget* front) {
        if (wbload_) gtk_widget_set_visible(wbload_->widget(), front == wbload_->widget());
        if (playerHold_) playerHold_->setCovered(front != WB_->widget());
    });
    // The chat view's page size drives the layout of its elements.
    WB_->bridge().setOnViewport(
        [form = form_.get()](int width, int height) { form->pageViewport(width, height); });
    keepDevicesFromOtherSites(WB_->userContent(), options_.chatSite);
    WB_->setPermissionPolicy([this](WebKitPermissionRequest* request, const std::string& page) {
        const bool allowed = allowForChatSite(request, page, options_.chatSite);
        if (allowed && calls_ && WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request))
            calls_->prepare();
        return allowed;
    });
    {
        TimedStep notificationStep("chat notifications set up");
        notifications_ = std::make_unique<ChatNotifications>(
            form_->window(), options_.appFolder + "/icons/whirligigcam-48.png", options_.chatSite);
        notifications_->watch(WB_->webView());
    }
    logWebRtcOnce(WB_->webView());
    status_->showIn(WB_->webView());
    downloads_->watchChatView(WB_->webView(), options_.chatSite);
    zoom_ = std::make_unique<ChatZoom>(
        form_->window(), WB_->webView(),
        options_.zoomStateFile.empty() ? zoomStateFile(options_.program) : options_.zoomStateFile,
        [this] { return form_->frontView() == WB_->widget(); });
    // Where the engine has no WebRTC, chat-site pages get it through the call helper.
    calls_ = std::make_unique<CallBridge>(WB_->webView(), WB_->userContent(), options_.chatSite,
                                          options_.callHelper);
    WB_->showSitePagesOnly("the chat view");
    WB_->setWindowOpener([this](const std::string& address) { openElsewhere(address); });
    WB_->placePending();
    if (first) chatWatch_->watch(WB_->webView());
}

void GtkHost::createRelatedView(GtkBrowserView& view) {
    if (view.created() || form_->gone()) return;
    TimedStep step("statistics view made");
    // The statistics page is always covered: it is never heard.
    ViewAbilities abilities;
    abilities.muted = true;
    // The first of the chat and statistics views starts their web process,
    // and is the one watched.
    const bool first = !WB_->created();
    view.createView(context_, first ? nullptr : WB_.get(), abilities);
    if (!view.created()) return;
    view.showSitePagesOnly("the statistics view");
    ChatNotifications::refuseAll(view.webView(), "the statistics view");
    downloads_->nameView(view.webView(), "the statistics view");
    form_->addFixedView(view.widget());
    view.setWindowOpener([this](const std::string& address) { openElsewhere(address); });
    view.placePending();
    if (first) chatWatch_->watch(view.webView());
}

// With the window, before the views go: a page that does not answer would
// otherwise keep its process, orphaned, until WebKit's own watchdog aborts it
// about ten seconds after this process ends. (Killed outright, SIGKILL, this
// process runs none of this: then a web process whose page answers ends as
// soon as its connection to us closes, as does the network process, and one
// whose page does not answer only at that watchdog.)
void GtkHost::endPageProcesses() {
    if (pageProcessesEnded_) return;
    pageProcessesEnded_ = true;
    chatWatch_.reset();
    playerHold_.reset();
    calls_.reset();  // the call helper goes with the chat page
    for (GtkBrowserView* view : {wbload_.get(), WB_.get(), wbstat_.get()}) {
        if (!view->created()) continue;
        view->detach();  // no event of theirs is raised any more
        webkit_web_view_terminate_web_process(view->webView());
    }
    support::logInfo("the web processes of the window's pages are ended with it");
}

GtkHost::~GtkHost() {
    queue_->close();
    timer_->setEnabled(false);
    deadline_->setEnabled(false);
    // The services go before the window they may refer to.
    reader_.reset();
    recorders_.reset();
    // Destroyed as a whole, in the reverse order of their declaration (the
    // text files use the code page).
    { HostServices gone = std::move(services_); }
    notifications_.reset();
    // The calls end while their page is still there.
    calls_.reset();
    zoom_.reset();
    downloads_.reset();
    downloadNotices_.reset();
    endPageProcesses();
    wbload_.reset();
    WB_.reset();
    wbstat_.reset();
    form_.reset();
    g_object_unref(context_);
}

void GtkHost::onWindowGone() {
    timer_->setEnabled(false);
    deadline_->setEnabled(false);
    for (GtkBrowserView* view : {WB_.get(), wbload_.get(), wbstat_.get()}) {
        const bool created = view->created();
        view->detach();
        if (created) webkit_web_view_stop_loading(view->webView());
    }
    endPageProcesses();
    if (loop_) g_main_loop_quit(loop_);
}

void GtkHost::openElsewhere(const std::string& address) {
    try {
        services_.shell->openWithDefaultHandler(address);
    } catch (const support::Failure& failure) {
        support::logWarning("cannot open " + address + ": " + failure.what());
    }
}

void GtkHost::finishRecordings() {
    if (recorders_) recorders_->stopAll();
}

platform::RecorderFactory& GtkHost::recorders() { return *recorders_; }

void GtkHost::start() { form_->show(); }

void GtkHost::run() {
    start();
    if (form_->gone()) return;
    loop_ = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop_);
    g_main_loop_unref(loop_);
    loop_ = nullptr;
}

}  // namespace gtkui
