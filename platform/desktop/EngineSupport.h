#pragma once

// Whether the web engine in use still gets security fixes from the system.
// The chat view shows a remote site and its users' content, so an engine
// without them is worth a warning; it never stops the program.

#include <optional>
#include <string>

namespace desktop {

struct EngineFacts {
    int major = 0, minor = 0, micro = 0;  // the WebKitGTK library's version
    int debianRelease = 0;                // from /etc/os-release; 0 when not a Debian release
    std::string today;                    // YYYY-MM-DD
};

// debian-security-support's lists, as read; nullopt when the file is absent.
struct SupportLists {
    std::optional<std::string> limited;  // security-support-limited
    std::optional<std::string> ended;    // security-support-ended and the release's own list
};

// Why the engine has no security support, or an empty string when it has
// (or nothing says otherwise). Debian's lists decide where they are
// installed; without them, the engine's version and the Debian release do.
std::string engineWithoutSecuritySupport(const EngineFacts& engine, const SupportLists& lists);

// Reads the lists and /etc/os-release and logs the reason at warning level.
void warnIfEngineWithoutSecuritySupport(int major, int minor, int micro);

}  // namespace desktop
