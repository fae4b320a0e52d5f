#include "platform/gtk/PageAddresses.h"

#include <glib.h>

#include "platform/gtk/GtkApp.h"

namespace gtkui {

bool mayOpenElsewhere(const std::string& address) {
    if (address.empty() || address.size() > LongestOpenableAddress) return false;
    g_autoptr(GUri) uri = g_uri_parse(address.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!uri) return false;
    const char* scheme = g_uri_get_scheme(uri);
    if (g_ascii_strcasecmp(scheme, "mailto") == 0) return true;
    const char* host = g_uri_get_host(uri);
    return (g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0) &&
           host && *host;
}

bool isMailAddress(const std::string& address) {
    return g_strcmp0(g_uri_peek_scheme(address.c_str()), "mailto") == 0;
}

bool isClientOrLocalPage(const std::string& address) {
    const char* scheme = g_uri_peek_scheme(address.c_str());  // lower case, interned
    if (!scheme) return false;
    return g_strcmp0(scheme, ResourceScheme) == 0 || g_strcmp0(scheme, "file") == 0;
}

std::string shownAddress(const std::string& address) {
    constexpr std::size_t shown = 200;
    if (address.size() <= shown) return address;
    // Cut at a character's start, so that the log line stays valid UTF-8.
    const char* end = g_utf8_find_prev_char(address.c_str(), address.c_str() + shown + 1);
    const std::size_t cut = end ? static_cast<std::size_t>(end - address.c_str()) : shown;
    return address.substr(0, cut) + "… (" + std::to_string(address.size()) + " characters)";
}

}  // namespace gtkui
