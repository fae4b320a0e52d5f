#include "platform/desktop/FlashObjectFactory.h"

#include <glib.h>

#include <charconv>
#include <string_view>
#include <utility>

namespace desktop {

namespace {

constexpr std::string_view kProgIdPrefix = "ShockwaveFlash.ShockwaveFlash.";
constexpr FlashPlayerVersion kSimulatedPlayer{32, 0, 0, 465};
// What the bundled emulator reports to its movies as "$version".
constexpr FlashPlayerVersion kBundledPlayer{32, 0, 0, 0};

class FlashPlayerObject : public platform::ScriptableObject {
public:
    explicit FlashPlayerObject(FlashPlayerVersion version) : version_(version) {}

    std::string GetVariable(const std::string& name) override {
        if (name == "$version") return version_.playerString();
        throw platform::Failure("unknown Flash variable: " + name);
    }

private:
    FlashPlayerVersion version_;
};

// N of "ShockwaveFlash.ShockwaveFlash.<N>": decimal digits, no leading zero.
unsigned requiredMajor(const std::string& progId) {
    const std::string_view id(progId);
    if (!id.starts_with(kProgIdPrefix)) throw platform::Failure("unknown ProgID: " + progId);
    const std::string_view number = id.substr(kProgIdPrefix.size());
    unsigned major = 0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), major);
    if (number.empty() || error != std::errc() || end != number.data() + number.size() ||
        (number.size() > 1 && number.front() == '0')) {
        throw platform::Failure("unknown ProgID: " + progId);
    }
    return major;
}

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

FlashObjectFactory::FlashObjectFactory(bool simulate)
    : FlashObjectFactory(simulate, defaultSearchRoots()) {}

FlashObjectFactory::FlashObjectFactory(bool simulate, std::vector<std::string> searchRoots,
                                       std::string bundledPlayer)
    : simulate_(simulate),
      searchRoots_(std::move(searchRoots)),
      bundledPlayer_(std::move(bundledPlayer)) {}

std::vector<std::string> FlashObjectFactory::defaultSearchRoots() {
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

std::optional<FlashPlayerVersion> FlashObjectFactory::installedPlayer() const {
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

std::shared_ptr<platform::ScriptableObject> FlashObjectFactory::CreateObject(
    const std::string& progId) {
    const unsigned major = requiredMajor(progId);
    const auto player = installedPlayer();
    if (!player) throw platform::Failure("no Flash player installed");
    if (player->major < major) throw platform::Failure("Flash player too old for " + progId);
    return std::make_shared<FlashPlayerObject>(*player);
}

}  // namespace desktop
