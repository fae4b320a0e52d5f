#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/desktop/EngineSupport.h"

namespace {

TEST(EngineSupportTest, DebiansListsDecideWhereInstalledElseTheVersionAndRelease) {
    const desktop::EngineFacts bookworm{2, 50, 6, 12, "2026-12-09"};
    const desktop::EngineFacts trixie{2, 54, 3, 13, "2026-12-09"};
    const desktop::EngineFacts otherSystem{2, 44, 0, 0, "2026-12-09"};
    const std::string limited =
        "# List of packages where security support is limited\n"
        "epiphany-browser Heavily relies on webkit2gtk that has been EOL'ed\n"
        "webkit2gtk      Can no longer be backported to bookworm; only for use on trusted "
        "content\n";
    struct Case {
        const char* name;
        desktop::EngineFacts engine;
        desktop::SupportLists lists;
        std::string expectedPart;  // empty: supported
    };
    const std::vector<Case> cases = {
        {"limited list names the engine",
         trixie,
         {limited, std::nullopt},
         "Can no longer be backported"},
        {"lists without the engine: supported, even on Debian 12",
         bookworm,
         {"adns  stub resolver\n# webkit2gtk in a comment\n", "wpewebkit 2.38 2023-05-09\n"},
         ""},
        {"ended list, date passed",
         trixie,
         {std::nullopt, "webkit2gtk 2.54.3-1 2026-11-30 EOL\n"},
         "ended on 2026-11-30"},
        {"ended list, date to come",
         trixie,
         {std::nullopt, "webkit2gtk 2.54.3-1 2027-06-01\n"},
         ""},
        {"a pattern names it; a broken pattern is skipped",
         trixie,
         {"webkit[\n webkit.*  all of them\n", std::nullopt},
         "all of them"},
        {"no lists, Debian 12", bookworm, {}, "Debian 12 no longer"},
        {"no lists, Debian 13", trixie, {}, ""},
        {"no lists, not Debian, old engine", otherSystem, {}, "older than 2.52"},
    };
    for (const Case& c : cases) {
        const std::string reason = desktop::engineWithoutSecuritySupport(c.engine, c.lists);
        if (c.expectedPart.empty())
            EXPECT_EQ(reason, "") << c.name;
        else
            EXPECT_NE(reason.find(c.expectedPart), std::string::npos) << c.name << ": " << reason;
    }
}

}  // namespace
