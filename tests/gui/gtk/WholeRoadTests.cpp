// The whole program on the GTK backend: the window's core with real views
// against a local site, from the start page to the prepared chat page.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "TestSupport.h"
#include "app/Main.h"
#include "demo/SiteServer.h"

namespace guitest {
namespace {

std::string htmlFolder() {
    if (const char* folder = std::getenv("WHIRLIGIG_TEST_HTML")) return folder;
    return WHIRLIGIG_SOURCE_HTML;
}

// Clicks or moves the real pointer with xdotool, in screen coordinates.
void xdotool(const std::string& arguments) {
    std::string command = "xdotool " + arguments;
    ASSERT_TRUE(g_spawn_command_line_sync(command.c_str(), nullptr, nullptr, nullptr, nullptr));
}

class RoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_file_test((htmlFolder() + "/Dialog.html").c_str(), G_FILE_TEST_EXISTS))
            GTEST_SKIP() << "no HTML folder at " << htmlFolder();
        std::string copy = "cp -r '" + htmlFolder() + "/.' '" + h.folder().path() + "/HTML/'";
        ASSERT_EQ(std::system(copy.c_str()), 0);
        site.setLogging(false);
        site.addRoute("/other", "<!DOCTYPE html><html><body>another page</body></html>");
    }
    void start() {
        app::Settings settings{site.address("/update/"), site.address("/"),
                               site.address("/stats/index.html"),
                               site.address("/my_videos_upload")};
        main = std::make_unique<app::Main>(h.host(), settings);
        h.host().start();
    }
    WebKitWebView* startView() { return h.webView(h.host().wbload()); }
    WebKitWebView* chatView() { return h.webView(h.host().WB()); }
    std::string display(const std::string& id) {
        return pageEval(startView(),
                        "(e => e ? getComputedStyle(e).display : 'missing')"
                        "(document.getElementById('" +
                            id + "'))");
    }
    std::string chat(const std::string& script) { return pageEval(chatView(), script); }
    bool chatInFront() {
        GtkWidget* view = GTK_WIDGET(chatView());
        GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_widget_get_parent(view)));
        bool front = g_list_last(children)->data == view;
        g_list_free(children);
        return front;
    }
    bool prepared() {
        return waitFor([&] {
            return main->ChatPagePrepared && chatInFront() &&
                   chat("!!document.getElementById('whirligig')") == "true";
        });
    }
    // Screen coordinates of the centre of an element of the chat page.
    std::pair<int, int> onScreen(const std::string& id) {
        std::string where = chat(
            "(r => Math.round(r.left + r.width / 2) + ',' + "
            "Math.round(r.top + r.height / 2))(document.getElementById('" +
            id + "').getBoundingClientRect())");
        int x = 0, y = 0;
        std::sscanf(where.c_str(), "%d,%d", &x, &y);
        int ox = 0, oy = 0;
        gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(h.host().gtkForm().window())), &ox,
                              &oy);
        return {ox + x, oy + y};
    }

    site::SiteServer site;
    Harness h;
    std::unique_ptr<app::Main> main;
};

