// A hostile chat site: what it hands the client stays checked. It cannot have
// the desktop open what it likes, show the client's own pages as its own, or
// wipe the client's mark-up by re-rendering its body.

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RoadFixture.h"

namespace guitest {
namespace {

class HostilePage : public RoadTest {
protected:
    // Each test starts with no address handed to the desktop yet.
    void SetUp() override {
        RoadTest::SetUp();
        if (const char* log = g_getenv("WHIRLIGIG_TEST_OPENED")) g_remove(log);
    }
    // A link of the site's over the whole chat view, opening a new window.
    void coverWithLink() {
        chat(
            "(a => { a.id = 'away'; a.target = '_blank'; a.textContent = 'away';"
            "a.style.cssText = 'position:fixed;left:0;top:0;width:100%;height:100%;"
            "z-index:2147483647;display:block;background:#fff';"
            "document.documentElement.appendChild(a); return 1; })"
            "(document.createElement('a'))");
    }
    void clickLinkTo(const std::string& address) {
        chat("document.getElementById('away').href = " + jsQuoted(address));
        click("away");
    }
    static std::string jsQuoted(const std::string& text) {
        std::string out = "'";
        for (char c : text)
            out += c == '\'' || c == '\\' ? std::string("\\") + c : std::string(1, c);
        return out + "'";
    }
};

TEST_F(HostilePage, OnlyWebAndMailAddressesLeaveForTheDesktop) {
    h.fakes().realDefaultHandler = true;
    start();
    ASSERT_TRUE(prepared());
    coverWithLink();
    const std::string overlong = site.address("/") + std::string(10000, 'a');
    for (const std::string& refused :
         {std::string("evilscheme://x"), std::string("file:///etc/passwd"),
          std::string("data:text/plain,hello"), std::string("smb://host/share"),
          std::string("ssh://host"), overlong})
        clickLinkTo(refused);
    chat("window.open('evilscheme://by-script')");
    // The addresses that may go: the last one shows that every request before it was handled.
    const std::string mail = "mailto:friend@example.org", web = site.address("/invite");
    chat("window.open('" + mail + "')");
    clickLinkTo(web);
    ASSERT_TRUE(waitFor([&] { return openedByDefaultHandler().find(web) != std::string::npos; }))
        << openedByDefaultHandler();
    EXPECT_EQ(openedByDefaultHandler(), mail + "\n" + web + "\n");
    EXPECT_EQ(h.fakes().opened, (std::vector<std::string>{mail, web}));
}

// A mail link of the site's that opens in the page itself ("Contact us"): the
// desktop's mail program gets it after a click, and the chat stays.
TEST_F(HostilePage, AMailLinkInThePageGoesToTheDesktopAndTheChatStays) {
    h.fakes().realDefaultHandler = true;
    // The page's own script, unasked, goes to a mail address as it loads: refused.
    site.setChatPage(site::SiteServer::defaultChatPage() +
                     "<script>setTimeout(() => location.href = 'mailto:unasked@example.org')"
                     "</script>");
    start();
    ASSERT_TRUE(prepared());
    // Only the message's fields reach the mail program, without line breaks in headers.
    const std::string mail = "mailto:contact@example.org";
    coverWithLink();
    chat("document.getElementById('away').target = ''");
    clickLinkTo(mail + "?attach=/etc/passwd&subject=a%0D%0ABcc:evil@z&Attachment=%2Fetc");
    ASSERT_TRUE(waitFor([&] { return !openedByDefaultHandler().empty(); }));
    EXPECT_EQ(openedByDefaultHandler(), mail + "?subject=aBcc:evil@z\n");
    EXPECT_EQ(chat("location.href"), site.address("/"));
    EXPECT_TRUE(chatScreenUp());
}

TEST_F(HostilePage, TheChatViewNeverShowsTheClientsOwnPages) {
    start();
    ASSERT_TRUE(prepared());
    std::vector<std::string> shown;
    g_signal_connect(chatView(), "load-changed",
                     G_CALLBACK(+[](WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
                         if (event == WEBKIT_LOAD_COMMITTED)
                             static_cast<std::vector<std::string>*>(data)->push_back(
                                 webkit_web_view_get_uri(view));
                     }),
                     &shown);
    for (const std::string& address : {std::string("whirligig-res:///Dialog.html"),
                                       "file://" + h.folder().path() + "/HTML/Dialog.html"})
        chat("(location.href = " + jsQuoted(address) + ", 1)");
    // A page of the site after them: the view goes there, and only there.
    chat("(location.href = '/other', 1)");
    ASSERT_TRUE(waitFor([&] { return !shown.empty(); }));
    EXPECT_EQ(shown, std::vector<std::string>{site.address("/other")});
}

// A single-page site that replaces its body every 10 ms: the client's top bar
// comes back each time, and a real click on Record still asks where to save
// (the engine drops the click itself, as the pressed button left the page).
TEST_F(HostilePage, ASiteThatReRendersItsBodyKeepsAWorkingRecordButton) {
    site.setChatPage(site::SiteServer::defaultChatPage() +
                     "<script>setInterval(() => { const b = document.createElement('body');"
                     "b.innerHTML = '<p>site ' + Date.now() + '</p>';"
                     "document.documentElement.replaceChild(b, document.body); }, 10);</script>");
    start();
    ASSERT_TRUE(prepared());
    ASSERT_TRUE(
        waitFor([&] { return chat("document.body.textContent.includes('site ')") == "true"; }));
    click("butRec");
    EXPECT_TRUE(waitFor([&] { return h.fakes().saveDialogs > 0; }));
    EXPECT_EQ(h.fakes().saveDialogs, 1);
    // The guards passed to the new body, and the mark-up is still the client's one copy.
    EXPECT_EQ(chat("document.body.dispatchEvent(new Event('selectstart', {cancelable: true}))"),
              "false");
    EXPECT_EQ(chat("document.querySelectorAll('#whirligig').length"), "1");
}

// The site re-renders its body once, each way sites do, with an element of
// its own that has an id of the client's mark-up: the client's screen stays
// one working copy (Record, Share, the layout), and the site's element stays.
class ReRenderedBody : public HostilePage, public ::testing::WithParamInterface<const char*> {};
std::string wayName(const ::testing::TestParamInfo<const char*>& info) {
    const char* names[] = {"AppendedHtml", "SameHtml", "ClonedBody", "RebuiltBody"};
    return names[info.index];
}

TEST_P(ReRenderedBody, RecordShareAndLayoutKeepWorking) {
    site.setChatPage(site::SiteServer::defaultChatPage() +
                     "<div id='wg-notes' class='site-own'>the site's</div>");
    start();
    ASSERT_TRUE(prepared());
    chat(std::string(GetParam()) + ", 1");
    ASSERT_TRUE(waitFor([&] {
        return chat("document.querySelectorAll('#butRec, #butShare, #whirligig').length") == "3";
    }));
    EXPECT_EQ(chat("document.querySelectorAll('.site-own#wg-notes').length"), "1");
    const std::string clientContent = "document.getElementById('content').style.height";
    const std::string before = chat(clientContent);
    GtkWindow* window = h.host().gtkForm().window();
    int width = 0, height = 0;
    gtk_window_get_size(window, &width, &height);
    gtk_window_resize(window, width - 60, height - 90);
    EXPECT_TRUE(waitFor([&] { return chat(clientContent) != before; })) << before;
    xdotool("mousemove " + std::to_string(onScreen("butShare").first) + " " +
            std::to_string(onScreen("butShare").second));
    EXPECT_TRUE(waitFor([&] {
        return chat("getComputedStyle(document.getElementById('ShareThis')).display") == "block";
    }));
    click("butRec");
    EXPECT_TRUE(waitFor([&] { return h.fakes().saveDialogs > 0; }));
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ReRenderedBody,
    ::testing::Values(
        "document.body.innerHTML += '<div>msg</div>'",
        "document.body.innerHTML = document.body.innerHTML",
        "document.documentElement.replaceChild(document.body.cloneNode(true), "
        "document.body)",
        "(b => { b.innerHTML = document.body.innerHTML; document.body.replaceWith(b); "
        "})(document.createElement('body'))"),
    wayName);

}  // namespace
}  // namespace guitest
