#include "platform/gtk/GtkBrowserView.h"

#include <glib.h>

#include "support/Log.h"
#include "platform/gtk/BridgeScript.h"
#include "platform/gtk/PageAddresses.h"

namespace gtkui {
namespace {

std::string toAddress(const std::string& address) {
    if (!address.empty() && address[0] == '/') {
        g_autofree gchar* uri = g_filename_to_uri(address.c_str(), nullptr, nullptr);
        if (uri) return uri;
    }
    return address;
}

// Keeps a policy decision until the queued handler has answered it.
using DecisionRef = std::shared_ptr<WebKitPolicyDecision>;
DecisionRef keep(WebKitPolicyDecision* decision) {
    return DecisionRef(WEBKIT_POLICY_DECISION(g_object_ref(decision)),
                       [](WebKitPolicyDecision* d) { g_object_unref(d); });
}

std::string messageText(WebKitJavascriptResult* result) {
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!value || !jsc_value_is_string(value)) return {};
    g_autofree gchar* text = jsc_value_to_string(value);
    return text ? text : "";
}

}  // namespace

std::string actionUri(WebKitNavigationAction* action) {
    const gchar* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    return uri ? uri : "";
}

GtkBrowserView::GtkBrowserView(WebKitWebContext* context, GtkBrowserView* related,
                               std::shared_ptr<EventQueue> queue,
                               std::shared_ptr<PageHealth> health, ViewPlacement& placement)
    : queue_(std::move(queue)), placement_(placement) {
    bridge_ = std::make_shared<PageBridge>(nullptr, queue_, std::move(health));
    reportDocumentReplaced();
    createView(context, related);
}

GtkBrowserView::GtkBrowserView(std::shared_ptr<EventQueue> queue,
                               std::shared_ptr<PageHealth> health, ViewPlacement& placement,
                               std::function<void()> onDemand)
    : onDemand_(std::move(onDemand)), queue_(std::move(queue)), placement_(placement) {
    bridge_ = std::make_shared<PageBridge>(nullptr, queue_, std::move(health));
    reportDocumentReplaced();
}

void GtkBrowserView::createView(WebKitWebContext* context, GtkBrowserView* related,
                                const ViewAbilities& abilities) {
    if (view_ || !liveness_.alive()) return;
    onDemand_ = nullptr;
    content_ = webkit_user_content_manager_new();
    webkit_user_content_manager_register_script_message_handler_in_world(content_, EventChannel,
                                                                         ScriptWorld);
    webkit_user_content_manager_register_script_message_handler_in_world(content_, FrameChannel,
                                                                         ScriptWorld);
    g_autoptr(WebKitUserScript) frames = webkit_user_script_new_for_world(
        FrameScript.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END, ScriptWorld, nullptr, nullptr);
    webkit_user_content_manager_add_script(content_, frames);
    g_signal_connect(content_, messageSignal(EventChannel).c_str(), G_CALLBACK(onEventMessage),
                     this);
    g_signal_connect(content_, messageSignal(FrameChannel).c_str(), G_CALLBACK(onFrameMessage),
                     this);

    // Each view has settings of its own: a related view would otherwise share
    // the first view's.
    g_autoptr(WebKitSettings) settings = webkit_settings_new();
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    if (abilities.mediaStreams) {
        webkit_settings_set_enable_media_stream(settings, TRUE);
        // Engines built without WebRTC ignore it; one built with it gives the page
        // RTCPeerConnection.
        webkit_settings_set_enable_webrtc(settings, TRUE);
    }
    if (abilities.mockCaptureDevices)
        webkit_settings_set_enable_mock_capture_devices(settings, TRUE);
    // Website policies are fixed when the view is made.
    g_autoptr(WebKitWebsitePolicies) policies = webkit_website_policies_new_with_policies(
        "autoplay",
        abilities.autoplayWithSound ? WEBKIT_AUTOPLAY_ALLOW : WEBKIT_AUTOPLAY_ALLOW_WITHOUT_SOUND,
        nullptr);
    if (related) {
        view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related->view_,
                                             "user-content-manager", content_, "settings", settings,
                                             "website-policies", policies, nullptr));
    } else {
        view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                             "user-content-manager", content_, "settings", settings,
                                             "website-policies", policies, nullptr));
    }
    g_object_ref_sink(view_);
    if (abilities.muted) webkit_web_view_set_is_muted(view_, TRUE);
    bridge_->attach(view_);

    g_signal_connect(view_, "decide-policy", G_CALLBACK(onDecidePolicy), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
    g_signal_connect(view_, "load-failed", G_CALLBACK(onLoadFailed), this);
    g_signal_connect(view_, "create", G_CALLBACK(onCreate), this);
    g_signal_connect(view_, "script-dialog", G_CALLBACK(onScriptDialog), this);
    g_signal_connect(view_, "permission-request", G_CALLBACK(onPermissionRequest), this);
    g_signal_connect(view_, "run-file-chooser", G_CALLBACK(onFileChooser), this);
    g_signal_connect(view_, "authenticate", G_CALLBACK(onAuthenticate), this);
    g_signal_connect(view_, "web-process-terminated", G_CALLBACK(onProcessTerminated), this);
}

