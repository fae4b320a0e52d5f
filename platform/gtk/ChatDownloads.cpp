#include "platform/gtk/ChatDownloads.h"

#include <gdk/gdkkeysyms.h>
#include <glib/gstdio.h>

#include <cstdio>

#include "platform/desktop/DownloadFolder.h"
#include "platform/desktop/DownloadNames.h"
#include "platform/gtk/ChatSitePermissions.h"
#include "platform/gtk/DownloadNotices.h"
#include "platform/gtk/PageAddresses.h"
#include "platform/gtk/StatusLine.h"
#include "support/Failure.h"
#include "support/Log.h"

namespace gtkui {

struct ChatDownloads::Transfer {
    ChatDownloads* owner;
    WebKitDownload* download;  // referenced
    std::string origin;        // where the file comes from, for the log
    std::string refused;       // why the download is refused ("" when it is not)
    std::string name, folder, part;
    std::uint64_t expected = 0;  // Content-Length (0: not known)
    bool encoded = false;        // sent compressed: the file's size differs from the length
    int shownPercent = -1;
    bool failed = false;
};

namespace {

std::string originOf(const std::string& uri) {
    WebKitSecurityOrigin* origin = webkit_security_origin_new_for_uri(uri.c_str());
    g_autofree gchar* text = origin ? webkit_security_origin_to_string(origin) : nullptr;
    if (origin) webkit_security_origin_unref(origin);
    return text ? text : shownAddress(uri);
}

std::string megabytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

// Whether a response would become a download rather than a page.
bool offersFile(WebKitResponsePolicyDecision* decision) {
    WebKitURIResponse* response = webkit_response_policy_decision_get_response(decision);
    SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response);
    g_autofree char* disposition = nullptr;
    if (headers && soup_message_headers_get_content_disposition(headers, &disposition, nullptr) &&
        g_ascii_strcasecmp(disposition, "attachment") == 0)
        return true;
    return !webkit_response_policy_decision_is_mime_type_supported(decision);
}

}  // namespace

std::string downloadProgressText(const std::string& name, std::uint64_t received,
                                 std::uint64_t expected) {
    std::string text = "Downloading " + name;
    if (expected >= DownloadProgressFrom && received <= expected)
        return text + ": " + std::to_string(received * 100 / expected) + "% of " +
               megabytes(expected);
    if (expected == 0 && received >= DownloadProgressFrom) return text + ": " + megabytes(received);
    return text;
}

ChatDownloads::ChatDownloads(WebKitWebContext* context, StatusLine& status,
                             DownloadNotices& notices)
    : context_(context), status_(status), notices_(notices) {
    g_signal_connect(context_, "download-started", G_CALLBACK(onStarted), this);
}

ChatDownloads::~ChatDownloads() {
    g_signal_handlers_disconnect_by_data(context_, this);
    if (chatView_) g_signal_handlers_disconnect_by_data(chatView_, this);
    // Downloads still running end with the window: their partial files go.
    for (auto& [download, transfer] : transfers_) {
        g_signal_handlers_disconnect_by_data(download, transfer.get());
        if (!transfer->refused.empty()) continue;
        webkit_download_cancel(download);
        if (!transfer->part.empty()) g_unlink(transfer->part.c_str());
        support::logWarning("the download of " + transfer->name +
                            " was cancelled: the window closed before it was complete");
    }
    for (auto& [download, transfer] : transfers_) g_object_unref(download);
}

void ChatDownloads::watchChatView(WebKitWebView* view, std::string chatSite) {
    chatView_ = view;
    chatSite_ = std::move(chatSite);
    names_[view] = "the chat view";
    // Real input only: a page's scripts cannot make GDK events.
    g_signal_connect(view, "button-press-event", G_CALLBACK(onInput), this);
    g_signal_connect(view, "key-press-event", G_CALLBACK(onInput), this);
    g_signal_connect(view, "decide-policy", G_CALLBACK(onDecidePolicy), this);
}

