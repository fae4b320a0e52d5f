#pragma once
// What the chat view's page may use: camera, microphone, the list of devices
// and notifications, only while the page is on the chat site. Everything else
// a page may ask for (screen capture, geolocation, pointer lock, clipboard...)
// is refused. Each answer is logged with the page's origin.

#include <webkit2/webkit2.h>

#include <string>

namespace gtkui {

// An address's site: its scheme, registrable domain (or host, in ASCII, where
// it has none), port (the scheme's default where none is written) and origin.
// Empty when the address has no host.
struct SiteOf {
    std::string scheme, site, origin;
    int port = -1;
    bool hostOnly = false;  // site is a host without a registrable domain
};
SiteOf siteOf(const std::string& address);

// Whether two addresses are of the same site: the same scheme, the same
// registrable domain (by the public suffix list) and the same port (the
// scheme's default where none is written); hosts without a registrable domain
// (an IP address, "localhost") must be equal.
bool sameSite(const std::string& a, const std::string& b);

// The answer to a request of the chat view's page at page; chatSite is the
// chat site's start address.
bool allowForChatSite(WebKitPermissionRequest* request, const std::string& page,
                      const std::string& chatSite);

}  // namespace gtkui
