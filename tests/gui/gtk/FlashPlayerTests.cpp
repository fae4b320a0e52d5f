// The bundled Flash player in the chat view: the client's template plays the
// site's movie, objects that are not rendered play nothing.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RoadFixture.h"
#include "SoundServer.h"
#include "TestSupport.h"
#include "app/Main.h"
#include "demo/ChatMovie.h"
#include "demo/SiteServer.h"
#include "platform/gtk/ChatViewPlayer.h"
#include "platform/gtk/PreferredLanguages.h"

namespace guitest {
namespace {

class FlashPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_file_test(WHIRLIGIG_PLAYER_FOLDER "/ruffle.js", G_FILE_TEST_IS_REGULAR))
            GTEST_SKIP() << "no bundled Flash player at " WHIRLIGIG_PLAYER_FOLDER;
        std::string copy = "cp -r '" + htmlFolder() + "/.' '" + folder.path() +
                           "/HTML/' && ln -s '" + WHIRLIGIG_PLAYER_FOLDER "' '" + folder.path() +
                           "/flashplayer'";
        ASSERT_EQ(std::system(copy.c_str()), 0);
        site.setLogging(false);
    }
    void start() {
        h = std::make_unique<Harness>(folder.path());
        main = std::make_unique<app::Main>(h->host(), siteSettings(site));
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
    // The chat page's movie at movie instead of its own address: it plays,
    // and its calls do not reach the page (its object gives it "sameDomain",
    // the client's copy no more).
    void expectMovieWithoutScripting(const std::string& movie, site::SiteServer& other) {
        std::string page = site::SiteServer::defaultChatPage();
        for (size_t at = page.find("/flash/chat.swf"); at != std::string::npos;
             at = page.find("/flash/chat.swf", at + movie.size()))
            page.replace(at, 15, movie);
        site.setChatPage(page);
        start();
        ASSERT_TRUE(waitFor(
            [&] {
                return chat(
                           "(p => !!p && p.ruffle().readyState === 2 && p.ruffle().isPlaying)"
                           "(document.querySelector('object.wg-movie > ruffle-player'))") == "true";
            },
            60000));
        // Sixty frames of the page later the movie's first frame, which calls the page, has run.
        chat(
            "(window.wgTicks = 0, (function f() { if (++wgTicks < 60) requestAnimationFrame(f); "
            "})(), "
            "1)");
        ASSERT_TRUE(waitFor([&] { return chat("wgTicks >= 60") == "true"; }));
        EXPECT_GE(other.requestCount("/flash/chat.swf"), 1);
        EXPECT_EQ(chat("(window.chatMovieReports || []).length"), "0");
    }
    TempFolder folder;
    site::SiteServer site;
    std::unique_ptr<Harness> h;
    std::unique_ptr<app::Main> main;
};

// Under a locale that names no language (the player's locale set-up throws on
// the language "C"): the template's movie gets the flashvars with layout=h, and
// the site's own object, hidden by the client, keeps no player. The loading
// card under the movie is no longer rendered once the movie shows.
TEST_F(FlashPlayerTest, TheTemplatesMoviePlaysAndTheHiddenObjectDoesNot) {
    setenv("LC_ALL", "C.UTF-8", 1);
    unsetenv("LANGUAGE");
    start();
    ASSERT_TRUE(
        waitFor([&] { return chat("!!document.getElementById('whirligig')") == "true"; }, 60000));
    EXPECT_TRUE(waitFor(
        [&] {
            return chat("(window.chatMovieReports || []).some(r => r.includes('layout=h'))") ==
                   "true";
        },
        60000));
    EXPECT_TRUE(waitFor([&] { return players() == "wg-movie"; }, 60000)) << players();
    EXPECT_EQ(chat("navigator.language"), "en-US");
    EXPECT_EQ(chat("document.querySelector('#whirligig .wg-load-card').getClientRects().length"),
              "0");
}

// A player that stops after loading (as one does after an occasional
// WebAssembly fault) is made again: the movie starts over and reports again.
TEST_F(FlashPlayerTest, AStoppedPlayerIsMadeAgain) {
    start();
    const std::string reports =
        "(window.chatMovieReports || []).filter(r => r.includes('layout=h')).length";
    // The movie may report more than once before the stop (a player started
    // twice while the page settles reports from each), so count from what was
    // seen just before stopping it.
    auto count = [&] { return std::atoi(chat(reports).c_str()); };
    ASSERT_TRUE(waitFor([&] { return count() >= 1; }, 60000));
    const int before =
        std::atoi(chat("((n) => (document.querySelector('object.wg-movie > ruffle-player').ruffle()"
                       ".suspend(), n))(" +
                       reports + ")")
                      .c_str());
    ASSERT_GE(before, 1);
    EXPECT_TRUE(waitFor([&] { return count() > before; }, 60000)) << chat(reports);
    EXPECT_TRUE(waitFor([&] { return players() == "wg-movie"; }, 60000)) << players();
}

