#pragma once
// Opening an address or a file on a Linux desktop: it goes to the desktop's
// default handler for it.

#include <functional>
#include <string>

#include "support/Failure.h"
#include "platform/Services.h"

namespace desktop {

class DesktopShell : public platform::Shell {
public:
    // Opens a URI with its default handler; throws Failure, saying why, when it cannot.
    using Launcher = std::function<void(const std::string& uri)>;

    // Launches through GIO (g_app_info_launch_default_for_uri).
    DesktopShell();
    explicit DesktopShell(Launcher launcher);

    // target is an address with a scheme, or an absolute path. A mailto
    // address passes cleaned (MailAddress.h).
    void openWithDefaultHandler(const std::string& target) override;

    // The URI that target stands for, or "" when it names nothing.
    static std::string uriFor(const std::string& target);

private:
    Launcher launcher_;
};

}  // namespace desktop
