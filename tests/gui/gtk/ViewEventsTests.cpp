// A view's navigation events: completions of the page and of its frames,
// navigations the handler cancels, failed navigations and silent views.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "demo/SiteServer.h"

namespace guitest {
namespace {

// An address on 127.0.0.1 where nothing listens.
std::string closedPortAddress() {
    g_autoptr(GSocket) socket =
        g_socket_new(G_SOCKET_FAMILY_IPV4, G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_TCP, nullptr);
    g_autoptr(GInetAddress) loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
    g_autoptr(GSocketAddress) any = g_inet_socket_address_new(loopback, 0);
    g_socket_bind(socket, any, TRUE, nullptr);
    g_autoptr(GSocketAddress) bound = g_socket_get_local_address(socket, nullptr);
    guint16 port = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound));
    g_socket_close(socket, nullptr);
    return "http://127.0.0.1:" + std::to_string(port) + "/";
}

struct Seen {
    std::vector<std::pair<platform::BrowserObject, std::string>> completed;
    std::vector<std::string> before;
    std::vector<std::pair<std::string, int>> errors;
};

class ViewEventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        site.setLogging(false);
        h.host().start();
    }
    // Records the events of WB; the handlers cancel what the flags say.
    void record(bool cancelNavigation, bool cancelError) {
        wb().setEvents(
            {[=, this](platform::BrowserObject, const std::string& url, bool& cancel) {
                 seen.before.push_back(url);
                 cancel = cancelNavigation && url.find("/blocked") != std::string::npos;
             },
             [this](platform::BrowserObject pDisp, const std::string& url) {
                 seen.completed.emplace_back(pDisp, url);
             },
             [=, this](platform::BrowserObject, const std::string& url, int status, bool& cancel) {
                 seen.errors.emplace_back(url, status);
                 cancel = cancelError;
             },
             nullptr, nullptr});
    }
    bool completedTop(const std::string& path) {
        for (auto& [pDisp, url] : seen.completed)
            if (pDisp == wb().topLevelBrowser() && url == site.address(path)) return true;
        return false;
    }
    platform::BrowserView& wb() { return h.host().WB(); }
    std::string page(const std::string& script) { return pageEval(h.webView(wb()), script); }

    site::SiteServer site;
    Harness h;
    Seen seen;
};

TEST_F(ViewEventsTest, FramesCompleteWithTheirOwnBrowserObject) {
    record(false, false);
    wb().Navigate2(site.address("/"));  // the chat page has an advert frame
    ASSERT_TRUE(waitFor([&] { return completedTop("/"); }));
    bool frame = false;
    for (auto& [pDisp, url] : seen.completed)
        if (url == site.address("/ad.html")) frame = pDisp != wb().topLevelBrowser();
    EXPECT_TRUE(frame);
    ASSERT_FALSE(seen.before.empty());
    EXPECT_EQ(seen.before.front(), site.address("/"));
}

TEST_F(ViewEventsTest, ACancelledNavigationDoesNotHappen) {
    site.addRoute("/start",
                  "<!DOCTYPE html><html><body><a id=a href=\"/blocked\">x</a></body></html>");
    site.addRoute("/blocked", "<!DOCTYPE html><html><body>blocked</body></html>");
    record(true, false);
    wb().Navigate2(site.address("/start"));
    ASSERT_TRUE(waitFor([&] { return completedTop("/start"); }));
    page("document.getElementById('a').click()");
    ASSERT_TRUE(waitFor([&] { return seen.before.size() == 2; }));
    EXPECT_EQ(seen.before.back(), site.address("/blocked"));
    // A later navigation completes; the cancelled one never reached the server.
    wb().Navigate2(site.address("/ad.html"));
    ASSERT_TRUE(waitFor([&] { return completedTop("/ad.html"); }));
    EXPECT_EQ(site.requestCount("/blocked"), 0);
}

TEST_F(ViewEventsTest, FailedNavigationsReportErrorsAndCancellingKeepsTheErrorPageAway) {
    struct Case {
        const char* path;
        int status;  // 0: a port that refuses the connection
        bool cancel;
    } cases[] = {{"/missing-page", 404, true}, {"/missing-page", 404, false}, {nullptr, 0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path ? c.path : "closed port");
        seen = {};
        record(false, c.cancel);
        std::string address = c.path ? site.address(c.path) : closedPortAddress();
        wb().Navigate2(address);
        ASSERT_TRUE(waitFor([&] { return !seen.errors.empty(); }));
        EXPECT_EQ(seen.errors[0].first, address);
        if (c.status) {
            EXPECT_EQ(seen.errors[0].second, c.status);
        } else {
            EXPECT_EQ(seen.errors[0].second,
                      static_cast<int>(platform::NavigationFailure::CannotConnect));
        }
        if (c.status) {
            // Not cancelled, the server's own answer shows; cancelled, the page stays.
            ASSERT_TRUE(h.load(wb(), site.address("/ad.html")));
            record(false, c.cancel);
            wb().Navigate2(address);
            ASSERT_TRUE(waitFor([&] { return seen.errors.size() == 2; }));
            ASSERT_TRUE(waitFor([&] { return page("1") == "1"; }));
            EXPECT_TRUE(waitFor([&] { return (page("location.href") == address) != c.cancel; }));
        }
    }
}

TEST_F(ViewEventsTest, ASilentViewAnswersScriptDialogsItself) {
    ASSERT_TRUE(h.load(wb(), site.address("/ad.html")));
    wb().setSilent(true);
    EXPECT_EQ(page("(alert('hello'), confirm('sure?'))"), "false");
    EXPECT_EQ(page("String(prompt('name?'))"), "null");
}

TEST_F(ViewEventsTest, ASilentViewLeavesAPageThatAsksToStay) {
    site.addRoute(
        "/stay",
        "<!DOCTYPE html><html><body style=\"height:100%\"><a id=away href=\"/ad.html\">away</a>"
        "<script>addEventListener('beforeunload', e => { e.preventDefault(); "
        "e.returnValue = 'stay'; return 'stay'; });</script></body></html>");
    record(false, false);
    wb().Navigate2(site.address("/stay"));
    ASSERT_TRUE(waitFor([&] { return completedTop("/stay"); }));
    wb().setSilent(true);
    // The page asks for the confirmation only once the user has done something in it.
    wb().ZOrder(0);
    page("(window.clicks = 0, addEventListener('mousedown', () => clicks++), 1)");
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(h.webView(wb())));
    int x = 0, y = 0;
    gdk_window_get_origin(window, &x, &y);
    std::string click =
        "xdotool mousemove " + std::to_string(x + 200) + " " + std::to_string(y + 200) + " click 1";
    ASSERT_TRUE(g_spawn_command_line_sync(click.c_str(), nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(waitFor([&] { return page("clicks") == "1"; }));
    page("document.getElementById('away').click(), 1");
    EXPECT_TRUE(waitFor([&] { return completedTop("/ad.html"); }));
}

}  // namespace
}  // namespace guitest
