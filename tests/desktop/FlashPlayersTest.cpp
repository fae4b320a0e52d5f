#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/desktop/FlashPlayers.h"

using desktop::FlashPlayers;
using desktop::parseFlashVersion;

namespace {

// Fake plugin folders under a temporary directory.
class FlashPlayersTest : public ::testing::Test {
protected:
    FlashPlayersTest() {
        g_autofree gchar* root = g_dir_make_tmp("flash-XXXXXX", nullptr);
        root_ = root;
    }
    ~FlashPlayersTest() override { std::filesystem::remove_all(root_); }

    std::string folder(const std::string& name) {
        const std::string path = root_ + "/" + name;
        g_mkdir_with_parents(path.c_str(), 0755);
        return path;
    }
    static void write(const std::string& path, const std::string& content) {
        ASSERT_TRUE(g_file_set_contents(path.c_str(), content.data(),
                                        static_cast<gssize>(content.size()), nullptr));
    }
    std::string version(const std::vector<std::string>& roots, int major) {
        return FlashPlayers(false, roots).installedVersion(major);
    }

    std::string root_;
};

const std::string kLibraryBytes = std::string(
                                      "\x7f"
                                      "ELF\0\0junk",
                                      10) +
                                  "LNX 11,2,202,644" + std::string("\0more", 5);

TEST_F(FlashPlayersTest, ReadsTheInstalledPlayersVersion) {
    const std::string pepper = folder("pepper");
    write(pepper + "/libpepflashplayer.so", "no version string here");
    write(pepper + "/manifest.json", R"({"name": "Shockwave Flash", "version": "32.0.0.465"})");
    const std::string npapi = folder("npapi");
    write(npapi + "/libflashplayer.so", kLibraryBytes);
    const std::string brokenManifest = folder("broken");
    write(brokenManifest + "/libflashplayer.so", kLibraryBytes);
    write(brokenManifest + "/manifest.json", R"({"version": 32})");
    const std::string manifestOnly = folder("manifest-only");
    write(manifestOnly + "/manifest.json", R"({"version": "40.0.0.1"})");

    EXPECT_EQ(version({pepper}, 9), "LNX 32,0,0,465");
    EXPECT_EQ(version({npapi}, 9), "LNX 11,2,202,644");
    EXPECT_EQ(version({brokenManifest}, 11), "LNX 11,2,202,644");
    // The newest of several players counts; a manifest without a library is no player.
    EXPECT_EQ(version({npapi, manifestOnly, pepper}, 9), "LNX 32,0,0,465");
    EXPECT_THROW(version({npapi}, 12), support::Failure);
    EXPECT_THROW(version({manifestOnly, root_ + "/missing"}, 9), support::Failure);
}

TEST_F(FlashPlayersTest, TheBundledPlayerStandsInForAMissingPlugin) {
    const std::string plugin = folder("plugin");
    write(plugin + "/libflashplayer.so", kLibraryBytes);
    const std::string bundled = folder("bundled");
    write(bundled + "/ruffle.js", "// the player");
    const std::string empty = folder("empty");
    struct Case {
        std::vector<std::string> roots;
        std::string bundled;
        const char* version;  // nullptr: no player
    } cases[] = {
        {{}, bundled, "LNX 32,0,0,0"},
        {{plugin}, bundled, "LNX 11,2,202,644"},  // a real plugin comes first
        {{}, empty, nullptr},                     // the folder without the player's files
        {{}, "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bundled + " " + std::to_string(c.roots.size()));
        FlashPlayers factory(false, c.roots, c.bundled);
        if (c.version) {
            EXPECT_EQ(factory.installedVersion(9), c.version);
        } else {
            EXPECT_THROW(factory.installedVersion(9), support::Failure);
        }
    }
}

TEST_F(FlashPlayersTest, TheSimulatedPlayerIsVersion32) {
    FlashPlayers simulated(true, {});
    for (const int major : {0, 9, 32})
        EXPECT_EQ(simulated.installedVersion(major), "LNX 32,0,0,465");
    for (const int major : {33, -1}) {
        EXPECT_THROW(simulated.installedVersion(major), support::Failure) << major;
    }
}

TEST(FlashVersionTest, ParsesFourNumbers) {
    EXPECT_EQ(parseFlashVersion("32.0.0.465", '.')->playerString(), "LNX 32,0,0,465");
    EXPECT_EQ(parseFlashVersion("11,2,202,644", ',')->playerString(), "LNX 11,2,202,644");
    for (const char* text : {"", "32", "32.0.0", "32.0.0.465.1", "32.0.0.x", "32..0.465",
                             " 32.0.0.465", "32.0.0.465 ", "-1.0.0.0", "32,0,0,465"}) {
        EXPECT_FALSE(parseFlashVersion(text, '.')) << text;
    }
}

}  // namespace
