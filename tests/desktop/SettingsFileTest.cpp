#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/SettingsFile.h"

namespace {

const app::Settings kDefaults{"http://127.0.0.1:47110/update/", "http://127.0.0.1:47110/",
                              "http://127.0.0.1:47110/stats/index.html",
                              "http://127.0.0.1:47110/my_videos_upload"};

TEST(SettingsFileTest, UserFileOverridesSystemFileOverDefaults) {
    struct Case {
        const char* name;
        std::optional<std::string> system, user;  // nullopt: the file does not exist
        app::Settings expected;
        std::vector<std::string> warnings;  // each a prefix of one warning, in order
    };
    const std::string updateA = "https://a.example/update/", chatA = "https://a.example/chat";
    const std::string chatB = "http://b.example:8080/", uploadB = "https://b.example/up";
    const std::vector<Case> cases = {
        {"no files", std::nullopt, std::nullopt, kDefaults, {}},
        {"system only",
         "# site operator\n[Addresses]\nUpdateBase=" + updateA + "\nChatStart = " + chatA + "\n",
         std::nullopt,
         {updateA, chatA, kDefaults.statisticsPageAddress, kDefaults.uploadPageAddress},
         {}},
        {"user overrides system key by key",
         "[Addresses]\nUpdateBase=" + updateA + "\nChatStart=" + chatA + "\n",
         "[Addresses]\nChatStart=" + chatB + "\nUploadPage=" + uploadB + "\n",
         {updateA, chatB, kDefaults.statisticsPageAddress, uploadB},
         {}},
        {"malformed user file is ignored as a whole",
         "[Addresses]\nChatStart=" + chatA + "\n",
         "[Addresses]\nUploadPage=" + uploadB + "\nthis is not a setting\n",
         {kDefaults.updateBaseAddress, chatA, kDefaults.statisticsPageAddress,
          kDefaults.uploadPageAddress},
         {"USER:3: "}},
        {"key before any group",
         std::nullopt,
         "\nChatStart=" + chatB + "\n",
         kDefaults,
         {"USER:2: "}},
        {"invalid addresses keep the value before them",
         "[Addresses]\nChatStart=" + chatA + "\n",
         "[Addresses]\nUpdateBase=" + updateA +
             "\n\nChatStart=ftp://b.example/\n"
             "UploadPage=not an address\nStatsPage=" +
             chatB + "\n",
         {updateA, chatA, kDefaults.statisticsPageAddress, kDefaults.uploadPageAddress},
         {"USER:4: ChatStart is not an http or https address: \"ftp://b.example/\"; it keeps " +
              chatA,
          "USER:5: UploadPage is not an http or https address",
          "USER:6: unknown key \"StatsPage\""}},
    };

    g_autofree gchar* folder = g_dir_make_tmp("settings-XXXXXX", nullptr);
    ASSERT_NE(folder, nullptr);
    const std::string system = std::string(folder) + "/system.conf";
    const std::string user = std::string(folder) + "/user.conf";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& [path, text] : {std::pair{system, c.system}, std::pair{user, c.user}}) {
            g_remove(path.c_str());
            if (text) std::ofstream(path) << *text;
        }
        std::vector<std::string> warnings;
        const app::Settings settings = desktop::loadSettings(
            kDefaults, {system, user}, [&](const std::string& w) { warnings.push_back(w); });
        EXPECT_EQ(settings.updateBaseAddress, c.expected.updateBaseAddress);
        EXPECT_EQ(settings.chatStartAddress, c.expected.chatStartAddress);
        EXPECT_EQ(settings.statisticsPageAddress, c.expected.statisticsPageAddress);
        EXPECT_EQ(settings.uploadPageAddress, c.expected.uploadPageAddress);
        ASSERT_EQ(warnings.size(), c.warnings.size()) << ::testing::PrintToString(warnings);
        for (size_t i = 0; i < warnings.size(); ++i) {
            std::string prefix = c.warnings[i];
            prefix.replace(0, 4, user);
            EXPECT_EQ(warnings[i].rfind(prefix, 0), 0u) << warnings[i];
        }
    }
    g_remove(system.c_str());
    g_remove(user.c_str());
    g_rmdir(folder);
}

}  // namespace