TEST_F(FlashPlayerTest, AMovieFromAnotherSiteCannotScriptThePage) {
    site::SiteServer other;
    other.setLogging(false);
    expectMovieWithoutScripting(other.address("/flash/chat.swf"), other);
}

// The movie is judged where it comes from after redirects: an address of the
// chat site that leads to another site's movie gives it no access.
TEST_F(FlashPlayerTest, AMovieRedirectedToAnotherSiteCannotScriptThePage) {
    site::SiteServer other;
    other.setLogging(false);
    site.addRedirect("/redir/chat.swf", other.address("/flash/chat.swf"));
    expectMovieWithoutScripting("/redir/chat.swf", other);
}

// The movie's chime (a sound of the SWF file, once every two seconds) reaches
// the speakers without a click in the page.
TEST_F(FlashPlayerTest, TheMoviesSoundIsHeardWithoutAClick) {
    SoundServer sound;
    ASSERT_TRUE(sound.running()) << "no private PulseAudio server";
    start();
    ASSERT_TRUE(waitFor([&] { return chat("(window.chatMovieReports || []).length > 0") == "true"; },
                        60000));
    // A chime is half a second in each two: 2.5 s hold at least one whole.
    const std::vector<short> heard = sound.record(2.5);
    ASSERT_GT(heard.size(), 96000u);
    EXPECT_GT(tonePower(heard, site::kChimeHertz), 1e-4) << "the movie is not heard";
    EXPECT_LT(tonePower(heard, 1000), 1e-6);
}

// The movie stands still while no one can see it, and then plays on from
// where it was: the loops it reports stop while the window is minimised (as
// the window manager does it, asked through GTK) and while the start view
// covers the chat view, and count on from there afterwards, not from a new
// start.
TEST_F(FlashPlayerTest, TheMovieStandsStillWhileNoOneSeesIt) {
    start();
    auto loops = [&] { return std::atoi(chat("window.chatMovieLoops || 0").c_str()); };
    ASSERT_TRUE(waitFor([&] { return loops() >= 1; }, 60000));
    const std::string paused =
        "[...whirligigFlashPlayer.players.values()].every(e => e.paused && "
        "!e.player.ruffle().isPlaying)";
    auto standsStillThenPlaysOn = [&](const char* while_,
                                      const std::function<void()>& show) {
        ASSERT_TRUE(waitFor([&] { return chat(paused) == "true"; }, 10000)) << while_;
        const int at = loops();
        // Three loops' time: a movie that plays reports at least twice in it.
        EXPECT_FALSE(waitFor([&] { return loops() != at; }, 6000)) << while_;
        show();
        EXPECT_TRUE(waitFor([&] { return loops() != at; }, 30000)) << while_;
        EXPECT_EQ(loops(), at + 1) << while_;
    };
    GtkWindow* window = h->host().gtkForm().window();
    gtk_window_iconify(window);
    ASSERT_TRUE(waitFor(
        [&] {
            return gdk_window_get_state(gtk_widget_get_window(GTK_WIDGET(window))) &
                   GDK_WINDOW_STATE_ICONIFIED;
        },
        10000));
    standsStillThenPlaysOn("minimised", [&] { gtk_window_deiconify(window); });
    h->host().wbload().ZOrder(0);
    standsStillThenPlaysOn("covered", [&] { h->host().WB().ZOrder(0); });
}

TEST(WebLanguages, ComeFromTheLocaleNames) {
    struct Case {
        std::vector<std::string> names;
        std::vector<std::string> languages;
    } cases[] = {
        {{"de_DE.UTF-8", "de_DE", "de.UTF-8", "de", "C"}, {"de-DE", "de"}},
        {{"pt_BR@variant", "pt_BR", "en_GB", "en"}, {"pt-BR", "en-GB", "en"}},
        {{"C.UTF-8", "C.utf8", "C"}, {"en-US"}},
        {{"POSIX"}, {"en-US"}},
        {{}, {"en-US"}},
    };
    for (const Case& c : cases) EXPECT_EQ(gtkui::webLanguages(c.names), c.languages);
}

}  // namespace
}  // namespace guitest
