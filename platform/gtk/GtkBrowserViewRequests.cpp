// What a page asks of its view beyond navigating: new windows, script
// dialogs, permissions, file choosers and logins. Pages are untrusted: each
// request is checked or answered by the client, never passed on as it came.

#include "platform/gtk/GtkBrowserView.h"
#include "platform/gtk/PageAddresses.h"
#include "support/Log.h"

namespace gtkui {

GtkWidget* GtkBrowserView::onCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
    // window.open of a page script: the opener takes the address and no view
    // is created, so the script gets null as from a blocked pop-up.
    static_cast<GtkBrowserView*>(data)->openNewWindow(actionUri(action));
    return nullptr;
}

void GtkBrowserView::openNewWindow(const std::string& uri) {
    // An empty window (a script that means to write into it) has nothing to show elsewhere.
    if (uri.empty() || uri == "about:blank") {
        support::logWarning("a page asked for a new window without an address; none was opened");
        return;
    }
    // Only web and mail addresses leave for the desktop: the page's request
    // ends as a blocked pop-up.
    if (!mayOpenElsewhere(uri)) {
        support::logWarning("a page asked for a new window at " + shownAddress(uri) +
                            "; only http, https and mailto addresses of up to " +
                            std::to_string(LongestOpenableAddress) +
                            " characters are opened elsewhere, so none was opened");
        return;
    }
    post([this, uri] {
        if (!opener_) {
            support::logWarning("a page asked for a new window at " + shownAddress(uri) +
                                "; this view opens none");
            return;
        }
        auto opener = opener_;
        opener(uri);
    });
}

gboolean GtkBrowserView::onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
    if (!static_cast<GtkBrowserView*>(data)->silent_) return FALSE;
    // No dialog is shown: alert is dismissed, confirm and prompt are declined,
    // and leaving the page goes ahead, as every navigation does.
    if (webkit_script_dialog_get_dialog_type(dialog) == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM)
        webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
    return TRUE;
}

gboolean GtkBrowserView::onPermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request,
                                             gpointer data) {
    auto* self = static_cast<GtkBrowserView*>(data);
    if (self->permissions_) {
        const gchar* page = webkit_web_view_get_uri(view);
        if (self->permissions_(request, page ? page : ""))
            webkit_permission_request_allow(request);
        else
            webkit_permission_request_deny(request);
        return TRUE;
    }
    if (!self->silent_) return FALSE;
    webkit_permission_request_deny(request);
    return TRUE;
}

gboolean GtkBrowserView::onFileChooser(WebKitWebView*, WebKitFileChooserRequest* request,
                                       gpointer data) {
    if (!static_cast<GtkBrowserView*>(data)->silent_) return FALSE;
    webkit_file_chooser_request_cancel(request);
    return TRUE;
}

gboolean GtkBrowserView::onAuthenticate(WebKitWebView*, WebKitAuthenticationRequest* request,
                                        gpointer data) {
    if (!static_cast<GtkBrowserView*>(data)->silent_) return FALSE;
    webkit_authentication_request_cancel(request);
    return TRUE;
}

}  // namespace gtkui
