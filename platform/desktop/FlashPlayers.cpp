#include "platform/desktop/FlashPlayers.h"

#include <glib.h>

#include <string>
#include <utility>

namespace desktop {

namespace {

constexpr FlashPlayerVersion kSimulatedPlayer{32, 0, 0, 465};
// What the bundled emulator reports to its movies as "$version".
constexpr FlashPlayerVersion kBundledPlayer{32, 0, 0, 0};

std::optional<FlashPlayerVersion> playerIn(const std::string& folder) {
    for (const char* library : {"libpepflashplayer.so", "libflashplayer.so"}) {
        g_autofree gchar* path = g_build_filename(folder.c_str(), library, nullptr);
        const std::string libraryPath(path);
        if (!g_file_test(libraryPath.c_str(), G_FILE_TEST_IS_REGULAR)) continue;

        g_autofree gchar* manifest = g_build_filename(folder.c_str(), "manifest.json", nullptr);
        std::optional<FlashPlayerVersion> version = flashVersionFromManifest(manifest);
        if (!version) version = flashVersionFromLibrary(libraryPath);
        if (version) return version;
    }
    return std::nullopt;
}

}  // namespace

FlashPlayers::FlashPlayers(bool simulate) : FlashPlayers(simulate, defaultSearchRoots()) {}

FlashPlayers::FlashPlayers(bool simulate, std::vector<std::string> searchRoots,
                           std::string bundledPlayer)
    : simulate_(simulate),
      searchRoots_(std::move(searchRoots)),
      bundledPlayer_(std::move(bundledPlayer)) {}

std::vector<std::string> FlashPlayers::defaultSearchRoots() {
    std::vector<std::string> roots = {
        "/usr/lib/pepperflashplugin-nonfree", "/usr/lib/adobe-flashplugin",
        "/usr/lib/flashplugin-nonfree",       "/usr/lib/flashplugin-installer",
        "/usr/lib/mozilla/plugins",           "/usr/lib/browser-plugins",
        "/usr/lib/chromium/PepperFlash",      "/usr/lib64/flash-plugin",
        "/usr/lib64/mozilla/plugins",         "/usr/lib64/browser-plugins",
        "/usr/local/lib/mozilla/plugins",     "/opt/google/chrome/PepperFlash",
    };
    g_autofree gchar* home = g_build_filename(g_get_home_dir(), ".mozilla", "plugins", nullptr);
    roots.emplace_back(home);
    return roots;
}

std::optional<FlashPlayerVersion> FlashPlayers::installedPlayer() const {
    if (simulate_) return kSimulatedPlayer;
    std::optional<FlashPlayerVersion> newest;
    for (const std::string& root : searchRoots_) {
        auto version = playerIn(root);
        if (version && (!newest || *version > *newest)) newest = version;
    }
    if (!newest && !bundledPlayer_.empty()) {
        g_autofree gchar* loader = g_build_filename(bundledPlayer_.c_str(), "ruffle.js", nullptr);
        if (g_file_test(loader, G_FILE_TEST_IS_REGULAR)) newest = kBundledPlayer;
    }
    return newest;
}

std::string FlashPlayers::installedVersion(int minimumMajor) {
    const auto player = installedPlayer();
    if (!player) throw support::Failure("no Flash player installed");
    if (minimumMajor < 0 || player->major < static_cast<unsigned>(minimumMajor))
        throw support::Failure("the Flash player is older than version " +
                               std::to_string(minimumMajor));
    return player->playerString();
}

}  // namespace desktop
