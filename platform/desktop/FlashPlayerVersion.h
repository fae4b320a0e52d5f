#pragma once
// The version of an installed Flash player plugin, read from the manifest
// beside it or from the version string inside the library.

#include <optional>
#include <string>
#include <string_view>

namespace desktop {

struct FlashPlayerVersion {
    unsigned major = 0;
    unsigned minor = 0;
    unsigned build = 0;
    unsigned revision = 0;

    // The form the player reports for "$version", e.g. "LNX 32,0,0,465".
    std::string playerString() const;

    friend auto operator<=>(const FlashPlayerVersion&, const FlashPlayerVersion&) = default;
};

// "32.0.0.465" (separator '.') or "32,0,0,465" (','): exactly four decimal numbers.
std::optional<FlashPlayerVersion> parseFlashVersion(std::string_view text, char separator);

// The "version" member of a plugin's manifest.json.
std::optional<FlashPlayerVersion> flashVersionFromManifest(const std::string& path);

// The first "LNX a,b,c,d" string embedded in the plugin library.
std::optional<FlashPlayerVersion> flashVersionFromLibrary(const std::string& path);

}  // namespace desktop
