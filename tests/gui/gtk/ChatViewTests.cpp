// The chat view as a person sets it up: spell checking in the locale's
// language, and a zoom that keeps the client's layout and recording whole.

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "RoadFixture.h"
#include "chatpage/PageLayout.h"
#include "platform/gtk/ChatZoom.h"
#include "platform/gtk/SpellChecking.h"

namespace guitest {
namespace {

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = g_getenv(name)) old_ = old, had_ = true;
        g_setenv(name, value, TRUE);
    }
    ~ScopedEnv() { had_ ? (void)g_setenv(name_, old_.c_str(), TRUE) : g_unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

std::vector<std::string> spellingOf(WebKitWebContext* context) {
    std::vector<std::string> languages;
    if (const gchar* const* loaded = webkit_web_context_get_spell_checking_languages(context))
        for (; *loaded; ++loaded) languages.emplace_back(*loaded);
    return languages;
}

TEST(ChatSpelling, UsesTheLocalesDictionaryUnlessSwitchedOff) {
    EXPECT_EQ(gtkui::spellingLanguages({"de_DE.UTF-8", "de_DE", "de.UTF-8", "de", "C"}),
              (std::vector<std::string>{"de_DE", "de"}));
    EXPECT_EQ(gtkui::spellingLanguages({"sr_RS@latin", "C.UTF-8", "POSIX"}),
              (std::vector<std::string>{"sr_RS"}));
    if (!g_file_test("/usr/share/hunspell/en_US.dic", G_FILE_TEST_EXISTS))
        GTEST_SKIP() << "no en_US dictionary (hunspell-en-us)";
    LogCapture log;
    {
        ScopedEnv language("LANGUAGE", "xx_YY");
        Harness h;
        EXPECT_TRUE(webkit_web_context_get_spell_checking_enabled(h.host().webContext()));
        EXPECT_TRUE(
            log.has("spell checking finds no dictionary for the locale's languages (xx_YY, xx)"))
            << log.all();
    }
    ScopedEnv language("LANGUAGE", "en_US");
    {
        Harness h;
        WebKitWebContext* context = h.host().webContext();
        EXPECT_TRUE(webkit_web_context_get_spell_checking_enabled(context));
        EXPECT_EQ(spellingOf(context), std::vector<std::string>{"en_US"});
    }
    Harness off({}, gtkui::defaultPageMemoryLimitMB(), {},
                [](gtkui::HostOptions& options) { options.spellChecking = false; });
    EXPECT_FALSE(webkit_web_context_get_spell_checking_enabled(off.host().webContext()));
}

TEST(ChatZoomLevels, StepThroughTheUsualLevelsWithinTheLimits) {
    struct Step {
        double level;
        int steps;
        double next;
    } steps[] = {{1.0, 1, 1.1}, {1.0, -1, 0.9}, {1.0, 3, 1.5},  {1.5, -8, 0.5},
                 {2.0, 1, 2.0}, {0.5, -1, 0.5}, {1.33, 1, 1.5}, {0.7, 0, 0.67}};
    for (const Step& s : steps)
        EXPECT_DOUBLE_EQ(gtkui::nextZoomLevel(s.level, s.steps), s.next) << s.level << s.steps;
    struct Kept {
        const char* text;
        bool valid;
        double level;
    } kept[] = {{"150\n", true, 1.5}, {"50", true, 0.5}, {"200", true, 2.0},  {"201", false, 1.0},
                {"abc", false, 1.0},  {"", false, 1.0},  {"nan", false, 1.0}, {"90 x", false, 1.0}};
    for (const Kept& k : kept) {
        bool valid = !k.valid;
        EXPECT_DOUBLE_EQ(gtkui::zoomFromText(k.text, valid), k.level) << k.text;
        EXPECT_EQ(valid, k.valid) << k.text;
    }
}

TEST(ChatZoomLevels, SurviveARestart) {
    const std::string kept = gtkui::zoomStateFile("whirligigcam");
    g_unlink(kept.c_str());
    {
        Harness h;
        ASSERT_TRUE(h.webView(h.host().WB()));
        h.host().chatZoom()->setLevel(1.5);
    }
    Harness h;
    WebKitWebView* chat = h.webView(h.host().WB());
    EXPECT_DOUBLE_EQ(webkit_web_view_get_zoom_level(chat), 1.5);
    h.host().chatZoom()->setLevel(9);
    EXPECT_DOUBLE_EQ(webkit_web_view_get_zoom_level(chat), gtkui::LargestZoom);
    g_unlink(kept.c_str());
}

class ChatZoomTest : public RoadTest {
protected:
    void TearDown() override { g_unlink(gtkui::zoomStateFile("whirligigcam").c_str()); }
    double zoom() { return webkit_web_view_get_zoom_level(chatView()); }
    void keys(const std::string& key, int times) {
        for (int i = 0; i < times; ++i) xdotool("key --clearmodifiers " + key);
    }
    // A real click on an element, where the zoomed page shows it.
    void zoomedClick(const std::string& id) {
        auto [x, y] = onScreen(id);
        int ox = 0, oy = 0;
        gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(h.host().gtkForm().window())), &ox,
                              &oy);
        const int zx = ox + static_cast<int>(std::lround((x - ox) * zoom()));
        const int zy = oy + static_cast<int>(std::lround((y - oy) * zoom()));
        xdotool("mousemove " + std::to_string(zx) + " " + std::to_string(zy) + " click 1");
    }
    // The page lays itself out for its own size in its pixels: the client
    // area divided by the zoom (a fraction of a page pixel rounds either way).
    bool pageFollows(OutsideRequests& x) {
        const GdkRectangle client = x.clientArea();
        std::istringstream in(
            chat("(d => [d.offsetWidth, d.offsetHeight, innerWidth, innerHeight, ...[['content', "
                 "'height'], ['cam', 'height'], ['cam', 'width'], ['log', 'height'], ['chatarea', "
                 "'width']].map(([id, p]) => document.getElementById(id).style[p])].join(' '))"
                 "(document.documentElement)"));
        int width = 0, height = 0, innerWidth = 0, innerHeight = 0;
        in >> width >> height >> innerWidth >> innerHeight;
        std::vector<std::string> values;
        for (std::string v; in >> v;) values.push_back(v);
        const chatpage::PageLayout l = chatpage::ComputePageLayout(width, height);
        const std::vector<std::string> expected = {
            chatpage::Pixels(l.contentHeight), chatpage::Pixels(l.camHeight), chatpage::Pixels(l.camWidth),
            chatpage::Pixels(l.logHeight), chatpage::Pixels(l.chatareaWidth)};
        return std::abs(innerWidth * zoom() - client.width) <= zoom() &&
               std::abs(innerHeight * zoom() - client.height) <= zoom() &&
               std::abs(width - innerWidth) <= 1 && std::abs(height - innerHeight) <= 1 &&
               values == expected;
    }
    // Record and Stop by real clicks; the recording takes the window's client area.
    void recordsTheWindow(OutsideRequests& x) {
        const int started = h.fakes().recordersStarted;
        zoomedClick("butRec");
        ASSERT_TRUE(waitFor([&] { return h.fakes().recordersStarted == started + 1; }));
        const GdkRectangle client = x.clientArea();
        EXPECT_EQ(h.fakes().captureLeft, client.x + 2);
        EXPECT_EQ(h.fakes().captureTop, client.y + 2);
        EXPECT_EQ(h.fakes().captureWidth, client.width - 4);
        EXPECT_EQ(h.fakes().captureHeight, client.height - 4);
        zoomedClick("butRec");
        ASSERT_TRUE(waitFor([&] { return h.fakes().recordersStopped == started + 1; }));
    }
};

