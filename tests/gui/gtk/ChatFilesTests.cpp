// Files from the chat: saved in the download folder when the person clicks
// them in the chat view, and never otherwise; clean names, no overwriting, no
// half-written file under the final name.

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "RoadFixture.h"
#include "platform/gtk/ChatDownloads.h"
#include "platform/gtk/StatusLine.h"

namespace guitest {
namespace {

// Every file and folder under folder, by path from there.
void listInto(const std::string& folder, const std::string& prefix, std::set<std::string>& all) {
    g_autoptr(GDir) dir = g_dir_open(folder.c_str(), 0, nullptr);
    if (!dir) return;
    while (const char* name = g_dir_read_name(dir)) {
        all.insert(prefix + name);
        const std::string path = folder + "/" + name;
        if (g_file_test(path.c_str(), G_FILE_TEST_IS_DIR) &&
            !g_file_test(path.c_str(), G_FILE_TEST_IS_SYMLINK))
            listInto(path, prefix + name + "/", all);
    }
}

std::set<std::string> filesUnder(const std::string& folder) {
    std::set<std::string> all;
    listInto(folder, "", all);
    return all;
}

// The files a download has finished: its half-written file is NAME.XXXXXX.part.
std::set<std::string> finishedUnder(const std::string& folder) {
    std::set<std::string> done;
    for (const std::string& name : filesUnder(folder))
        if (!g_str_has_suffix(name.c_str(), ".part")) done.insert(name);
    return done;
}

std::string contents(const std::string& path) {
    g_autofree gchar* text = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path.c_str(), &text, &length, nullptr)) return "<missing>";
    return std::string(text, length);
}

class ChatFilesTest : public RoadTest {
protected:
    void SetUp() override {
        RoadTest::SetUp();
        home = g_get_home_dir();
        downloads = home + "/Downloads";
        ASSERT_STREQ(g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD), downloads.c_str());
        ASSERT_EQ(std::system(("rm -rf '" + downloads + "'").c_str()), 0);
    }
    // A link over everything else in the chat page, for a real click (beside
    // the body, whose other children the client hides, as a site's chat does).
    void addLink(const std::string& id, const std::string& address) {
        chat("document.documentElement.insertAdjacentHTML('beforeend', \"<a id='" + id +
             "' href='" + address +
             "' style='position: fixed; left: 30px; top: 30px; z-index: 99999; padding: 10px;"
             " background: white'>file</a>\"), 1");
        ASSERT_TRUE(
            waitFor([&] { return chat("!!document.getElementById('" + id + "')") == "true"; }));
    }
    bool saved(const std::string& name, const std::string& bytes) {
        return waitFor([&] { return contents(downloads + "/" + name) == bytes; });
    }
    std::string status() { return h.host().statusLine().text(); }

    LogCapture log;
    std::string home, downloads;
};

TEST_F(ChatFilesTest, AClickedFileIsSavedAndTold) {
    site.addAttachment("/files/notes", "the notes' bytes", "holiday-notes.txt");
    start();
    ASSERT_TRUE(prepared());
    addLink("notes", "/files/notes");
    click("notes");
    ASSERT_TRUE(saved("holiday-notes.txt", "the notes' bytes"))
        << ::testing::PrintToString(filesUnder(home)) << log.all();
    EXPECT_TRUE(waitFor([&] { return log.has("download notice: Saved holiday-notes.txt"); }));
    EXPECT_EQ(status(), "Saved holiday-notes.txt");
    EXPECT_TRUE(waitFor([&] {
        return chat("document.getElementById('wg-download-status').textContent") ==
               "Saved holiday-notes.txt";
    }));
    click("notes");
    ASSERT_TRUE(saved("holiday-notes (1).txt", "the notes' bytes"));
    EXPECT_TRUE(waitFor([&] { return log.has("download notice: Saved holiday-notes (1).txt"); }));
    EXPECT_EQ(filesUnder(downloads),
              (std::set<std::string>{"holiday-notes.txt", "holiday-notes (1).txt"}));
}

TEST_F(ChatFilesTest, NamesComeOutClean) {
    const std::pair<const char*, const char*> names[] = {
        {"/files/path", "../../etc/cron.d/job"},
        {"/files/dot", ".bash_aliases"},
        {"/files/control", "bell\x07 and\nnew line\x1b[31m.txt"},
    };
    for (const auto& [path, name] : names) site.addAttachment(path, name, name);
    start();
    ASSERT_TRUE(prepared());
    const std::set<std::string> before = filesUnder(home);
    for (const auto& [path, name] : names) {
        addLink(path + 7, path);
        const std::size_t count = finishedUnder(downloads).size();
        click(path + 7);
        ASSERT_TRUE(waitFor([&] {
            return finishedUnder(downloads).size() == count + 1 &&
                   filesUnder(downloads).size() == count + 1;
        })) << name;
    }
    // Nothing but the three files, each a plain name in the download folder.
    const std::set<std::string> names_ = filesUnder(downloads);
    EXPECT_EQ(filesUnder(home).size(), before.size() + 1 + names_.size());
    for (const std::string& name : names_) {
        EXPECT_NE(name.front(), '.') << name;
        EXPECT_EQ(name.find_first_of("/\x07\n\x1b"), std::string::npos) << name;
    }
    EXPECT_EQ(names_.count("job"), 1u) << ::testing::PrintToString(names_);
    EXPECT_EQ(names_.count("bash_aliases"), 1u) << ::testing::PrintToString(names_);
}