gboolean ChatDownloads::onInput(GtkWidget*, GdkEvent* event, gpointer data) {
    auto* self = static_cast<ChatDownloads*>(data);
    if (event->type == GDK_BUTTON_PRESS && event->button.button == GDK_BUTTON_PRIMARY)
        self->lastGesture_ = g_get_monotonic_time();
    if (event->type == GDK_KEY_PRESS &&
        (event->key.keyval == GDK_KEY_Return || event->key.keyval == GDK_KEY_KP_Enter))
        self->lastGesture_ = g_get_monotonic_time();
    return FALSE;
}

// A frame's file never downloads: the person clicks in the chat page itself.
// Other answers go on to the engine's own decision.
gboolean ChatDownloads::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                       WebKitPolicyDecisionType type, gpointer) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
    auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    if (webkit_response_policy_decision_is_main_frame_main_resource(response) ||
        !offersFile(response))
        return FALSE;
    WebKitURIResponse* reply = webkit_response_policy_decision_get_response(response);
    const gchar* uri = webkit_uri_response_get_uri(reply);
    const gchar* name = webkit_uri_response_get_suggested_filename(reply);
    support::logWarning("download refused: a frame of " + originOf(uri ? uri : "") +
                        " offered the file \"" + (name ? name : "") +
                        "\" (only the chat page's own links download)");
    webkit_policy_decision_ignore(decision);
    return TRUE;
}

std::string ChatDownloads::refusal(WebKitDownload* download) const {
    WebKitWebView* view = webkit_download_get_web_view(download);
    if (!view || view != chatView_) {
        auto named = names_.find(view);
        return named == names_.end() ? "it did not come from the chat view"
                                     : "it came from " + named->second;
    }
    const gchar* page = webkit_web_view_get_uri(view);
    if (!sameSite(page ? page : "", chatSite_)) return "the chat view shows another site";
    const gchar* uri = webkit_uri_request_get_uri(webkit_download_get_request(download));
    if (!sameSite(uri ? uri : "", chatSite_)) return "the file is on another site";
    if (lastGesture_ == 0 || g_get_monotonic_time() - lastGesture_ > DownloadGestureMicroseconds)
        return "no click in the chat view asked for it";
    return {};
}

void ChatDownloads::onStarted(WebKitWebContext*, WebKitDownload* download, gpointer data) {
    auto* self = static_cast<ChatDownloads*>(data);
    auto transfer = std::make_unique<Transfer>();
    transfer->owner = self;
    transfer->download = WEBKIT_DOWNLOAD(g_object_ref(download));
    const gchar* uri = webkit_uri_request_get_uri(webkit_download_get_request(download));
    transfer->origin = originOf(uri ? uri : "");
    transfer->refused = self->refusal(download);
    Transfer* kept = transfer.get();
    self->transfers_[download] = std::move(transfer);
    g_signal_connect(download, "decide-destination", G_CALLBACK(onDecideDestination), kept);
    g_signal_connect(download, "received-data", G_CALLBACK(onReceived), kept);
    g_signal_connect(download, "failed", G_CALLBACK(onFailed), kept);
    g_signal_connect(download, "finished", G_CALLBACK(onFinished), kept);
}

gboolean ChatDownloads::onDecideDestination(WebKitDownload* download, gchar* suggested,
                                            gpointer data) {
    auto* transfer = static_cast<Transfer*>(data);
    ChatDownloads* self = transfer->owner;
    const std::string name = suggested ? suggested : "";
    if (!transfer->refused.empty()) {
        support::logWarning("download refused: \"" + name + "\" from " + transfer->origin + ": " +
                            transfer->refused);
        webkit_download_cancel(download);
        return TRUE;
    }
    if (!self->accept(*transfer, name)) webkit_download_cancel(download);
    return TRUE;
}

