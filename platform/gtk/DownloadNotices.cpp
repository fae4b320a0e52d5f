#include "platform/gtk/DownloadNotices.h"

#include "support/Log.h"

namespace gtkui {
namespace {
constexpr const char* ActionName = "open-download-folder";
}  // namespace

DownloadNotices::DownloadNotices(std::function<void(const std::string&)> openFolder)
    : openFolder_(std::move(openFolder)) {}

DownloadNotices::~DownloadNotices() {
    if (!action_) return;
    if (application_) g_action_map_remove_action(G_ACTION_MAP(application_), ActionName);
    g_signal_handlers_disconnect_by_data(action_, this);
    g_object_unref(action_);
}

GApplication* DownloadNotices::application() {
    GApplication* running = g_application_get_default();
    if (!running || !g_application_get_is_registered(running)) return nullptr;
    if (!action_) {
        application_ = running;
        action_ = g_simple_action_new(ActionName, G_VARIANT_TYPE_STRING);
        g_signal_connect(action_, "activate", G_CALLBACK(onActivate), this);
        g_action_map_add_action(G_ACTION_MAP(running), G_ACTION(action_));
    }
    return running == application_ ? running : nullptr;
}

void DownloadNotices::saved(const std::string& title, const std::string& folder) {
    support::logInfo("download notice: " + title + " (in " + folder + ")");
    send(title, folder, folder);
}

void DownloadNotices::failed(const std::string& title, const std::string& why) {
    support::logWarning("download notice: " + title + ": " + why);
    send(title, why, {});
}

void DownloadNotices::send(const std::string& title, const std::string& body,
                           const std::string& folder) {
    GApplication* running = application();
    if (!running) {
        if (!toldNoApplication_)
            support::logWarning(
                "download notices go to the log only: the program runs without a registered "
                "desktop application");
        toldNoApplication_ = true;
        return;
    }
    g_autoptr(GNotification) notice = g_notification_new(title.c_str());
    g_autofree gchar* escaped = g_markup_escape_text(body.c_str(), -1);
    g_notification_set_body(notice, escaped);
    if (!folder.empty())
        g_notification_set_default_action_and_target(
            notice, (std::string("app.") + ActionName).c_str(), "s", folder.c_str());
    const std::string id = "download-" + std::to_string(++sent_);
    g_application_send_notification(running, id.c_str(), notice);
}

void DownloadNotices::onActivate(GSimpleAction*, GVariant* parameter, gpointer data) {
    auto* self = static_cast<DownloadNotices*>(data);
    const std::string folder = g_variant_get_string(parameter, nullptr);
    support::logInfo("opening the download folder " + folder);
    self->openFolder_(folder);
}

}  // namespace gtkui