TEST_F(ChatZoomTest, TheLayoutAndTheRecordingFollowTheWindowAtEveryZoom) {
    h.fakes().savePath = h.folder().path() + "/video.wmv";
    start();
    ASSERT_TRUE(prepared());
    OutsideRequests x(static_cast<unsigned long>(h.host().form().hWnd()));
    // After the start's own nudge of the window's size.
    ASSERT_TRUE(
        waitFor([&] { return !h.host().TimerResize().enabled() && x.clientArea().height == 560; }));
    zoomedClick("log");  // the keyboard goes to the window
    keys("ctrl+plus", 3);
    ASSERT_TRUE(waitFor([&] { return zoom() == 1.5; })) << zoom();
    x.resize(900, 700);
    EXPECT_TRUE(waitFor([&] { return pageFollows(x) && x.clientArea().width == 900; }))
        << chat(
               "[innerWidth, innerHeight, document.documentElement.offsetWidth, "
               "document.documentElement.offsetHeight, devicePixelRatio].join()")
        << " client " << x.clientArea().width << "x" << x.clientArea().height;
    recordsTheWindow(x);
    zoomedClick("log");
    keys("ctrl+0", 1);
    keys("ctrl+minus", 6);  // one past the smallest level
    ASSERT_TRUE(waitFor([&] { return zoom() == gtkui::SmallestZoom; })) << zoom();
    x.resize(800, 640);
    EXPECT_TRUE(waitFor([&] { return pageFollows(x) && x.clientArea().width == 800; }));
    recordsTheWindow(x);
    // Ctrl and the wheel: one step up.
    xdotool("keydown ctrl click 4 keyup ctrl");
    EXPECT_TRUE(waitFor([&] { return zoom() == 0.67; })) << zoom();
    g_autofree gchar* kept = nullptr;
    ASSERT_TRUE(
        g_file_get_contents(gtkui::zoomStateFile("whirligigcam").c_str(), &kept, nullptr, nullptr));
    EXPECT_STREQ(kept, "67\n");
}

}  // namespace
}  // namespace guitest
