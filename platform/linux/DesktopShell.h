#pragma once
// The shell's "open" on a Linux desktop: the address goes to the desktop's
// default handler for it. Results follow the system this call comes from:
// above 32 on success, 32 or less on failure.

#include <functional>
#include <string>

#include "platform/Failure.h"
#include "platform/Services.h"

namespace desktop {

class DesktopShell : public platform::Shell {
public:
    static constexpr std::intptr_t kOpened = 42;
    static constexpr std::intptr_t kFileNotFound = 2;
    static constexpr std::intptr_t kNoAssociation = 31;

    // Opens a URI with its default handler; returns false when it could not.
    using Launcher = std::function<bool(const std::string& uri)>;

    // Launches through GIO (g_app_info_launch_default_for_uri).
    DesktopShell();
    explicit DesktopShell(Launcher launcher);

    // operation "open" (or empty, the default verb); file is an address with
    // a scheme, or a path (relative paths are taken from directory).
    // parameters and showCommand have no meaning for an address.
    std::intptr_t ShellExecuteA(platform::WindowHandle window, const std::string& operation,
                                const std::string& file, const char* parameters,
                                const std::string& directory, int showCommand) override;

    // The URI that file stands for, or "" when it names nothing.
    static std::string uriFor(const std::string& file, const std::string& directory);

private:
    Launcher launcher_;
};

}  // namespace desktop