TEST_F(RoadTest, MissingDevicesStopAtTheirNotice) {
    struct Case {
        const char* flash;
        bool webcam;
        const char* shown;
    } cases[] = {{"", true, "noflash"}, {"WIN 10,0,0,0", false, "nowebcam"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        Harness fresh;
        fresh.probe().flashVersion = c.flash;
        fresh.probe().webcam = c.webcam;
        std::string copy = "cp -r '" + htmlFolder() + "/.' '" + fresh.folder().path() + "/HTML/'";
        ASSERT_EQ(std::system(copy.c_str()), 0);
        app::Main program(fresh.host(), {site.address("/update/"), site.address("/"), "", ""});
        fresh.host().start();
        WebKitWebView* view = fresh.webView(fresh.host().wbload());
        auto shown = [&](const std::string& id) {
            return pageEval(view,
                            "(e => e ? getComputedStyle(e).display : 'none')"
                            "(document.getElementById('" +
                                id + "'))") != "none";
        };
        EXPECT_TRUE(waitFor([&] { return shown(c.shown) && !shown("loading"); }));
        EXPECT_EQ(site.requestCount("/update/1"), 0);
    }
}

TEST_F(RoadTest, ACriticalUpdateStopsAfterLoading) {
    site.setUpdateReply("update=critical");
    site.setUpdateDelay(std::chrono::milliseconds(1500));
    start();
    // While the reply is on its way the start page says it is loading.
    ASSERT_TRUE(waitFor([&] { return site.requestCount("/update/1") == 1; }));
    EXPECT_TRUE(waitFor([&] { return display("loading") == "block"; }));
    EXPECT_TRUE(waitFor([&] { return display("mustupdate") == "block"; }));
    EXPECT_EQ(display("loading"), "none");
    EXPECT_EQ(site.requestCount("/"), 0);
}

TEST_F(RoadTest, AFailedCheckOffersRetryAndRetryGoesOn) {
    site.setUpdateFailure(site::UpdateFailure::ServerError);
    start();
    ASSERT_TRUE(waitFor([&] { return display("error") == "block"; }));
    site.setUpdateFailure(site::UpdateFailure::None);
    pageEval(startView(), "document.getElementById('butRetry').click()");
    EXPECT_TRUE(waitFor([&] { return site.requestCount("/update/1") == 2; }));
    EXPECT_TRUE(prepared());
    EXPECT_EQ(display("error"), "none");
}

// An update address the reader refuses: the check cannot even start, and the
// start screen fails as for a read that broke off, with both buttons live.
TEST_F(RoadTest, AnUpdateReadThatCannotStartShowsTheFailure) {
    main = std::make_unique<app::Main>(
        h.host(), app::Settings{"ftp://127.0.0.1/update/", site.address("/"),
                                site.address("/stats/index.html"), site.address("/up")});
    h.host().start();
    ASSERT_TRUE(waitFor([&] { return display("error") == "block"; }));
    EXPECT_EQ(display("loading"), "none");
    EXPECT_TRUE(main->butRetry.bound());
    EXPECT_TRUE(main->butCancel.bound());
    pageEval(startView(), "document.getElementById('butCancel').click()");
    EXPECT_TRUE(waitFor([&] { return h.host().windowGone(); }));
}

TEST_F(RoadTest, TheChatPageIsPreparedAndBroughtToTheFront) {
    start();
    ASSERT_TRUE(prepared());
    EXPECT_TRUE(waitFor([&] { return site.statisticsVisits() == 1; }));
    // Site sheets off, the client's sheet last and on, its script ran in the page.
    EXPECT_EQ(chat("[...document.styleSheets].slice(0, -1).every(s => s.disabled)"), "true");
    EXPECT_EQ(chat("(s => !s.disabled && s.ownerNode.textContent.includes('#whirligig'))"
                   "(document.styleSheets[document.styleSheets.length - 1])"),
              "true");
    EXPECT_EQ(chat("typeof window.whirligig"), "object");
    EXPECT_EQ(chat("getComputedStyle(document.documentElement).overflow"), "hidden");
    EXPECT_EQ(chat("document.body.style.borderStyle"), "none");
    EXPECT_NE(chat("document.body.style.backgroundImage").find("whirligig-res:///Img/bg.gif"),
              std::string::npos);

    // A themed image really shows: the screen has the image's pixels.
    std::string box = chat(
        "(r => [r.left, r.top, r.width, r.height].map(Math.round).join(','))"
        "(document.getElementById('butShare').getBoundingClientRect())");
    int x = 0, y = 0, w = 0, hgt = 0;
    ASSERT_EQ(std::sscanf(box.c_str(), "%d,%d,%d,%d", &x, &y, &w, &hgt), 4) << box;
    GdkPixbuf* image =
        gdk_pixbuf_new_from_file((h.folder().path() + "/HTML/Img/im_button.gif").c_str(), nullptr);
    ASSERT_NE(image, nullptr);
    GtkWindow* window = h.host().gtkForm().window();
    int matching = 0, sampled = 0;
    for (int dy = 3; dy < std::min(hgt, gdk_pixbuf_get_height(image)) - 3; dy += 4) {
        for (int dx = 8; dx < std::min(w, gdk_pixbuf_get_width(image)) / 4; dx += 4) {
            const guchar* p = gdk_pixbuf_get_pixels(image) + dy * gdk_pixbuf_get_rowstride(image) +
                              dx * gdk_pixbuf_get_n_channels(image);
            if (gdk_pixbuf_get_has_alpha(image) && p[3] < 255) continue;
            unsigned want = (unsigned{p[0]} << 16) | (unsigned{p[1]} << 8) | p[2];
            ++sampled;
            if (windowPixel(window, x + dx, y + dy) == want) ++matching;
        }
    }
    g_object_unref(image);
    ASSERT_GT(sampled, 0);
    EXPECT_GE(matching * 2, sampled) << matching << " of " << sampled;
}

TEST_F(RoadTest, TheChatScreenFollowsTheWindow) {
    start();
    ASSERT_TRUE(prepared());
    gtk_window_resize(h.host().gtkForm().window(), 900, 700);
    // The client's own elements, inside its mark-up (the site may use the same ids).
    auto style = [&](const std::string& id, const std::string& property) {
        return chat("document.querySelector('#whirligig #" + id + "').style." + property);
    };
    EXPECT_TRUE(waitFor([&] {
        return style("content", "height") == "620px" && style("chatarea", "width") == "490px";
    })) << style("content", "height")
        << " " << style("chatarea", "width");
    EXPECT_EQ(style("cam", "width"), "860px");
    EXPECT_NE(style("log", "height"), "");
    EXPECT_EQ(chat("document.documentElement.offsetWidth"), "900");
}

TEST_F(RoadTest, TheSharePanelFollowsTheRealPointer) {
    start();
    ASSERT_TRUE(prepared());
    auto shown = [&] {
        return chat("getComputedStyle(document.getElementById('ShareThis')).display");
    };
    auto [sx, sy] = onScreen("butShare");
    auto [cx, cy] = onScreen("log");
    xdotool("mousemove " + std::to_string(cx) + " " + std::to_string(cy));
    xdotool("mousemove " + std::to_string(sx) + " " + std::to_string(sy));
    EXPECT_TRUE(waitFor([&] { return shown() == "block"; }));
    xdotool("mousemove " + std::to_string(cx) + " " + std::to_string(cy));
    EXPECT_TRUE(waitFor([&] { return shown() == "none"; }));
}

TEST_F(RoadTest, RightClickOpensNoMenuAndDraggingSelectsNothing) {
    start();
    ASSERT_TRUE(prepared());
    int menus = 0;
    g_signal_connect(chatView(), "context-menu",
                     G_CALLBACK(+[](WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                    WebKitHitTestResult*, gpointer n) -> gboolean {
                         ++*static_cast<int*>(n);
                         return TRUE;
                     }),
                     &menus);
    chat(
        "(window.seen = {contextmenu: 0, mouseup: 0}, ['contextmenu', 'mouseup'].forEach(t => "
        "addEventListener(t, () => seen[t]++, true)), 1)");
    auto [x, y] = onScreen("log");
    xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 3");
    ASSERT_TRUE(waitFor([&] { return chat("seen.contextmenu") == "1"; }));
    // Drag across the page's text.
    auto [lx, ly] = onScreen("log");
    xdotool("mousemove " + std::to_string(lx - 100) + " " + std::to_string(ly) + " mousedown 1");
    xdotool("mousemove " + std::to_string(lx + 100) + " " + std::to_string(ly + 40) + " mouseup 1");
    ASSERT_TRUE(waitFor([&] { return chat("seen.mouseup") != "0"; }));
    EXPECT_EQ(chat("String(getSelection())"), "");
    EXPECT_EQ(menus, 0);  // the menu request would have come before the later events
}

TEST_F(RoadTest, LeavingTheChatPageShowsLevelCleared) {
    start();
    ASSERT_TRUE(prepared());
    chat("location.href = '/other', 1");
    EXPECT_TRUE(waitFor([&] { return display("levelcleared") == "block"; }));
    EXPECT_EQ(display("loading"), "none");
}

TEST_F(RoadTest, ClosingTheWindowStopsARunningRecording) {
    h.probe().savePath = h.folder().path() + "/video.wmv";
    start();
    ASSERT_TRUE(prepared());
    auto [x, y] = onScreen("butRec");
    xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
    ASSERT_TRUE(waitFor([&] { return h.probe().recordersStarted == 1; }));
    EXPECT_TRUE(main->IsRecording);
    gtk_window_close(h.host().gtkForm().window());
    EXPECT_TRUE(waitFor([&] { return h.host().windowGone(); }));
    EXPECT_EQ(h.probe().recordersStopped, 1);
    EXPECT_EQ(h.probe().recordersAlive, 0);
}

}  // namespace
}  // namespace guitest

