#include <gtest/gtest.h>

#include <vector>

#include "platform/linux/DesktopShell.h"

using desktop::DesktopShell;

namespace {

TEST(DesktopShellTest, OpensAddressesWithTheDefaultHandler) {
    struct Case {
        const char* operation;
        const char* file;
        const char* directory;
        bool launcherSucceeds;
        const char* launchedUri;  // null: the launcher must not be called
        bool succeeds;
    };
    const std::vector<Case> cases = {
        {"open", "http://127.0.0.1:47110/my_videos_upload", "", true,
         "http://127.0.0.1:47110/my_videos_upload", true},
        {"OPEN", "https://example.org/a?b=c", "C:\\", true, "https://example.org/a?b=c", true},
        {"", "http://127.0.0.1/", "", true, "http://127.0.0.1/", true},
        {"open", "http://127.0.0.1/", "", false, "http://127.0.0.1/", false},
        {"open", "/tmp/my clip.wmv", "", true, "file:///tmp/my%20clip.wmv", true},
        {"open", "clip.wmv", "/tmp/rec", true, "file:///tmp/rec/clip.wmv", true},
        {"print", "http://127.0.0.1/", "", true, nullptr, false},
        {"open", "", "", true, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " " + c.file);
        std::vector<std::string> launched;
        DesktopShell shell([&](const std::string& uri) {
            launched.push_back(uri);
            return c.launcherSucceeds;
        });
        const auto result = shell.ShellExecuteA(0, c.operation, c.file, nullptr, c.directory,
                                                platform::SW_SHOWNORMAL);
        EXPECT_EQ(result > 32, c.succeeds) << result;
        if (c.launchedUri) {
            EXPECT_EQ(launched, std::vector<std::string>{c.launchedUri});
        } else {
            EXPECT_TRUE(launched.empty());
        }
    }
}

}  // namespace
