#pragma once
// The chat site's notifications as desktop notifications: the site's title
// and body with the program's icon, sent through the running GApplication.
// Activating one brings the window to the front and tells the page that its
// notification was clicked.
//
// A page is untrusted: only the chat view's pages on the chat site notify,
// title and body reach the desktop as plain text of bounded length, and a
// burst of notifications becomes one notification that the latest replaces.

#include <webkit2/webkit2.h>

#include <deque>
#include <map>
#include <string>

namespace gtkui {

inline constexpr std::size_t LongestNotificationTitle = 250;
inline constexpr std::size_t LongestNotificationBody = 1000;

// Page text fit for a notification: valid UTF-8 without control characters
// (line feeds kept where lineBreaks), cut to longest characters, and with
// markup escaped where escapeMarkup (the body, which notification services
// read as markup).
std::string notificationText(const char* text, std::size_t longest, bool lineBreaks,
                             bool escapeMarkup);

// How many notifications go to the desktop: up to PerSecond in any second.
class NotificationPace {
public:
    static constexpr int PerSecond = 3;
    // Whether one may go now (microseconds, monotonic); if so it is counted.
    bool take(gint64 now);
    // Microseconds from now until take() answers true.
    gint64 wait(gint64 now) const;

private:
    std::deque<gint64> sent_;
};

class ChatNotifications {
public:
    // window: presented on activation; icon: a file of the program's icon (may
    // be missing); chatSite: the chat site's address, the only site shown.
    ChatNotifications(GtkWindow* window, std::string icon, std::string chatSite);
    ~ChatNotifications();
    ChatNotifications(const ChatNotifications&) = delete;
    ChatNotifications& operator=(const ChatNotifications&) = delete;

    // Shows the chat view's notifications from now on.
    void watch(WebKitWebView* view);
    // Refuses every notification of another view; name says which in the log.
    static void refuseAll(WebKitWebView* view, const char* name);

private:
    static gboolean onShow(WebKitWebView*, WebKitNotification*, gpointer self);
    static void onClosed(WebKitNotification*, gpointer self);
    static void onActivate(GSimpleAction*, GVariant* parameter, gpointer self);
    void show(WebKitNotification* notification);
    void send(WebKitNotification* notification, const std::string& id);
    void hold(WebKitNotification* notification);
    bool ensureAction(GApplication* application);

    GtkWindow* window_;
    std::string icon_;
    std::string chatSite_;
    GApplication* application_ = nullptr;  // where the action was added
    GSimpleAction* action_ = nullptr;
    // Shown notifications by their desktop id, until the page closes them.
    std::map<std::string, WebKitNotification*> shown_;
    NotificationPace pace_;
    // The latest notification of a burst, sent when the pace allows.
    WebKitNotification* held_ = nullptr;
    guint heldTimer_ = 0;
    bool inBurst_ = false;
    unsigned refused_ = 0;
    bool toldNoApplication_ = false;
};

}  // namespace gtkui