namespace guitest {
namespace {

TEST_F(RoadTest, AChatPageThatRunsAScriptForTenSecondsIsStillPrepared) {
    site.addRoute("/busy",
                  "<!DOCTYPE html><html><head><link rel=\"stylesheet\" href=\"/site.css\"></head>"
                  "<body><div id=\"chatarea\">chat</div><script>"
                  "addEventListener('load', () => setTimeout(() => {"
                  "  const end = Date.now() + 10000; while (Date.now() < end) {} }, 0));"
                  "</script></body></html>");
    main = std::make_unique<app::Main>(
        h.host(), app::Settings{site.address("/update/"), site.address("/busy"),
                                site.address("/stats/index.html"), site.address("/up")});
    // While the preparation waits for the page, the window still follows the
    // window manager: a probe running inside that wait resizes it and sees the result.
    using Self = std::remove_pointer_t<decltype(this)>;
    struct Probe {
        Self* test;
        bool asked = false;
        bool resizedWhileBusy = false;
    } probe{this};
    guint ticker = g_timeout_add(
        50,
        [](gpointer data) -> gboolean {
            auto* p = static_cast<Probe*>(data);
            if (!p->test->main->ChatPagePrepared || p->test->chatInFront())
                return G_SOURCE_CONTINUE;
            GtkWindow* window = p->test->h.host().gtkForm().window();
            if (!p->asked) {
                gtk_window_resize(window, 800, 640);
                p->asked = true;
            } else {
                int width = 0, height = 0;
                gtk_window_get_size(window, &width, &height);
                if (width == 800) p->resizedWhileBusy = true;
            }
            return G_SOURCE_CONTINUE;
        },
        &probe);
    h.host().start();
    EXPECT_TRUE(prepared());
    g_source_remove(ticker);
    EXPECT_TRUE(probe.resizedWhileBusy);
    EXPECT_EQ(chat("typeof window.whirligig"), "object");
}

}  // namespace
}  // namespace guitest