TEST_F(ChatFilesTest, DownloadsNobodyClickedForAreRefusedAndLogged) {
    site::SiteServer other;
    other.setLogging(false);
    other.addAttachment("/files/other", "other", "other-site.txt");
    site.addAttachment("/files/script", "script", "by-script.txt");
    site.addAttachment("/files/frame", "frame", "framed.txt");
    site.addAttachment("/files/stats", "stats", "statistics.txt");
    start();
    ASSERT_TRUE(prepared());
    const std::set<std::string> before = filesUnder(home);
    const std::string origin = site.address("");

    chat("(location.href = '/files/script', 1)");
    EXPECT_TRUE(waitFor([&] {
        return log.has("\"by-script.txt\" from " + origin + ": no click in the chat view");
    }));
    // A hidden frame's file, even right after a click in the chat view.
    addLink("away", "#");
    click("away");
    chat(
        "(document.documentElement.insertAdjacentHTML('beforeend', "
        "\"<iframe style='display: none' src='/files/frame'></iframe>\"), 1)");
    EXPECT_TRUE(waitFor(
        [&] { return log.has("a frame of " + origin + " offered the file \"framed.txt\""); }));
    addLink("other", other.address("/files/other"));
    click("other");
    EXPECT_TRUE(waitFor([&] {
        return log.has("\"other-site.txt\" from " + other.address("") +
                       ": the file is on another site");
    }));
    WebKitWebView* stats = h.webView(h.host().wbstat());
    ASSERT_TRUE(waitFor([&] { return pageEval(stats, "document.readyState") == "complete"; }));
    pageEval(stats, "(location.href = '/files/stats', 1)");
    EXPECT_TRUE(waitFor([&] {
        return log.has("\"statistics.txt\" from " + origin + ": it came from the statistics view");
    }));
    EXPECT_EQ(filesUnder(home), before);
    EXPECT_EQ(status(), "");
}

TEST_F(ChatFilesTest, AFileHasItsNameOnlyWhenCompleteAndAFailedOneIsRemoved) {
    const std::string body(256 * 1024, 'x');
    site.addStalledAttachment("/files/big", body, "big.bin");
    start();
    ASSERT_TRUE(prepared());
    addLink("big", "/files/big");
    auto partFiles = [&] {
        int parts = 0;
        for (const std::string& name : filesUnder(downloads))
            parts += g_str_has_prefix(name.c_str(), "big.bin.") &&
                     g_str_has_suffix(name.c_str(), ".part");
        return parts;
    };
    // Dropped halfway: told in the status line and the log, the partial file gone.
    click("big");
    ASSERT_TRUE(
        waitFor([&] { return partFiles() == 1 && status().starts_with("Downloading big.bin"); }));
    EXPECT_FALSE(g_file_test((downloads + "/big.bin").c_str(), G_FILE_TEST_EXISTS));
    site.finishStalled(false);
    EXPECT_TRUE(waitFor([&] { return status() == "Not saved: big.bin"; })) << status();
    EXPECT_TRUE(waitFor([&] { return log.has("download notice: Not saved: big.bin"); }));
    EXPECT_TRUE(waitFor([&] { return filesUnder(downloads).empty(); }))
        << ::testing::PrintToString(filesUnder(downloads));
    // Held halfway, then completed: the final name appears only at the end.
    click("big");
    ASSERT_TRUE(waitFor([&] { return partFiles() == 1; }));
    EXPECT_FALSE(g_file_test((downloads + "/big.bin").c_str(), G_FILE_TEST_EXISTS));
    site.finishStalled(true);
    EXPECT_TRUE(saved("big.bin", body));
    EXPECT_EQ(filesUnder(downloads), std::set<std::string>{"big.bin"});
}

TEST(DownloadProgress, IsShownForLargeFiles) {
    const std::uint64_t large = 12'000'000;
    EXPECT_EQ(gtkui::downloadProgressText("notes.txt", 10, 100), "Downloading notes.txt");
    EXPECT_EQ(gtkui::downloadProgressText("film.webm", large * 45 / 100, large),
              "Downloading film.webm: 45% of 12.0 MB");
    EXPECT_EQ(gtkui::downloadProgressText("film.webm", 5'000'000, 0),
              "Downloading film.webm: 5.0 MB");
}

}  // namespace
}  // namespace guitest
