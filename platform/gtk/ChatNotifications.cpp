#include "platform/gtk/ChatNotifications.h"

#include <gtk/gtk.h>

#include "support/Log.h"

namespace gtkui {
namespace {

constexpr const char* ActionName = "show-chat-notification";

std::string desktopId(WebKitNotification* notification) {
    return "chat-" + std::to_string(webkit_notification_get_id(notification));
}

}  // namespace

ChatNotifications::ChatNotifications(GtkWindow* window, std::string icon)
    : window_(window), icon_(std::move(icon)) {}

ChatNotifications::~ChatNotifications() {
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

gboolean ChatNotifications::onShow(WebKitWebView*, WebKitNotification* notification,
                                   gpointer self) {
    static_cast<ChatNotifications*>(self)->show(notification);
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
    if (!application || !g_application_get_is_registered(application) ||
        !ensureAction(application)) {
        if (!toldNoApplication_)
            platform::logWarning(
                "the chat site's notifications cannot be shown: the program "
                "runs without a registered desktop application");
        toldNoApplication_ = true;
        return;
    }
    const std::string id = desktopId(notification);
    const gchar* title = webkit_notification_get_title(notification);
    const gchar* body = webkit_notification_get_body(notification);
    g_autoptr(GNotification) shown = g_notification_new(title && *title ? title : "Whirligigcam");
    if (body && *body) g_notification_set_body(shown, body);
    if (g_file_test(icon_.c_str(), G_FILE_TEST_IS_REGULAR)) {
        g_autoptr(GFile) file = g_file_new_for_path(icon_.c_str());
        g_autoptr(GIcon) icon = g_file_icon_new(file);
        g_notification_set_icon(shown, icon);
    }
    g_notification_set_default_action_and_target(shown, (std::string("app.") + ActionName).c_str(),
                                                 "s", id.c_str());
    g_application_send_notification(application, id.c_str(), shown);
    platform::logInfo("notification of the chat site shown: " + std::string(title ? title : ""));
    if (!shown_.count(id)) {
        shown_[id] = WEBKIT_NOTIFICATION(g_object_ref(notification));
        g_signal_connect(notification, "closed", G_CALLBACK(onClosed), this);
    }
}

void ChatNotifications::onClosed(WebKitNotification* notification, gpointer data) {
    auto* self = static_cast<ChatNotifications*>(data);
    const std::string id = desktopId(notification);
    auto found = self->shown_.find(id);
    if (found == self->shown_.end()) return;
    g_signal_handlers_disconnect_by_data(notification, self);
    if (self->application_) g_application_withdraw_notification(self->application_, id.c_str());
    g_object_unref(found->second);
    self->shown_.erase(found);
}

void ChatNotifications::onActivate(GSimpleAction*, GVariant* parameter, gpointer data) {
    auto* self = static_cast<ChatNotifications*>(data);
    gtk_window_present(self->window_);
    const std::string id = g_variant_get_string(parameter, nullptr);
    if (auto found = self->shown_.find(id); found != self->shown_.end())
        webkit_notification_clicked(found->second);
}

}  // namespace gtkui
