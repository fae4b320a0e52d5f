#include "platform/gtk/ChatSitePermissions.h"

#include <libsoup/soup.h>

#include "support/Log.h"

namespace gtkui {
namespace {

// The port an address of scheme has when none is written; -1 when unknown.
int defaultPort(const std::string& scheme) {
    if (scheme == "http" || scheme == "ws") return 80;
    if (scheme == "https" || scheme == "wss") return 443;
    return -1;
}

// What a request asks for, in words; empty for the kinds the chat site may have.
std::string refusedKind(WebKitPermissionRequest* request) {
    if (WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request)) {
        auto* media = WEBKIT_USER_MEDIA_PERMISSION_REQUEST(request);
        if (webkit_user_media_permission_is_for_display_device(media)) return "screen capture";
        return {};
    }
    if (WEBKIT_IS_DEVICE_INFO_PERMISSION_REQUEST(request) ||
        WEBKIT_IS_NOTIFICATION_PERMISSION_REQUEST(request))
        return {};
    return G_OBJECT_TYPE_NAME(request);
}

std::string kindOf(WebKitPermissionRequest* request) {
    if (WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request)) {
        auto* media = WEBKIT_USER_MEDIA_PERMISSION_REQUEST(request);
        const bool video = webkit_user_media_permission_is_for_video_device(media);
        const bool audio = webkit_user_media_permission_is_for_audio_device(media);
        return video && audio ? "camera and microphone" : video ? "camera" : "microphone";
    }
    if (WEBKIT_IS_DEVICE_INFO_PERMISSION_REQUEST(request)) return "the list of devices";
    return "notifications";
}

}  // namespace

// The scheme, the registrable domain (or the host where there is none), the
// port and the origin of an address; empty parts when it does not parse.
SiteOf siteOf(const std::string& address) {
    g_autoptr(GUri) uri = g_uri_parse(address.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!uri || !g_uri_get_host(uri) || !*g_uri_get_host(uri)) return {};
    g_autofree gchar* ascii = g_hostname_to_ascii(g_uri_get_host(uri));
    if (!ascii) return {};
    g_autofree gchar* host = g_ascii_strdown(ascii, -1);
    const gchar* base = soup_tld_get_base_domain(host, nullptr);
    g_autofree gchar* scheme = g_ascii_strdown(g_uri_get_scheme(uri), -1);
    std::string origin = std::string(scheme) + "://" + host;
    const int written = g_uri_get_port(uri);
    if (written > 0) origin += ":" + std::to_string(written);
    return {scheme, base ? base : host, origin, written > 0 ? written : defaultPort(scheme),
            base == nullptr};
}

bool sameSite(const std::string& a, const std::string& b) {
    const SiteOf x = siteOf(a), y = siteOf(b);
    return !x.site.empty() && x.scheme == y.scheme && x.site == y.site && x.port == y.port;
}

bool allowForChatSite(WebKitPermissionRequest* request, const std::string& page,
                      const std::string& chatSite) {
    const SiteOf site = siteOf(page);
    const std::string origin = site.origin.empty() ? "a page without a site" : site.origin;
    if (const std::string refused = refusedKind(request); !refused.empty()) {
        support::logInfo("permission: " + refused + " for " + origin + " refused");
        return false;
    }
    const bool allowed = sameSite(page, chatSite);
    support::logInfo("permission: " + kindOf(request) + " for " + origin +
                     (allowed ? " allowed (the chat site)" : " refused (not the chat site)"));
    return allowed;
}

}  // namespace gtkui