GtkBrowserView::~GtkBrowserView() {
    detach();
    if (view_) g_object_unref(view_);
    if (content_) g_object_unref(content_);
}

void GtkBrowserView::detach() {
    liveness_.end();
    events_ = {};
    opener_ = nullptr;
    onDemand_ = nullptr;
    if (view_) g_signal_handlers_disconnect_by_data(view_, this);
    if (content_) g_signal_handlers_disconnect_by_data(content_, this);
    bridge_->detach();
}

void GtkBrowserView::reportDocumentReplaced() {
    bridge_->setOnDocumentReplaced([this] {
        post([this] {
            if (auto handler = events_.DocumentReplaced) handler();
        });
    });
}

void GtkBrowserView::post(EventQueue::Event event) {
    queue_->post([alive = liveness_.watch(), event = std::move(event)] {
        if (alive.alive()) event();
    });
}

void GtkBrowserView::Navigate2(const std::string& address) {
    if (!liveness_.alive()) throw support::Failure("the view is gone");
    // A view made at its first use is blank until then: a blank page asked
    // for before does not make it (that would pause the start), and its
    // events come as the blank page's load would raise them.
    if (!view_ && onDemand_ && toAddress(address) == "about:blank") {
        post([this] {
            bool cancel = false;
            if (auto handler = events_.BeforeNavigate2)
                handler(topLevelBrowser(), "about:blank", cancel);
        });
        post([this] {
            if (auto handler = events_.DocumentComplete) handler(topLevelBrowser(), "about:blank");
        });
        return;
    }
    ensureCreated();
    if (!view_) throw support::Failure("the view is gone");
    webkit_web_view_load_uri(view_, toAddress(address).c_str());
}

platform::DocumentRef GtkBrowserView::Document() {
    if (!liveness_.alive()) return {};
    return bridge_->document();
}

platform::BrowserObject GtkBrowserView::topLevelBrowser() {
    return {reinterpret_cast<std::uintptr_t>(this)};
}

platform::BrowserObject GtkBrowserView::frameBrowser() {
    return {reinterpret_cast<std::uintptr_t>(this) + 1};
}

void GtkBrowserView::Move(int left, int top, int width, int height) {
    const GdkRectangle where{left, top, width, height};
    // A view not made yet takes its place when it is made.
    if (!view_) {
        pendingPlace_ = where;
        return;
    }
    placement_.place(widget(), where);
}

void GtkBrowserView::placePending() {
    if (!pendingPlace_ || !view_) return;
    const GdkRectangle where = *pendingPlace_;
    pendingPlace_.reset();
    placement_.place(widget(), where);
}

void GtkBrowserView::ZOrder(int position) {
    if (position != 0) return;
    ensureCreated();
    if (view_) placement_.bringToFront(widget());
}

gboolean GtkBrowserView::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                        WebKitPolicyDecisionType type, gpointer data) {
    auto* self = static_cast<GtkBrowserView*>(data);
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
        // A link into a new window (target="_blank" and the like): the opener
        // takes its address and the view opens nothing itself.
        self->openNewWindow(actionUri(webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision))));
        webkit_policy_decision_ignore(decision);
        return TRUE;
    }
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        const gchar* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        if (!self->sitePagesOnly_.empty() && uri && isClientOrLocalPage(uri)) {
            support::logWarning(self->sitePagesOnly_ + " was asked to show " + shownAddress(uri) +
                                ", a page of the client or a local file; it stays where it is");
            webkit_policy_decision_ignore(decision);
            return TRUE;
        }
        // A mail link that opens in the page ("Contact us") goes to the
        // desktop's mail program when the person clicked it; the page stays.
        if (!self->sitePagesOnly_.empty() && uri && isMailAddress(uri)) {
            webkit_policy_decision_ignore(decision);
            if (webkit_navigation_action_is_user_gesture(action))
                self->openNewWindow(uri);
            else
                support::logWarning("a page went to " + shownAddress(uri) +
                                    " without a click; no mail program was opened");
            return TRUE;
        }
        self->beforeNavigate(decision, uri ? uri : "");
        return TRUE;
    }
    auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    if (!webkit_response_policy_decision_is_main_frame_main_resource(response)) return FALSE;
    WebKitURIResponse* reply = webkit_response_policy_decision_get_response(response);
    guint status = webkit_uri_response_get_status_code(reply);
    if (status < 400) return FALSE;
    const gchar* uri = webkit_uri_response_get_uri(reply);
    self->responseError(decision, uri ? uri : "", static_cast<int>(status));
    return TRUE;
}

void GtkBrowserView::beforeNavigate(WebKitPolicyDecision* decision, const std::string& uri) {
    DecisionRef held = keep(decision);
    // A navigation whose handler never runs (the window went) is ignored.
    queue_->post([this, alive = liveness_.watch(), held, uri] {
        if (!alive.alive() || !events_.BeforeNavigate2) {
            webkit_policy_decision_use(held.get());
            return;
        }
        bool cancel = false;
        auto handler = events_.BeforeNavigate2;
        handler(topLevelBrowser(), uri, cancel);
        if (cancel)
            webkit_policy_decision_ignore(held.get());
        else
            webkit_policy_decision_use(held.get());
    });
}

