#include <gtest/gtest.h>

#include <vector>

#include "platform/desktop/DesktopShell.h"

using desktop::DesktopShell;

namespace {

TEST(DesktopShellTest, OpensAddressesWithTheDefaultHandler) {
    struct Case {
        const char* target;
        bool launcherSucceeds;
        const char* launchedUri;  // null: the launcher must not be called
        bool succeeds;
    };
    const std::vector<Case> cases = {
        {"http://127.0.0.1:47110/my_videos_upload", true, "http://127.0.0.1:47110/my_videos_upload",
         true},
        {"https://example.org/a?b=c", true, "https://example.org/a?b=c", true},
        {"http://127.0.0.1/", false, "http://127.0.0.1/", false},
        {"/tmp/my clip.wmv", true, "file:///tmp/my%20clip.wmv", true},
        {"clip.wmv", true, nullptr, false},  // a relative path names nothing
        {"", true, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        std::vector<std::string> launched;
        DesktopShell shell([&](const std::string& uri) {
            launched.push_back(uri);
            if (!c.launcherSucceeds) throw support::Failure("no handler");
        });
        if (c.succeeds)
            EXPECT_NO_THROW(shell.openWithDefaultHandler(c.target));
        else
            EXPECT_THROW(shell.openWithDefaultHandler(c.target), support::Failure);
        if (c.launchedUri) {
            EXPECT_EQ(launched, std::vector<std::string>{c.launchedUri});
        } else {
            EXPECT_TRUE(launched.empty());
        }
    }
}

TEST(DesktopShellTest, HandsOnlyTheMessageFieldsOfAMailAddressToTheMailProgram) {
    struct Case {
        std::string address;
        std::string launched;  // empty: refused
    };
    const std::vector<Case> cases = {
        {"mailto:x@y?subject=hi&body=a%0D%0Ab", "mailto:x@y?subject=hi&body=a%0D%0Ab"},
        {"mailto:x@y?attach=/etc/passwd", "mailto:x@y"},
        {"mailto:x@y?Attachment=%2Fetc%2Fshadow&CC=z@w", "mailto:x@y?cc=z@w"},
        {"mailto:x@y?%61ttach=/etc/passwd&to=v@w", "mailto:x@y?to=v@w"},
        {"mailto:x@y?subject=a%0D%0ABcc:evil@z", "mailto:x@y?subject=aBcc:evil@z"},
        {"mailto:x@y%0a%0dBcc:evil@z?bcc=q@r%0Ax", "mailto:x@yBcc:evil@z?bcc=q@rx"},
        {"mailto:" + std::string(1993, 'a'), "mailto:" + std::string(1993, 'a')},
        {"mailto:" + std::string(1994, 'a'), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address.substr(0, 60));
        std::vector<std::string> launched;
        DesktopShell shell([&](const std::string& uri) { launched.push_back(uri); });
        if (c.launched.empty()) {
            EXPECT_THROW(shell.openWithDefaultHandler(c.address), support::Failure);
            EXPECT_TRUE(launched.empty());
        } else {
            shell.openWithDefaultHandler(c.address);
            EXPECT_EQ(launched, std::vector<std::string>{c.launched});
        }
    }
}

}  // namespace
