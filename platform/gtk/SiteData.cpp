#include "platform/gtk/SiteData.h"

#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include "support/Log.h"

namespace gtkui {

namespace {

namespace fs = std::filesystem;

constexpr mode_t kPrivateFolder = 0700, kPrivateFile = 0600;

void warnErrno(const std::string& what, const std::string& path) {
    support::logWarning("site data: cannot " + what + " " + path + ": " + std::strerror(errno));
}

// Makes the folder (and its missing parents) 0700, or tightens it to 0700.
void makePrivateFolder(const std::string& path) {
    if (g_mkdir_with_parents(path.c_str(), kPrivateFolder) != 0) {
        warnErrno("create", path);
        return;
    }
    if (chmod(path.c_str(), kPrivateFolder) != 0) warnErrno("restrict", path);
}

// Every folder below root 0700 and every file 0600; links are not followed.
void tightenContents(const std::string& root) {
    std::error_code error;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
    unsigned changed = 0;
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::file_status status = it->symlink_status(error);
        if (error || fs::is_symlink(status)) continue;
        const mode_t wanted = fs::is_directory(status) ? kPrivateFolder : kPrivateFile;
        struct stat now {};
        if (lstat(it->path().c_str(), &now) != 0 || (now.st_mode & 07777) == wanted) continue;
        if (chmod(it->path().c_str(), wanted) == 0)
            ++changed;
        else
            warnErrno("restrict", it->path().string());
    }
    if (error) support::logWarning("site data: cannot read " + root + ": " + error.message());
    if (changed)
        support::logInfo("site data: " + std::to_string(changed) + " entries in " + root +
                         " made private to the user");
}

// A descriptor of the data folder locked as asked, or -1 (errno set).
int lockFolder(const std::string& path, int operation) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return -1;
    if (flock(fd, operation | LOCK_NB) != 0) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

// A relative XDG folder is ignored: the default one under the home folder is used.
std::string xdgFolder(const char* variable, const char* underHome) {
    const char* value = g_getenv(variable);
    if (value && g_path_is_absolute(value)) return value;
    return std::string(g_get_home_dir()) + "/" + underHome;
}

}  // namespace

SiteDataFolders siteDataFolders(const std::string& program) {
    return {xdgFolder("XDG_DATA_HOME", ".local/share") + "/" + program,
            xdgFolder("XDG_CACHE_HOME", ".cache") + "/" + program};
}

SiteDataHold::~SiteDataHold() {
    if (fd_ >= 0) close(fd_);
}

std::unique_ptr<SiteDataHold> useSiteData(const SiteDataFolders& folders) {
    makePrivateFolder(folders.data);
    makePrivateFolder(folders.cache);
    const int cookies =
        open(folders.cookies().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kPrivateFile);
    if (cookies >= 0) {
        if (fchmod(cookies, kPrivateFile) != 0) warnErrno("restrict", folders.cookies());
        close(cookies);
    } else {
        warnErrno("create", folders.cookies());
    }
    // Shared: a second window of the same user, started without a session
    // bus to find the first, holds it too.
    const int fd = lockFolder(folders.data, LOCK_SH);
    if (fd < 0) warnErrno("hold", folders.data);
    std::thread([folders] {
        tightenContents(folders.data);
        tightenContents(folders.cache);
    }).detach();
    return std::make_unique<SiteDataHold>(fd);
}

std::vector<std::string> forgetSiteData(const SiteDataFolders& folders) {
    std::vector<std::string> removed;
    // Held until the data is gone, so that no window starts on it meanwhile.
    int hold = -1;
    std::error_code missing;
    if (fs::exists(fs::symlink_status(folders.data, missing))) {
        hold = lockFolder(folders.data, LOCK_EX);
        if (hold < 0 && errno == EWOULDBLOCK)
            throw SiteDataInUse("the program is running; close its window first.");
    }
    struct Release {
        int fd;
        ~Release() {
            if (fd >= 0) close(fd);
        }
    } release{hold};
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