bool ChatDownloads::accept(Transfer& transfer, const std::string& suggested) {
    transfer.name = desktop::cleanDownloadName(suggested);
    std::string why;
    const bool placed = support::attempt(
        [&] {
            transfer.folder = desktop::downloadFolder();
            WebKitURIResponse* response = webkit_download_get_response(transfer.download);
            transfer.expected = response ? webkit_uri_response_get_content_length(response) : 0;
            SoupMessageHeaders* headers =
                response ? webkit_uri_response_get_http_headers(response) : nullptr;
            const char* encoding =
                headers ? soup_message_headers_get_one(headers, "Content-Encoding") : nullptr;
            transfer.encoded = encoding && g_ascii_strcasecmp(encoding, "identity") != 0;
            const auto free = desktop::freeBytes(transfer.folder);
            if (free && transfer.expected > *free)
                throw support::Failure("it needs " + megabytes(transfer.expected) + " and " +
                                       transfer.folder + " has " + megabytes(*free) + " free");
            transfer.part = desktop::makePartFile(transfer.folder, transfer.name);
        },
        why);
    if (!placed) {
        fail(transfer, why);
        return false;
    }
    g_autofree gchar* destination = g_filename_to_uri(transfer.part.c_str(), nullptr, nullptr);
    webkit_download_set_allow_overwrite(transfer.download, TRUE);  // the part file made for it
    webkit_download_set_destination(transfer.download, destination);
    support::logInfo("downloading \"" + transfer.name + "\" from " + transfer.origin + " into " +
                     transfer.folder);
    status_.show(downloadProgressText(transfer.name, 0, transfer.expected));
    return true;
}

void ChatDownloads::onReceived(WebKitDownload* download, guint64, gpointer data) {
    auto* transfer = static_cast<Transfer*>(data);
    if (!transfer->refused.empty() || transfer->failed || transfer->part.empty()) return;
    const std::uint64_t received = webkit_download_get_received_data_length(download);
    const int percent =
        transfer->expected ? static_cast<int>(received * 100 / transfer->expected) : -1;
    if (percent == transfer->shownPercent && transfer->expected) return;
    transfer->shownPercent = percent;
    transfer->owner->status_.show(
        downloadProgressText(transfer->name, received, transfer->expected));
}

void ChatDownloads::onFailed(WebKitDownload*, GError* error, gpointer data) {
    auto* transfer = static_cast<Transfer*>(data);
    if (!transfer->refused.empty() || transfer->failed) return;
    const bool cancelled =
        g_error_matches(error, WEBKIT_DOWNLOAD_ERROR, WEBKIT_DOWNLOAD_ERROR_CANCELLED_BY_USER);
    transfer->owner->fail(*transfer, cancelled ? "the download was cancelled"
                                               : (error ? error->message : "unknown error"));
}

void ChatDownloads::fail(Transfer& transfer, const std::string& why) {
    transfer.failed = true;
    if (!transfer.part.empty() && g_unlink(transfer.part.c_str()) == 0)
        support::logInfo("the partial file " + transfer.part + " was removed");
    const std::string title = "Not saved: " + transfer.name;
    status_.showBriefly(title);
    notices_.failed(title, why);
}

void ChatDownloads::onFinished(WebKitDownload*, gpointer data) {
    auto* transfer = static_cast<Transfer*>(data);
    ChatDownloads* self = transfer->owner;
    if (transfer->refused.empty() && !transfer->failed) self->finish(*transfer);
    self->forget(*transfer);
}

void ChatDownloads::finish(Transfer& transfer) {
    // A connection closed early can end a download as if it were complete:
    // the file must have the length the server announced.
    GStatBuf written;
    if (g_stat(transfer.part.c_str(), &written) != 0)
        return fail(transfer, "the file being written has gone");
    const auto size = static_cast<std::uint64_t>(written.st_size);
    if (transfer.expected && !transfer.encoded && size != transfer.expected)
        return fail(transfer, "the connection ended after " + std::to_string(size) + " of " +
                                  std::to_string(transfer.expected) + " bytes");
    std::string why, saved;
    if (!support::attempt(
            [&] { saved = desktop::moveIntoPlace(transfer.part, transfer.folder, transfer.name); },
            why))
        return fail(transfer, why);
    g_autofree gchar* name = g_path_get_basename(saved.c_str());
    const std::string title = std::string("Saved ") + name;
    support::logInfo("download complete: " + saved);
    status_.showBriefly(title);
    notices_.saved(title, transfer.folder);
}

void ChatDownloads::forget(Transfer& transfer) {
    WebKitDownload* download = transfer.download;
    g_signal_handlers_disconnect_by_data(download, &transfer);
    transfers_.erase(download);  // transfer is gone from here on
    g_object_unref(download);
}

}  // namespace gtkui
