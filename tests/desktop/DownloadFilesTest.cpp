// The names files from the chat get, and how a finished file takes its name
// without ever replacing another.

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/desktop/DownloadFolder.h"
#include "platform/desktop/DownloadNames.h"
#include "support/Failure.h"

namespace {

TEST(DownloadNames, AreOnePlainNameOfBoundedLength) {
    const std::string longStem(300, 'a');
    const std::string euro = "\xe2\x82\xac";  // three bytes
    std::string euros;
    for (int i = 0; i < 100; ++i) euros += euro;
    struct Case {
        std::string suggested, clean;
    } cases[] = {
        {"holiday-notes.txt", "holiday-notes.txt"},
        {"../../.bashrc", "bashrc"},
        {"/etc/passwd", "passwd"},
        {"..\\..\\Windows\\win.ini", "win.ini"},
        {".bash_aliases", "bash_aliases"},
        {" . .hidden ", "hidden"},
        {"a\nb\rc\td\x1b[31m\x7f.txt", "abcd[31m.txt"},
        {"evil\xe2\x80\xae"
         "txt.exe",
         "eviltxt.exe"},
        {"line\xe2\x80\xa8sep", "linesep"},
        {"bad\xff.txt", "bad\xef\xbf\xbd.txt"},
        {"", "download"},
        {"..", "download"},
        {"dir/", "download"},
        {longStem + ".pdf", std::string(196, 'a') + ".pdf"},
        {longStem, std::string(200, 'a')},
        {euros, euros.substr(0, 198)},  // cut on a character's boundary
    };
    for (const Case& c : cases) {
        const std::string clean = desktop::cleanDownloadName(c.suggested);
        EXPECT_EQ(clean, c.clean) << c.suggested;
        EXPECT_LE(clean.size(), desktop::LongestDownloadName);
    }
}

TEST(DownloadNames, NumberedNamesKeepTheExtensionAndTheLimit) {
    struct Case {
        std::string name;
        unsigned n;
        std::string numbered;
    } cases[] = {
        {"notes.txt", 0, "notes.txt"},
        {"notes.txt", 1, "notes (1).txt"},
        {"notes.txt", 12, "notes (12).txt"},
        {"README", 2, "README (2)"},
        {"archive.tar.gz", 1, "archive.tar (1).gz"},
        {std::string(196, 'a') + ".pdf", 3, std::string(192, 'a') + " (3).pdf"},
    };
    for (const Case& c : cases) EXPECT_EQ(desktop::numberedName(c.name, c.n), c.numbered) << c.name;
}

class DownloadFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_autofree gchar* made = g_dir_make_tmp("downloads-XXXXXX", nullptr);
        ASSERT_TRUE(made);
        folder = made;
    }
    void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + folder + "'").c_str()), 0); }
    std::string read(const std::string& name) {
        g_autofree gchar* text = nullptr;
        g_file_get_contents((folder + "/" + name).c_str(), &text, nullptr, nullptr);
        return text ? text : "<missing>";
    }
    // A finished download of name with these contents; returns its final name.
    std::string save(const std::string& name, const std::string& contents) {
        const std::string part = desktop::makePartFile(folder, name);
        EXPECT_EQ(part.find(folder + "/" + name + "."), 0u) << part;
        EXPECT_TRUE(g_str_has_suffix(part.c_str(), ".part")) << part;
        g_file_set_contents(part.c_str(), contents.c_str(), -1, nullptr);
        const std::string saved = desktop::moveIntoPlace(part, folder, name);
        EXPECT_FALSE(g_file_test(part.c_str(), G_FILE_TEST_EXISTS));
        return saved.substr(folder.size() + 1);
    }
    std::string folder;
};

TEST_F(DownloadFolderTest, AFileIsNeverReplaced) {
    EXPECT_EQ(save("notes.txt", "first"), "notes.txt");
    EXPECT_EQ(save("notes.txt", "second"), "notes (1).txt");
    g_file_set_contents((folder + "/notes (2).txt").c_str(), "the person's own", -1, nullptr);
    EXPECT_EQ(save("notes.txt", "third"), "notes (3).txt");
    EXPECT_EQ(read("notes.txt"), "first");
    EXPECT_EQ(read("notes (1).txt"), "second");
    EXPECT_EQ(read("notes (2).txt"), "the person's own");
    EXPECT_EQ(read("notes (3).txt"), "third");
    // A folder of that name is not replaced either.
    g_mkdir((folder + "/photo.jpg").c_str(), 0700);
    EXPECT_EQ(save("photo.jpg", "jpeg"), "photo (1).jpg");
}

TEST_F(DownloadFolderTest, FailuresSayWhy) {
    EXPECT_THROW(desktop::makePartFile(folder + "/missing", "notes.txt"), support::Failure);
    EXPECT_THROW(desktop::moveIntoPlace(folder + "/gone.part", folder, "notes.txt"),
                 support::Failure);
    EXPECT_GT(desktop::freeBytes(folder).value_or(0), 0u);
    EXPECT_FALSE(desktop::freeBytes(folder + "/missing"));
}

}  // namespace
