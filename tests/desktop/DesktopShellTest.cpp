#include <gtest/gtest.h>

#include <vector>

#include "platform/desktop/DesktopShell.h"

using desktop::DesktopShell;

namespace {

TEST(DesktopShellTest, OpensAddressesWithTheDefaultHandler) {
    struct Case {
        const char* target;
        const char* directory;
        bool launcherSucceeds;
        const char* launchedUri;  // null: the launcher must not be called
        bool succeeds;
    };
    const std::vector<Case> cases = {
        {"http://127.0.0.1:47110/my_videos_upload", "", true,
         "http://127.0.0.1:47110/my_videos_upload", true},
        {"https://example.org/a?b=c", "C:\\", true, "https://example.org/a?b=c", true},
        {"http://127.0.0.1/", "", false, "http://127.0.0.1/", false},
        {"/tmp/my clip.wmv", "", true, "file:///tmp/my%20clip.wmv", true},
        {"clip.wmv", "/tmp/rec", true, "file:///tmp/rec/clip.wmv", true},
        {"", "", true, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        std::vector<std::string> launched;
        DesktopShell shell([&](const std::string& uri) {
            launched.push_back(uri);
            if (!c.launcherSucceeds) throw platform::Failure("no handler");
        });
        if (c.succeeds)
            EXPECT_NO_THROW(shell.openWithDefaultHandler(c.target, c.directory));
        else
            EXPECT_THROW(shell.openWithDefaultHandler(c.target, c.directory), platform::Failure);
        if (c.launchedUri) {
            EXPECT_EQ(launched, std::vector<std::string>{c.launchedUri});
        } else {
            EXPECT_TRUE(launched.empty());
        }
    }
}

}  // namespace
