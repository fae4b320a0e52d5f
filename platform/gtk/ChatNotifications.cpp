#include "platform/gtk/ChatNotifications.h"

#include <gtk/gtk.h>

#include <algorithm>

#include "platform/gtk/ChatSitePermissions.h"
#include "platform/gtk/PageAddresses.h"
#include "support/Log.h"

namespace gtkui {
namespace {

constexpr const char* ActionName = "show-chat-notification";
// The desktop id of a burst's notification: each of a burst replaces the last.
constexpr const char* BurstId = "chat-burst";
constexpr gint64 Second = G_USEC_PER_SEC;

std::string desktopId(WebKitNotification* notification) {
    return "chat-" + std::to_string(webkit_notification_get_id(notification));
}

// Refusals are logged the 1st, 2nd, 4th, 8th... time: a page that asks in a
// loop does not flood the log.
bool worthLogging(unsigned count) { return (count & (count - 1)) == 0; }

void logRefusal(unsigned count, WebKitWebView* view, const char* where) {
    if (!worthLogging(count)) return;
    const gchar* page = webkit_web_view_get_uri(view);
    support::logWarning("notification of " + shownAddress(page ? page : "a blank page") + " in " +
                        where + " refused (" + std::to_string(count) +
                        " so far): only the chat view's chat site shows notifications");
}

}  // namespace

std::string notificationText(const char* text, std::size_t longest, bool lineBreaks,
                             bool escapeMarkup) {
    g_autofree gchar* valid = g_utf8_make_valid(text ? text : "", -1);
    std::string plain;
    std::size_t characters = 0;
    for (const gchar* p = valid; *p && characters < longest; p = g_utf8_next_char(p)) {
        const gunichar c = g_utf8_get_char(p);
        if (g_unichar_iscntrl(c) && !(lineBreaks && c == '\n')) continue;
        if (characters + 1 == longest && *g_utf8_next_char(p)) {
            plain += "…";  // the last character says that the text goes on
        } else {
            plain.append(p, g_utf8_next_char(p) - p);
        }
        ++characters;
    }
    if (!escapeMarkup) return plain;
    g_autofree gchar* escaped = g_markup_escape_text(plain.c_str(), -1);
    return escaped;
}

bool NotificationPace::take(gint64 now) {
    while (!sent_.empty() && sent_.front() <= now - Second) sent_.pop_front();
    if (sent_.size() >= PerSecond) return false;
    sent_.push_back(now);
    return true;
}

gint64 NotificationPace::wait(gint64 now) const {
    if (sent_.size() < PerSecond) return 0;
    return std::max<gint64>(0, sent_.front() + Second - now);
}

ChatNotifications::ChatNotifications(GtkWindow* window, std::string icon, std::string chatSite)
    : window_(window), icon_(std::move(icon)), chatSite_(std::move(chatSite)) {}

ChatNotifications::~ChatNotifications() {
    if (heldTimer_) g_source_remove(heldTimer_);
    if (held_) {
        g_signal_handlers_disconnect_by_data(held_, this);
        g_object_unref(held_);
    }
    for (auto& [id, notification] : shown_) {
        g_signal_handlers_disconnect_by_data(notification, this);
        if (application_) g_application_withdraw_notification(application_, id.c_str());
        g_object_unref(notification);
    }
    if (action_) {
        if (application_) g_action_map_remove_action(G_ACTION_MAP(application_), ActionName);
        g_signal_handlers_disconnect_by_data(action_, this);
        g_object_unref(action_);
    }
}

void ChatNotifications::watch(WebKitWebView* view) {
    g_signal_connect(view, "show-notification", G_CALLBACK(onShow), this);
}

void ChatNotifications::refuseAll(WebKitWebView* view, const char* name) {
    g_signal_connect(view, "show-notification",
                     G_CALLBACK(+[](WebKitWebView* view, WebKitNotification*, gpointer name) {
                         const char* key = "whirligig-refused-notifications";
                         const auto count =
                             GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(view), key)) + 1;
                         g_object_set_data(G_OBJECT(view), key, GUINT_TO_POINTER(count));
                         logRefusal(count, view, static_cast<const char*>(name));
                         return TRUE;
                     }),
                     const_cast<char*>(name));
}

gboolean ChatNotifications::onShow(WebKitWebView* view, WebKitNotification* notification,
                                   gpointer data) {
    auto* self = static_cast<ChatNotifications*>(data);
    const gchar* page = webkit_web_view_get_uri(view);
    if (!sameSite(page ? page : "", self->chatSite_))
        logRefusal(++self->refused_, view, "the chat view");
    else
        self->show(notification);
    return TRUE;
}

