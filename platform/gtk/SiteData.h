#pragma once
// Where the chat site's data lives on disk, so that a login lasts from one
// start to the next: cookies (WebKit's SQLite store), the sites' storage and
// the cache, in the XDG folders named for the program.

#include <string>
#include <vector>

namespace gtkui {

struct SiteDataFolders {
    std::string data;   // $XDG_DATA_HOME/<program>: storage and cookies
    std::string cache;  // $XDG_CACHE_HOME/<program>
    std::string cookies() const { return data + "/cookies.sqlite"; }
};

SiteDataFolders siteDataFolders(const std::string& program);

// Removes the cookies, storage and cache; returns one line per thing removed
// ("cookies: PATH"), empty when there was nothing. Throws std::runtime_error
// with the reason when something could not be removed.
std::vector<std::string> forgetSiteData(const SiteDataFolders& folders);

}  // namespace gtkui