void GtkBrowserView::responseError(WebKitPolicyDecision* decision, const std::string& uri,
                                   int status) {
    DecisionRef held = keep(decision);
    queue_->post([this, alive = liveness_.watch(), held, uri, status] {
        bool cancel = false;
        if (alive.alive() && events_.NavigateError) {
            auto handler = events_.NavigateError;
            handler(topLevelBrowser(), uri, status, cancel);
        }
        if (cancel) {
            loadFailed_ = true;
            webkit_policy_decision_ignore(held.get());
        } else {
            webkit_policy_decision_use(held.get());
        }
    });
}

void GtkBrowserView::onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<GtkBrowserView*>(data);
    switch (event) {
        case WEBKIT_LOAD_STARTED:
            ++self->load_;
            self->loadFailed_ = false;
            break;
        case WEBKIT_LOAD_COMMITTED:
            self->bridge_->pageCommitted();
            break;
        case WEBKIT_LOAD_FINISHED: {
            if (self->loadFailed_) break;
            const gchar* uri = webkit_web_view_get_uri(view);
            std::string address = uri ? uri : "";
            self->post([self, address] {
                if (auto handler = self->events_.DocumentComplete)
                    handler(self->topLevelBrowser(), address);
            });
            break;
        }
        default:
            break;
    }
}

gboolean GtkBrowserView::onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                                      gpointer data) {
    auto* self = static_cast<GtkBrowserView*>(data);
    self->loadFailed_ = true;
    // A stopped or refused navigation is no error of the page.
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR,
                        WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
        return TRUE;
    const int status = static_cast<int>(navigationFailureOf(error));
    self->navigateError(uri ? uri : "", status, self->load_);
    // The view's own error page appears only when the handler lets it.
    return TRUE;
}

platform::NavigationFailure navigationFailureOf(const GError* error) {
    using platform::NavigationFailure;
    if (!error) return NavigationFailure::Other;
    if (error->domain == G_RESOLVER_ERROR) return NavigationFailure::CannotResolve;
    if (error->domain == G_TLS_ERROR) return NavigationFailure::CannotConnect;
    if (error->domain == G_IO_ERROR) {
        switch (error->code) {
            case G_IO_ERROR_HOST_NOT_FOUND:
                return NavigationFailure::CannotResolve;
            case G_IO_ERROR_TIMED_OUT:
                return NavigationFailure::TimedOut;
            case G_IO_ERROR_CANCELLED:
                return NavigationFailure::Cancelled;
            case G_IO_ERROR_CONNECTION_REFUSED:
            case G_IO_ERROR_HOST_UNREACHABLE:
            case G_IO_ERROR_NETWORK_UNREACHABLE:
            case G_IO_ERROR_CONNECTION_CLOSED:  // also a broken pipe
            case G_IO_ERROR_NOT_CONNECTED:
            case G_IO_ERROR_PROXY_FAILED:
                return NavigationFailure::CannotConnect;
            default:
                return NavigationFailure::Other;
        }
    }
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_TRANSPORT))
        return NavigationFailure::CannotConnect;
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED))
        return NavigationFailure::Cancelled;
    return NavigationFailure::Other;
}

void GtkBrowserView::navigateError(const std::string& uri, int status, unsigned load) {
    post([this, uri, status, load] {
        bool cancel = false;
        if (auto handler = events_.NavigateError) handler(topLevelBrowser(), uri, status, cancel);
        if (cancel || load != load_) return;
        std::string page =
            "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Navigation failed</title>"
            "</head><body><h1>This page cannot be displayed</h1></body></html>";
        webkit_web_view_load_alternate_html(view_, page.c_str(), uri.c_str(), nullptr);
    });
}

void GtkBrowserView::onProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                         gpointer data) {
    auto* self = static_cast<GtkBrowserView*>(data);
    if (self->endingProcess_) {
        self->bridge_->pageCommitted();
        return;
    }
    support::logWarning(std::string("the web process of a view ended: ") +
                        (reason == WEBKIT_WEB_PROCESS_CRASHED                 ? "crashed"
                         : reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT ? "out of memory"
                                                                              : "terminated"));
    // Its handles are gone with it.
    self->bridge_->pageCommitted();
    self->post([self] {
        if (auto handler = self->events_.ProcessTerminated) handler();
    });
}

void GtkBrowserView::onEventMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                                    gpointer data) {
    static_cast<GtkBrowserView*>(data)->bridge_->onEventMessage(messageText(result));
}

void GtkBrowserView::onFrameMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                                    gpointer data) {
    auto* self = static_cast<GtkBrowserView*>(data);
    std::string address = messageText(result);
    self->post([self, address] {
        if (auto handler = self->events_.DocumentComplete) handler(self->frameBrowser(), address);
    });
}

}  // namespace gtkui
