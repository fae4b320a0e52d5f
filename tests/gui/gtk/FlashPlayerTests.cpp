// The bundled Flash player in the chat view: the client's template plays the
// site's movie, objects that are not rendered play nothing.

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "RoadFixture.h"
#include "TestSupport.h"
#include "app/Main.h"
#include "demo/SiteServer.h"

namespace guitest {
namespace {

class FlashPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_file_test(WHIRLIGIG_PLAYER_FOLDER "/ruffle.js", G_FILE_TEST_IS_REGULAR))
            GTEST_SKIP() << "no bundled Flash player at " WHIRLIGIG_PLAYER_FOLDER;
        std::string copy = "cp -r '" + htmlFolder() + "/.' '" + folder.path() + "/HTML/' && ln -s '" +
                           WHIRLIGIG_PLAYER_FOLDER "' '" + folder.path() + "/flashplayer'";
        ASSERT_EQ(std::system(copy.c_str()), 0);
        site.setLogging(false);
    }
    void start() {
        h = std::make_unique<Harness>(folder.path());
        main = std::make_unique<app::Main>(
            h->host(), app::Settings{site.address("/update/"), site.address("/"),
                                     site.address("/stats/index.html"),
                                     site.address("/my_videos_upload")});
        h->host().start();
    }
    std::string chat(const std::string& script) {
        return pageEval(h->webView(h->host().WB()), script);
    }
    // The players on the chat page, by the class of the element each plays.
    std::string players() {
        return chat(
            "[...document.querySelectorAll('ruffle-player')].map(p => p.parentElement.className)"
            ".join()");
    }
    // The movie's area of the window, as the screen shows it.
    GdkPixbuf* movieArea() {
        std::string where = chat(
            "(r => [r.left, r.top, r.width, r.height].map(Math.round).join(','))"
            "(document.querySelector('.wg-movie').getBoundingClientRect())");
        int x = 0, y = 0, width = 0, height = 0;
        std::sscanf(where.c_str(), "%d,%d,%d,%d", &x, &y, &width, &height);
        if (width <= 0 || height <= 0) return nullptr;
        int ox = 0, oy = 0;
        gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(h->host().gtkForm().window())),
                              &ox, &oy);
        return gdk_pixbuf_get_from_window(gdk_get_default_root_window(), ox + x, oy + y, width,
                                          height);
    }

    TempFolder folder;
    site::SiteServer site;
    std::unique_ptr<Harness> h;
    std::unique_ptr<app::Main> main;
};

// Under a locale that names no language (the player's locale set-up throws on
// the language "C"): the template's movie gets the flashvars with layout=h, and
// the site's own object, hidden by the client, keeps no player.
TEST_F(FlashPlayerTest, TheTemplatesMoviePlaysAndTheHiddenObjectDoesNot) {
    setenv("LC_ALL", "C.UTF-8", 1);
    unsetenv("LANGUAGE");
    start();
    ASSERT_TRUE(waitFor([&] { return main->ChatPagePrepared; }, 60000));
    EXPECT_TRUE(waitFor(
        [&] {
            return chat("(window.chatMovieReports || []).some(r => r.includes('layout=h'))") ==
                   "true";
        },
        60000));
    EXPECT_TRUE(waitFor([&] { return players() == "wg-movie"; }, 60000)) << players();
    EXPECT_EQ(chat("navigator.language"), "en-US");
}

// Frames of the movie's area differ over time: the movie animates on screen.
TEST_F(FlashPlayerTest, TheMoviesAreaChangesOverTime) {
    start();
    ASSERT_TRUE(waitFor([&] { return main->ChatPagePrepared; }, 60000));
    ASSERT_TRUE(waitFor([&] { return chat("(window.chatMovieReports || []).length > 0") == "true"; },
                        60000));
    GdkPixbuf* first = movieArea();
    ASSERT_NE(first, nullptr);
    const gsize size = gdk_pixbuf_get_byte_length(first);
    EXPECT_TRUE(waitFor([&] {
        GdkPixbuf* now = movieArea();
        bool differs = now && gdk_pixbuf_get_byte_length(now) == size &&
                       std::memcmp(gdk_pixbuf_read_pixels(now), gdk_pixbuf_read_pixels(first),
                                   size) != 0;
        if (now) g_object_unref(now);
        return differs;
    }));
    g_object_unref(first);
}

}  // namespace
}  // namespace guitest
