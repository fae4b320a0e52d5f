// The whole program on the GTK backend: the window's core with real views
// against a local site, from the start page to the prepared chat page.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "RoadFixture.h"
#include "chatpage/PageLayout.h"

namespace guitest {
namespace {

TEST_F(RoadTest, MissingDevicesStopAtTheirNotice) {
    struct Case {
        const char* flash;
        bool webcam;
        const char* shown;
    } cases[] = {{"", true, "noflash"}, {"WIN 10,0,0,0", false, "nowebcam"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        Harness fresh;
        fresh.fakes().flashVersion = c.flash;
        fresh.fakes().webcam = c.webcam;
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
    click("butRetry", startView());
    EXPECT_TRUE(waitFor([&] { return site.requestCount("/update/1") == 2; }));
    EXPECT_TRUE(prepared());
    EXPECT_EQ(display("error"), "none");
}

// An update address the reader refuses: the check cannot even start, and the
// start screen fails as for a read that broke off, with both buttons live.
TEST_F(RoadTest, AnUpdateReadThatCannotStartShowsTheFailure) {
    main = std::make_unique<app::Main>(
        h.host(), support::Settings{"ftp://127.0.0.1/update/", site.address("/"),
                                    site.address("/stats/index.html"), site.address("/up")});
    h.host().start();
    ASSERT_TRUE(waitFor([&] { return display("error") == "block"; }));
    EXPECT_EQ(display("loading"), "none");
    // Retry shows the loading block while it asks again; the ask fails as before.
    ASSERT_EQ(pageEval(startView(),
                       "new MutationObserver(() => window.retried = true)"
                       ".observe(document.getElementById('loading'), {attributes: true}), 1"),
              "1");
    click("butRetry", startView());
    EXPECT_TRUE(
        waitFor([&] { return pageEval(startView(), "window.retried === true") == "true"; }));
    EXPECT_TRUE(waitFor([&] { return display("error") == "block"; }));
    click("butCancel", startView());
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

    // A themed image really shows: the screen has the image's pixels (with
    // the pointer, which an earlier test may have left there, off the button).
    xdotool("mousemove 1279 1023");
    g_autoptr(GdkPixbuf) image =
        gdk_pixbuf_new_from_file((h.folder().path() + "/HTML/Img/im_button.gif").c_str(), nullptr);
    ASSERT_NE(image, nullptr);
    GtkWindow* window = h.host().gtkForm().window();
    int matching = 0, sampled = 0;
    std::string box;
    // The page is prepared before the engine has painted it, and the button's
    // place may still change as the page settles: read both until they agree.
    const auto count = [&] {
        matching = sampled = 0;
        box = chat(
            "(r => [r.left, r.top, r.width, r.height].map(Math.round).join(','))"
            "(document.getElementById('butShare').getBoundingClientRect())");
        int x = 0, y = 0, w = 0, hgt = 0;
        if (std::sscanf(box.c_str(), "%d,%d,%d,%d", &x, &y, &w, &hgt) != 4) return false;
        for (int dy = 3; dy < std::min(hgt, gdk_pixbuf_get_height(image)) - 3; dy += 4) {
            for (int dx = 8; dx < std::min(w, gdk_pixbuf_get_width(image)) / 4; dx += 4) {
                const guchar* p = gdk_pixbuf_get_pixels(image) +
                                  dy * gdk_pixbuf_get_rowstride(image) +
                                  dx * gdk_pixbuf_get_n_channels(image);
                if (gdk_pixbuf_get_has_alpha(image) && p[3] < 255) continue;
                unsigned want = (unsigned{p[0]} << 16) | (unsigned{p[1]} << 8) | p[2];
                ++sampled;
                if (windowPixel(window, x + dx, y + dy) == want) ++matching;
            }
        }
        return sampled > 0 && matching * 2 >= sampled;
    };
    EXPECT_TRUE(waitFor(count)) << matching << " of " << sampled << " at " << box;
}

// The window changed from outside the program, by the window manager on
// request as by a user. After each change the page must end at the client
// area's size, with the five elements sized from that final size.
enum class OutsideChange { None, Resize, MaximiseThenRestore, DragInSteps, BelowTheMinimum };

class ChatScreenTest : public RoadTest, public ::testing::WithParamInterface<OutsideChange> {
protected:
    // Everything read from the page in one evaluation, so that it belongs to one moment.
    struct Seen {
        int width = 0, height = 0, innerWidth = 0, innerHeight = 0;
        std::vector<std::string> values;
    };
    Seen seen() {
        std::string text = chat(
            "(d => [d.offsetWidth, d.offsetHeight, innerWidth, innerHeight, "
            "...[['content', 'height'], ['cam', 'height'], ['cam', 'width'], ['log', 'height'], "
            "['chatarea', 'width']].map(([id, p]) => "
            "document.getElementById(id).style[p])].join(' '))"
            "(document.documentElement)");
        Seen s;
        std::istringstream in(text);
        in >> s.width >> s.height >> s.innerWidth >> s.innerHeight;
        for (std::string v; in >> v;) s.values.push_back(v);
        return s;
    }
    static std::vector<std::string> formula(int W, int H) {
        chatpage::PageLayout l = chatpage::ComputePageLayout(W, H);
        return {chatpage::Pixels(l.contentHeight), chatpage::Pixels(l.camHeight),
                chatpage::Pixels(l.camWidth), chatpage::Pixels(l.logHeight),
                chatpage::Pixels(l.chatareaWidth)};
    }
    GtkWindow* window() { return h.host().gtkForm().window(); }

    // Waits until the client area has reached what the change leads to and
    // the page has settled on it; then the views and the window's measures
    // must agree with the client area as the X server has it.
    void expectSettled(OutsideRequests& x, const std::function<bool(GdkRectangle)>& reached) {
        GdkRectangle client{};
        Seen page;
        bool settled = waitFor([&] {
            client = x.clientArea();
            if (!reached(client)) return false;
            page = seen();
            return page.innerWidth == client.width && page.innerHeight == client.height &&
                   page.values == formula(page.width, page.height);
        });
        std::string values;
        for (const std::string& v : page.values) values += v + " ";
        ASSERT_TRUE(settled) << "client " << client.width << "x" << client.height << ", page "
                             << page.width << "x" << page.height << ", values " << values;
        EXPECT_EQ(page.width, client.width);
        EXPECT_EQ(page.height, client.height);
        // The start view is hidden behind the chat; it takes the window's size when it shows.
        EXPECT_FALSE(gtk_widget_get_visible(h.host().view(h.host().wbload()).widget()));
        GtkWidget* chatView = h.host().view(h.host().WB()).widget();
        EXPECT_EQ(gtk_widget_get_allocated_width(chatView), client.width);
        EXPECT_EQ(gtk_widget_get_allocated_height(chatView), client.height);
        // The recording takes its rectangle from these measures.
        const platform::WindowGeometry g = h.host().form().geometry();
        const double side = (g.width - g.clientWidth) / 2.0;
        EXPECT_EQ(g.clientWidth, client.width);
        EXPECT_EQ(g.clientHeight, client.height);
        EXPECT_DOUBLE_EQ(g.left + side, client.x);
        EXPECT_DOUBLE_EQ(g.top + (g.height - g.clientHeight) - side, client.y);
    }
};

TEST_P(ChatScreenTest, TheChatScreenFollowsTheWindow) {
    start();
    ASSERT_TRUE(prepared());
    OutsideRequests x(static_cast<unsigned long>(h.host().form().hWnd()));
    auto size = [](int width, int height) {
        return [=](GdkRectangle c) { return c.width == width && c.height == height; };
    };
    // The timer's nudge: 25 twips taller, two whole pixels.
    expectSettled(x, [&](GdkRectangle c) {
        return !h.host().TimerResize().enabled() && c.width == 698 && c.height == 560;
    });
    switch (GetParam()) {
        case OutsideChange::None:
            break;
        case OutsideChange::Resize:
            x.resize(900, 700);
            expectSettled(x, size(900, 700));
            break;
        case OutsideChange::MaximiseThenRestore:
            x.maximise(true);
            expectSettled(x, [&](GdkRectangle c) { return x.maximised() && c.width > 1000; });
            x.maximise(false);
            expectSettled(x, [&](GdkRectangle c) { return !x.maximised() && c.width == 698; });
            EXPECT_EQ(x.clientArea().height, 560);
            break;
        case OutsideChange::DragInSteps:
            // Each step reaches the window before the next, as a dragged corner does;
            // the page is left to catch up.
            for (int step = 1; step <= 12; ++step) {
                x.resize(698 + 8 * step, 560 + 8 * step);
                ASSERT_TRUE(
                    waitFor([&] { return size(698 + 8 * step, 560 + 8 * step)(x.clientArea()); }));
            }
            expectSettled(x, size(794, 656));
            break;
        case OutsideChange::BelowTheMinimum:
            x.resize(500, 400);
            expectSettled(x, [&](GdkRectangle c) {
                gtkui::FrameExtents e = h.host().gtkForm().frameExtents();
                return c.width == app::MinimumWindowSize.width - e.left - e.right &&
                       c.height == app::MinimumWindowSize.height - e.top - e.bottom;
            });
            break;
    }
}

std::string changeName(const ::testing::TestParamInfo<OutsideChange>& info) {
    static const char* const names[] = {"NudgeAtStart", "ResizeTo900x700", "MaximiseThenRestore",
                                        "DragIn12Steps", "ResizeBelowTheMinimum"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Outside, ChatScreenTest,
                         ::testing::Values(OutsideChange::None, OutsideChange::Resize,
                                           OutsideChange::MaximiseThenRestore,
                                           OutsideChange::DragInSteps,
                                           OutsideChange::BelowTheMinimum),
                         changeName);

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

// A chat page whose own script works on its own elements, some with the ids
// that the client's mark-up carries too.
constexpr const char* kOwnElementsPage = R"(<!DOCTYPE html><html><head>
<style>#topbar { color: red; }</style></head><body>
<div id="topbar" class="module-round">site bar</div><div id="load_msg">site loading</div>
<div id="content"><div id="cam">site cam</div><div id="log"></div><div id="chatarea"></div></div>
<iframe name="side" src="/ad.html"></iframe>
<script>
var ids = ['topbar', 'load_msg', 'content', 'cam', 'log', 'chatarea'];
var mine = {};
ids.forEach(function (id) { mine[id] = document.getElementById(id); });
mine.topbar.style.background = 'red';
mine.load_msg.style.background = 'blue';
var lines = 0;
var line = function (text) { var p = document.createElement('p'); p.textContent = text; return p; };
setInterval(function () {
  lines += 1;
  document.getElementById('chatarea').appendChild(line('site chat line ' + lines));
  mine.log.appendChild(line('site log line ' + lines));
}, 50);
</script></body></html>)";

TEST_F(RoadTest, TheSitesOwnElementsAndScriptsKeepWorking) {
    site.addRoute("/own", kOwnElementsPage);
    site.addRoute("/framed", "<!DOCTYPE html><html><body>framed</body></html>");
    start("/own");
    ASSERT_TRUE(prepared());
    // The site's lookups and its references still meet its own elements.
    EXPECT_EQ(chat("ids.every(id => document.getElementById(id) === mine[id])"), "true");
    // The client's script started on its own screen.
    EXPECT_TRUE(waitFor([&] {
        return chat("document.getElementById('wg-notes').textContent").find("ready") !=
               std::string::npos;
    }));
    std::string linesNow = chat("lines");
    ASSERT_TRUE(waitFor([&] { return chat("lines > " + linesNow + " + 5") == "true"; }));
    EXPECT_EQ(chat("mine.chatarea.children.length === lines && mine.log.children.length === lines"),
              "true");
    EXPECT_EQ(chat("document.getElementById('whirligig').textContent.includes('site ')"), "false");
    // Theming reached the site's DIVs; the rounded-box value wins on the top bar.
    EXPECT_NE(chat("mine.topbar.style.backgroundImage").find("Img/tl.gif"), std::string::npos);
    EXPECT_NE(chat("mine.load_msg.style.backgroundImage").find("Img/logo.gif"), std::string::npos);
    // The layout sizes the elements the page finds, not the client's boxes,
    // which keep a usable size from the client's style sheet.
    EXPECT_TRUE(waitFor([&] {
        return chat(
                   "(d => mine.cam.style.width === d.offsetWidth - 40 + 'px' && "
                   "mine.chatarea.style.width === d.offsetWidth - 410 + 'px')"
                   "(document.documentElement)") == "true";
    }));
    EXPECT_EQ(chat("['content', 'cam', 'log'].every(id => mine[id].style.height !== '')"), "true");
    EXPECT_EQ(chat("['content', 'cam', 'log', 'chatarea'].every(id => "
                   "(e => e.style.height + e.style.width === '' && e.offsetHeight > 100)"
                   "(document.querySelector('#whirligig #' + id)))"),
              "true");

    // The site's window.open: a new window goes to the desktop; a named frame of the page loads.
    EXPECT_EQ(chat("window.open('/invite')"), "null");
    EXPECT_TRUE(waitFor([&] { return h.fakes().opened.size() == 1; }));
    EXPECT_EQ(h.fakes().opened, std::vector<std::string>{site.address("/invite")});
    chat("(window.open('/framed', 'side'), 1)");
    EXPECT_TRUE(waitFor([&] { return site.requestCount("/framed") == 1; }));
    EXPECT_EQ(h.fakes().opened.size(), 1u);
}

TEST_F(RoadTest, ShareEntriesOpenInTheDesktopBrowser) {
    start();
    ASSERT_TRUE(prepared());
    auto [sx, sy] = onScreen("butShare");
    auto [cx, cy] = onScreen("log");
    chat("(addEventListener('mouseover', e => { window.over = e.target.id; }, true), 1)");
    // How many times the panel was shown.
    chat(
        "(window.shown = 0, (p => new MutationObserver(() => { shown += "
        "getComputedStyle(p).display === 'block'; }).observe(p, {attributes: true}))"
        "(document.getElementById('ShareThis')), 1)");
    std::vector<std::string> expected;
    for (const char* id :
         {"facebook", "twitter", "bebo", "myspace", "gmail", "yahoo", "hotmail", "aol"}) {
        SCOPED_TRACE(id);
        // Away from the button (choosing an entry closed the panel), then onto it.
        xdotool("mousemove " + std::to_string(cx) + " " + std::to_string(cy));
        ASSERT_TRUE(
            waitFor([&] { return chat("!!document.querySelector('#log:hover')") == "true"; }));
        xdotool("mousemove " + std::to_string(sx) + " " + std::to_string(sy));
        ASSERT_TRUE(waitFor([&] {
            return chat("getComputedStyle(document.getElementById('ShareThis')).display") ==
                   "block";
        }));
        expected.push_back(chat(std::string("document.getElementById('") + id + "').href"));
        // The entries are inside the button: moving onto one neither leaves
        // nor enters it, and the panel stays. Once the page has seen the
        // pointer on the entry, one more round trip lets any answer land.
        chat("(window.over = '', 1)");
        const std::string shownBefore = chat("shown");
        auto [ex, ey] = onScreen(id);
        xdotool("mousemove " + std::to_string(ex) + " " + std::to_string(ey));
        ASSERT_TRUE(waitFor([&] { return chat("over") == id; }));
        chat("1");
        ASSERT_TRUE(waitFor([&] {
            return chat(std::string("(e => (r => document.elementFromPoint(r.left + r.width / 2, "
                                    "r.top + r.height / 2) === e)(e.getBoundingClientRect()))"
                                    "(document.getElementById('") +
                        id + "'))") == "true";
        }));
        EXPECT_EQ(chat("shown"), shownBefore) << "the panel was hidden on the way to the entry";
        xdotool("click 1");
        ASSERT_TRUE(waitFor([&] { return h.fakes().opened.size() == expected.size(); }));
    }
    EXPECT_EQ(h.fakes().opened, expected);
    EXPECT_NE(expected[0].find("facebook.com"), std::string::npos);
    // Nothing claims that a site was opened: the desktop's browser shows it or says why not.
    EXPECT_EQ(chat("document.getElementById('wg-notes').textContent.includes('Opening')"), "false");
}

TEST_F(RoadTest, RightClickOnTheStartScreenOpensNoMenu) {
    site.setUpdateReply("update=critical");
    start();
    ASSERT_TRUE(waitFor([&] { return display("mustupdate") == "block"; }));
    int menus = 0;
    g_signal_connect(startView(), "context-menu",
                     G_CALLBACK(+[](WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                    WebKitHitTestResult*, gpointer n) -> gboolean {
                         ++*static_cast<int*>(n);
                         return TRUE;
                     }),
                     &menus);
    pageEval(startView(), "(window.seen = 0, addEventListener('contextmenu', () => seen++), 1)");
    auto [x, y] = onScreen("mustupdate", startView());
    xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 3");
    ASSERT_TRUE(waitFor([&] { return pageEval(startView(), "seen") == "1"; }));
    // The menu would be asked for right after the page's event; a round trip later it has been.
    EXPECT_EQ(pageEval(startView(), "1"), "1");
    EXPECT_EQ(menus, 0);
    EXPECT_EQ(site.requestCount("/update/1"), 1);
}

TEST_F(RoadTest, LeavingTheChatPageShowsLevelCleared) {
    start();
    ASSERT_TRUE(prepared());
    chat("location.href = '/other', 1");
    EXPECT_TRUE(waitFor([&] { return display("levelcleared") == "block"; }));
    EXPECT_EQ(display("loading"), "none");
}

TEST_F(RoadTest, ClosingTheWindowStopsARunningRecording) {
    h.fakes().savePath = h.folder().path() + "/video.wmv";
    start();
    ASSERT_TRUE(prepared());
    auto [x, y] = onScreen("butRec");
    xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
    ASSERT_TRUE(waitFor([&] { return h.fakes().recordersStarted == 1; }));
    EXPECT_EQ(h.fakes().recordersAlive, 1);
    gtk_window_close(h.host().gtkForm().window());
    EXPECT_TRUE(waitFor([&] { return h.host().windowGone(); }));
    EXPECT_EQ(h.fakes().recordersStopped, 1);
    EXPECT_EQ(h.fakes().recordersAlive, 0);
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
        h.host(), support::Settings{site.address("/update/"), site.address("/busy"),
                                    site.address("/stats/index.html"), site.address("/up")});
    // While the preparation waits for the page, the window still follows the
    // window manager: a timer running inside that wait resizes it and sees the result.
    using Self = std::remove_pointer_t<decltype(this)>;
    struct ResizeInWait {
        Self* test;
        bool asked = false;
        bool resizedWhileBusy = false;
    } resize{this};
    guint ticker = g_timeout_add(
        50,
        [](gpointer data) -> gboolean {
            auto* p = static_cast<ResizeInWait*>(data);
            // A handler runs, so this runs inside its wait, once the busy
            // page has loaded and before the chat view comes forward (the
            // preparation may wait as early as its first read).
            const gchar* chat = webkit_web_view_get_uri(p->test->chatView());
            if (!p->test->h.host().queue().running() || !chat || !g_str_has_suffix(chat, "/busy") ||
                p->test->chatInFront())
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
        &resize);
    h.host().start();
    EXPECT_TRUE(prepared());
    g_source_remove(ticker);
    EXPECT_TRUE(resize.resizedWhileBusy);
    EXPECT_EQ(chat("typeof window.whirligig"), "object");
}

}  // namespace
}  // namespace guitest
