#pragma once
// Where the chat site's data lives on disk, so that a login lasts from one
// start to the next: cookies (WebKit's SQLite store), the sites' storage and
// the cache, in the XDG folders named for the program. Only the user reads
// them: the folders are 0700 and their files 0600. A window holds the data
// folder while it runs, so that removing the data waits until it has closed;
// the hold is a lock on the folder, which needs no display and no bus.

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace gtkui {

struct SiteDataFolders {
    std::string data;   // $XDG_DATA_HOME/<program>: storage and cookies
    std::string cache;  // $XDG_CACHE_HOME/<program>
    std::string cookies() const { return data + "/cookies.sqlite"; }
};

SiteDataFolders siteDataFolders(const std::string& program);

// A running window holds the site data.
class SiteDataInUse : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The running window's hold on its site data; let go when destroyed.
class SiteDataHold {
public:
    explicit SiteDataHold(int fd) : fd_(fd) {}
    ~SiteDataHold();
    SiteDataHold(const SiteDataHold&) = delete;
    SiteDataHold& operator=(const SiteDataHold&) = delete;

private:
    int fd_;
};

// Before the engine writes: makes the folders 0700 (tightening existing
// ones), creates the cookie store 0600 so that the engine's store and its
// side files keep that mode, and holds the data folder. The files already in
// the folders are made 0600 (folders 0700) on a worker thread: the folders
// themselves already keep others out. Problems are logged as warnings.
std::unique_ptr<SiteDataHold> useSiteData(const SiteDataFolders& folders);

// Removes the cookies, storage and cache; returns one line per thing removed
// ("cookies: PATH"), empty when there was nothing. Throws SiteDataInUse while
// a window holds the data, std::runtime_error with the reason when something
// could not be removed.
std::vector<std::string> forgetSiteData(const SiteDataFolders& folders);

}  // namespace gtkui
