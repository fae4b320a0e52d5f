#pragma once
// The chat site's notifications as desktop notifications: the site's title
// and body with the program's icon, sent through the running GApplication.
// Activating one brings the window to the front and tells the page that its
// notification was clicked.

#include <webkit2/webkit2.h>

#include <map>
#include <string>

namespace gtkui {

class ChatNotifications {
public:
    // window: presented on activation; icon: a file of the program's icon (may be missing).
    ChatNotifications(GtkWindow* window, std::string icon);
    ~ChatNotifications();
    ChatNotifications(const ChatNotifications&) = delete;
    ChatNotifications& operator=(const ChatNotifications&) = delete;

    // Shows the chat view's notifications from now on.
    void watch(WebKitWebView* view);

private:
    static gboolean onShow(WebKitWebView*, WebKitNotification*, gpointer self);
    static void onClosed(WebKitNotification*, gpointer self);
    static void onActivate(GSimpleAction*, GVariant* parameter, gpointer self);
    void show(WebKitNotification* notification);
    bool ensureAction(GApplication* application);

    GtkWindow* window_;
    std::string icon_;
    GApplication* application_ = nullptr;  // where the action was added
    GSimpleAction* action_ = nullptr;
    // Shown notifications by their desktop id, until the page closes them.
    std::map<std::string, WebKitNotification*> shown_;
    bool toldNoApplication_ = false;
};

}  // namespace gtkui
