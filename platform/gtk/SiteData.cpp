#include "platform/gtk/SiteData.h"

#include <glib.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace gtkui {

SiteDataFolders siteDataFolders(const std::string& program) {
    return {std::string(g_get_user_data_dir()) + "/" + program,
            std::string(g_get_user_cache_dir()) + "/" + program};
}

std::vector<std::string> forgetSiteData(const SiteDataFolders& folders) {
    namespace fs = std::filesystem;
    std::vector<std::string> removed;
    // Whether anything was there to remove.
    auto remove = [](const fs::path& path) {
        std::error_code error;
        if (!fs::exists(fs::symlink_status(path, error))) return false;
        fs::remove_all(path, error);
        if (error)
            throw std::runtime_error("cannot remove " + path.string() + ": " + error.message());
        return true;
    };
    // The cookie store first (with SQLite's side files), so that it is named;
    // the rest of the data folder is the sites' storage (local storage,
    // databases, service workers).
    bool cookies = false;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        cookies = remove(folders.cookies() + suffix) || cookies;
    if (cookies) removed.push_back("cookies: " + folders.cookies());
    if (remove(folders.data)) removed.push_back("website storage: " + folders.data);
    if (remove(folders.cache)) removed.push_back("cache: " + folders.cache);
    return removed;
}

}  // namespace gtkui