bool ChatNotifications::ensureAction(GApplication* application) {
    if (action_) return application == application_;
    application_ = application;
    action_ = g_simple_action_new(ActionName, G_VARIANT_TYPE_STRING);
    g_signal_connect(action_, "activate", G_CALLBACK(onActivate), this);
    g_action_map_add_action(G_ACTION_MAP(application), G_ACTION(action_));
    return true;
}

void ChatNotifications::show(WebKitNotification* notification) {
    GApplication* application = g_application_get_default();
    const char* cannot = nullptr;
    if (!application || !g_application_get_is_registered(application) ||
        !ensureAction(application))
        cannot = "the program runs without a registered desktop application";
    else if (!g_application_get_dbus_connection(application))
        cannot = "there is no session bus to send them on";
    if (cannot) {
        if (!toldNoApplication_)
            support::logWarning(std::string("the chat site's notifications cannot be shown: ") +
                                cannot);
        toldNoApplication_ = true;
        return;
    }
    if (!held_ && pace_.take(g_get_monotonic_time())) {
        inBurst_ = false;
        send(notification, desktopId(notification));
    } else {
        hold(notification);
    }
}

void ChatNotifications::hold(WebKitNotification* notification) {
    if (!inBurst_)
        support::logWarning("the chat site sends more than " +
                            std::to_string(NotificationPace::PerSecond) +
                            " notifications a second: each of this burst replaces the last");
    inBurst_ = true;
    if (held_) {
        g_signal_handlers_disconnect_by_data(held_, this);
        g_object_unref(held_);
    }
    held_ = WEBKIT_NOTIFICATION(g_object_ref(notification));
    g_signal_connect(held_, "closed", G_CALLBACK(onClosed), this);
    if (heldTimer_) return;
    const auto wait = pace_.wait(g_get_monotonic_time());
    heldTimer_ = g_timeout_add(
        static_cast<guint>(wait / 1000 + 1),
        +[](gpointer data) -> gboolean {
            auto* self = static_cast<ChatNotifications*>(data);
            self->heldTimer_ = 0;
            if (!self->held_) return G_SOURCE_REMOVE;
            WebKitNotification* latest = self->held_;
            self->held_ = nullptr;
            g_signal_handlers_disconnect_by_data(latest, self);
            if (self->pace_.take(g_get_monotonic_time()))
                self->send(latest, BurstId);
            else
                self->hold(latest);
            g_object_unref(latest);
            return G_SOURCE_REMOVE;
        },
        this);
}

void ChatNotifications::send(WebKitNotification* notification, const std::string& id) {
    const std::string title = notificationText(webkit_notification_get_title(notification),
                                               LongestNotificationTitle, false, false);
    const std::string body = notificationText(webkit_notification_get_body(notification),
                                              LongestNotificationBody, true, true);
    g_autoptr(GNotification) shown =
        g_notification_new(title.empty() ? "Whirligigcam" : title.c_str());
    if (!body.empty()) g_notification_set_body(shown, body.c_str());
    if (g_file_test(icon_.c_str(), G_FILE_TEST_IS_REGULAR)) {
        g_autoptr(GFile) file = g_file_new_for_path(icon_.c_str());
        g_autoptr(GIcon) icon = g_file_icon_new(file);
        g_notification_set_icon(shown, icon);
    }
    g_notification_set_default_action_and_target(shown, (std::string("app.") + ActionName).c_str(),
                                                 "s", id.c_str());
    g_application_send_notification(application_, id.c_str(), shown);
    support::logInfo("notification of the chat site shown: " +
                     notificationText(title.c_str(), 80, false, false));
    if (auto found = shown_.find(id); found != shown_.end()) {
        if (found->second == notification) return;
        g_signal_handlers_disconnect_by_data(found->second, this);
        g_object_unref(found->second);
    }
    shown_[id] = WEBKIT_NOTIFICATION(g_object_ref(notification));
    g_signal_connect(notification, "closed", G_CALLBACK(onClosed), this);
}

void ChatNotifications::onClosed(WebKitNotification* notification, gpointer data) {
    auto* self = static_cast<ChatNotifications*>(data);
    g_signal_handlers_disconnect_by_data(notification, self);
    if (notification == self->held_) {
        g_clear_object(&self->held_);
        return;
    }
    for (auto found = self->shown_.begin(); found != self->shown_.end(); ++found) {
        if (found->second != notification) continue;
        if (self->application_)
            g_application_withdraw_notification(self->application_, found->first.c_str());
        g_object_unref(found->second);
        self->shown_.erase(found);
        return;
    }
}

void ChatNotifications::onActivate(GSimpleAction*, GVariant* parameter, gpointer data) {
    auto* self = static_cast<ChatNotifications*>(data);
    gtk_window_present(self->window_);
    const std::string id = g_variant_get_string(parameter, nullptr);
    if (auto found = self->shown_.find(id); found != self->shown_.end())
        webkit_notification_clicked(found->second);
}

}  // namespace gtkui
