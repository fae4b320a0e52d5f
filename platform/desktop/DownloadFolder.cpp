#include "platform/desktop/DownloadFolder.h"

#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <stdio.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/desktop/DownloadNames.h"
#include "support/Failure.h"

namespace desktop {
namespace {

constexpr unsigned MostNumberedNames = 10000;

std::string inFolder(const std::string& folder, const std::string& name) {
    g_autofree gchar* path = g_build_filename(folder.c_str(), name.c_str(), nullptr);
    return path;
}

// Renames from to to unless to exists. Where the file system cannot rename
// so, a hard link does the same (it fails on an existing name too).
bool renameWithoutReplacing(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EEXIST) return false;
    if (errno != EINVAL && errno != ENOSYS)
        throw support::Failure("cannot rename " + from + ": " + g_strerror(errno));
    if (link(from.c_str(), to.c_str()) != 0) {
        if (errno == EEXIST) return false;
        throw support::Failure("cannot link " + from + " as " + to + ": " + g_strerror(errno));
    }
    g_unlink(from.c_str());
    return true;
}

}  // namespace

std::string downloadFolder() {
    const gchar* downloads = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
    if (!downloads || !*downloads) return g_get_home_dir();
    if (g_mkdir_with_parents(downloads, 0755) != 0)
        throw support::Failure(std::string("cannot make the download folder ") + downloads + ": " +
                               g_strerror(errno));
    return downloads;
}

std::optional<std::uint64_t> freeBytes(const std::string& folder) {
    struct statvfs info;
    if (statvfs(folder.c_str(), &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

std::string makePartFile(const std::string& folder, const std::string& name) {
    // The part's name stays within the file system's 255 bytes. The mode is
    // what the person's umask gives any new file, as for files they save.
    std::string pattern = inFolder(folder, name + ".XXXXXX.part");
    const int fd = g_mkstemp_full(pattern.data(), O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0)
        throw support::Failure("cannot make a file in " + folder + ": " + g_strerror(errno));
    g_close(fd, nullptr);
    return pattern;
}

std::string moveIntoPlace(const std::string& partFile, const std::string& folder,
                          const std::string& name) {
    for (unsigned n = 0; n < MostNumberedNames; ++n) {
        const std::string target = inFolder(folder, numberedName(name, n));
        if (renameWithoutReplacing(partFile, target)) return target;
    }
    throw support::Failure("every name from " + name + " to " +
                           numberedName(name, MostNumberedNames - 1) + " is taken in " + folder);
}

}  // namespace desktop
