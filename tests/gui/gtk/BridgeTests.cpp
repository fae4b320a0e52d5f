// The page bridge against real pages: reads, writes, collections, events,
// stale handles, hostile site scripts and pages that stop answering.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "demo/SiteServer.h"
#include "platform/gtk/PageBridge.h"

namespace guitest {
namespace {

using platform::PageEvent;

const char* const kPage = R"(<!DOCTYPE html><html><head><title>t</title>
<style>#box { width: 120px; height: 30px; }</style></head><body>
<div id="box" class="panel wide">Hello <b>there</b></div>
<a id="link" href="#moved">go</a>
<span id="s1" class="c">one</span><span id="s2">two</span>
<object id="player"><param name="movie" value="chat.swf"><param name="flashvars" value="a=1&b=2"></object>
</body></html>)";

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        site.setLogging(false);
        site.addRoute("/", kPage);
        site.addRoute("/other", "<!DOCTYPE html><html><body><p id=x>other</p></body></html>");
        h.host().start();
        ASSERT_TRUE(h.load(wb(), site.address("/")));
        document = wb().Document();
        ASSERT_TRUE(document);
    }
    platform::BrowserView& wb() { return h.host().WB(); }
    std::string page(const std::string& script) { return pageEval(h.webView(wb()), script); }
    // Sends the queued writes, as the end of a handler does.
    void flush() { h.host().view(wb()).bridge().flush(); }

    site::SiteServer site;
    Harness h;
    platform::DocumentRef document;
};

TEST_F(BridgeTest, ReadsElementsAndCachesWhatCollectionsTell) {
    platform::ElementRef box = document->getElementById("box");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->tagName(), "DIV");
    EXPECT_EQ(box->id(), "box");
    EXPECT_EQ(box->className(), "panel wide");
    EXPECT_EQ(box->innerText(), "Hello there");
    EXPECT_EQ(box->offsetWidth(), 120);
    EXPECT_EQ(box->offsetHeight(), 30);
    EXPECT_FALSE(document->getElementById("nothing"));
    EXPECT_EQ(document->body()->tagName(), "BODY");
    EXPECT_EQ(document->documentElement()->tagName(), "HTML");
    // The same document object for the same page.
    EXPECT_TRUE(wb().Document() == document);

    platform::ElementCollection all = document->getElementsByTagName("*");
    EXPECT_EQ(std::to_string(all.size()), page("document.getElementsByTagName('*').length"));
    platform::ElementCollection spans = document->getElementsByTagName("SPAN");
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(spans[0]->id(), "s1");
    EXPECT_EQ(spans[1]->innerText(), "two");

    platform::ElementCollection params =
        document->getElementById("player")->getElementsByTagName("PARAM");
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params[0]->name(), "movie");
    EXPECT_EQ(params[0]->value(), "chat.swf");
    EXPECT_EQ(params[1]->value(), "a=1&b=2");
}

TEST_F(BridgeTest, WritesApplyInOrderAndAFailingOneSkipsOnlyItself) {
    platform::ElementRef box = document->getElementById("box");
    box->setInnerText("first");
    box->insertAdjacentHTML("nowhere", "<i>refused by the page</i>");
    box->style().borderStyle("dotted");
    box->insertAdjacentHTML("beforeEnd", "<em id=\"added\">added</em>");
    box->style().width("200px");
    EXPECT_EQ(box->offsetWidth(), 206);  // a read sends the queued writes first; 2 x 3px border
    EXPECT_EQ(page("document.getElementById('box').style.width"), "200px");
    EXPECT_EQ(page("document.getElementById('box').style.borderStyle"), "dotted");
    EXPECT_EQ(page("document.getElementById('added').parentNode.id"), "box");
    EXPECT_EQ(page("document.getElementById('box').firstChild.textContent"), "first");
    EXPECT_EQ(page("document.getElementsByTagName('i').length"), "0");
}

// Within one handler a read is answered from what the handler's earlier reads
// recorded, even when a page script changes the element in between; the next
// handler sees the change.
TEST_F(BridgeTest, AHandlerReadsOneConsistentPageAndTheNextHandlerSeesPageChanges) {
    platform::ElementRef root = document->documentElement();
    platform::ElementCollection spans;
    std::vector<std::string> seen;
    auto look = [&] {
        seen.push_back(spans[0]->id() + " " + spans[0]->className() + " " +
                       std::to_string(root->offsetWidth()) + " " +
                       document->getElementById("box")->className());
    };
    const std::string before =
        "s1 c " + page("document.documentElement.offsetWidth") + " panel wide";
    h.host().queue().post([&] {
        spans = document->getElementsByTagName("SPAN");
        look();
        page(
            "(() => { const s = document.getElementById('s1'); s.id = 's9'; s.className = 'd';"
            "document.documentElement.style.width = '300px';"
            "document.getElementById('box').className = 'moved'; })()");
        look();
    });
    // Learned ids come with a handler's first read: a page that now gives the
    // id to another element is seen.
    page(
        "(() => { document.getElementById('box').id = 'old';"
        "document.body.insertAdjacentHTML('beforeend', '<p id=box class=new></p>'); })()");
    h.host().queue().post(look);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], before);
    EXPECT_EQ(seen[1], before);
    EXPECT_EQ(seen[2], "s9 d 300 new");
}

// A write of the handler that could change what was recorded ends that part of
// the record: the next read asks the page.
TEST_F(BridgeTest, AWriteThatChangesThePageEndsTheRecord) {
    struct Case {
        const char* name;
        std::function<void(platform::DocumentRef&)> write;
        std::function<std::string(platform::DocumentRef&)> read;
        std::string before, after;
    };
    // The object read first, with the parameters that come along with it.
    auto object = std::make_shared<platform::ElementRef>();
    auto params = [object](platform::DocumentRef& d) {
        if (!*object) *object = d->getElementsByTagName("OBJECT").at(0);
        return std::to_string((*object)->getElementsByTagName("PARAM").size());
    };
    const std::vector<Case> cases{
        {"parameter added",
         [object](auto&) { (*object)->insertAdjacentHTML("beforeEnd", "<param name=extra>"); },
         params, "2", "3"},
        {"script appended",
         [](auto& d) {
             platform::ElementRef script = d->createElement("SCRIPT");
             script->setText("document.getElementById('s1').className = 'ran';");
             d->getElementsByTagName("HEAD").at(0)->appendChild(script);
         },
         [](auto& d) { return d->getElementById("s1")->className(); }, "c", "ran"},
        {"mark-up inserted",
         [](auto& d) { d->body()->insertAdjacentHTML("beforeEnd", "<i id=late>x</i>"); },
         [](auto& d) {
             return d->getElementById("late") ? d->getElementById("late")->tagName() : "-";
         },
         "-", "I"},
        {"text replaced", [](auto& d) { d->body()->setInnerText("plain"); },
         [](auto& d) { return d->getElementById("s1") ? d->getElementById("s1")->tagName() : "-"; },
         "SPAN", "-"},
        {"style set", [](auto& d) { d->documentElement()->style().width("333px"); },
         [](auto& d) { return std::to_string(d->documentElement()->offsetWidth()); }, "", "333"},
        {"sheet text set",
         [](auto& d) { d->createStyleSheet()->setCssText("#box { width: 77px; }"); },
         [](auto& d) { return std::to_string(d->getElementById("box")->offsetWidth()); }, "120",
         "77"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(h.load(wb(), site.address("/")));
        platform::DocumentRef d = wb().Document();
        ASSERT_TRUE(d);
        std::string first, second;
        h.host().queue().post([&] {
            first = c.read(d);
            c.write(d);
            second = c.read(d);
        });
        if (!c.before.empty()) {
            EXPECT_EQ(first, c.before);
        }
        EXPECT_EQ(second, c.after);
    }
}

// Collections a handler read one after another, with the tree unchanged,
// come in one answer in the next handler, and so does the body; a change of
// the tree, the client's or the page's between handlers, is seen.
TEST_F(BridgeTest, CollectionsReadTogetherComeInOneAnswerUntilTheTreeChanges) {
    auto italics = [&] { return document->getElementsByTagName("I").size(); };
    h.host().queue().post([&] {
        document->body();
        document->getElementsByTagName("SPAN");
        italics();
    });
    page("document.body.insertAdjacentHTML('beforeend', '<i>page</i>')");
    unsigned long trips = 0;
    size_t before = 0, after = 0;
    std::string body, bodyAfter;
    h.host().queue().post([&] {
        const unsigned long start = gtkui::PageBridge::roundTrips();
        EXPECT_EQ(document->getElementsByTagName("SPAN").size(), 2u);
        before = italics();
        body = document->body()->tagName();
        trips = gtkui::PageBridge::roundTrips() - start;
        document->body()->insertAdjacentHTML("beforeEnd", "<i>client</i>");
        after = italics();
        document->documentElement()->setInnerText("plain");
        bodyAfter = document->body() ? "BODY" : "none";
    });
    EXPECT_EQ(trips, 1u);
    EXPECT_EQ(before, 1u);
    EXPECT_EQ(body, "BODY");
    EXPECT_EQ(after, 2u);
    EXPECT_EQ(bodyAfter, "none");
}

TEST_F(BridgeTest, StyleSheetsAreDisabledAndCreatedSheetsComeLast) {
    std::vector<platform::StyleSheetRef> sheets = document->styleSheets();
    ASSERT_EQ(sheets.size(), 1u);
    sheets[0]->setDisabled(true);
    platform::StyleSheetRef mine = document->createStyleSheet();
    mine->setCssText("#box { width: 321px; }");
    EXPECT_EQ(document->getElementById("box")->offsetWidth(), 321);
    EXPECT_EQ(page("document.styleSheets[0].disabled"), "true");
    EXPECT_EQ(
        page("document.styleSheets[document.styleSheets.length-1].ownerNode.parentNode.tagName"),
        "HEAD");
}

TEST_F(BridgeTest, ScriptAppendedToHeadRunsInThePagesOwnWorld) {
    platform::ElementRef script = document->createElement("SCRIPT");
    EXPECT_EQ(script->tagName(), "SCRIPT");
    script->setType("text/javascript");
    script->setText("window.clientGlobal = 42; document.getElementById('s1').title = 'ran';");
    platform::ElementCollection heads = document->getElementsByTagName("HEAD");
    ASSERT_EQ(heads.size(), 1u);
    heads[0]->appendChild(script);
    EXPECT_TRUE(waitFor([&] { return page("window.clientGlobal") == "42"; }));
    EXPECT_EQ(page("document.getElementById('s1').title"), "ran");
}

TEST_F(BridgeTest, HandlesOfAReplacedDocumentFail) {
    platform::ElementRef box = document->getElementById("box");
    ASSERT_TRUE(h.load(wb(), site.address("/other")));
    EXPECT_THROW(box->innerText(), support::Failure);
    EXPECT_THROW(box->setInnerText("x"), support::Failure);
    EXPECT_THROW(document->getElementById("x"), support::Failure);
    platform::DocumentRef fresh = wb().Document();
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(fresh == document);
    EXPECT_EQ(fresh->getElementById("x")->innerText(), "other");
}

TEST_F(BridgeTest, NoDocumentForViewsWithoutAnHtmlPage) {
    EXPECT_FALSE(h.host().wbstat().Document());  // nothing loaded yet
    site.addRoute("/data.xml", "<?xml version=\"1.0\"?><root><item/></root>", "application/xml");
    ASSERT_TRUE(h.load(wb(), site.address("/data.xml")));
    EXPECT_FALSE(wb().Document());
}

TEST_F(BridgeTest, EventsReachTheSinkAndCancelTheDefaultInThePage) {
    std::vector<PageEvent> seen;
    platform::ElementRef link = document->getElementById("link");
    auto subscription = link->subscribe({{PageEvent::Click, true}, {PageEvent::MouseOver, false}},
                                        [&](PageEvent e) { seen.push_back(e); });
    std::vector<PageEvent> documentSeen;
    auto onDocument = document->subscribe({{PageEvent::ContextMenu, true}},
                                          [&](PageEvent e) { documentSeen.push_back(e); });
    flush();
    h.host().view(wb()).ZOrder(0);
    WebKitWebView* view = h.webView(wb());
    // Events a page script makes are cancelled like any other, but never posted.
    page("document.getElementById('link').click()");
    EXPECT_EQ(page("document.body.dispatchEvent(new MouseEvent('contextmenu', "
                   "{bubbles: true, cancelable: true}))"),
              "false");
    realInput(view, "link", "");
    ASSERT_TRUE(waitFor([&] { return seen.size() == 1; }));
    realInput(view, "link", "click 1");
    ASSERT_TRUE(waitFor([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen, (std::vector<PageEvent>{PageEvent::MouseOver, PageEvent::Click}));
    EXPECT_EQ(page("location.hash"), "");  // the link did not navigate
    realInput(view, "box", "click 3");
    ASSERT_TRUE(waitFor([&] { return documentSeen.size() == 1; }));

    // After unsubscribing nothing more arrives, and the default happens again.
    subscription.reset();
    flush();
    realInput(view, "link", "click 1");
    realInput(view, "box", "click 3");
    ASSERT_TRUE(waitFor([&] { return documentSeen.size() == 2; }));
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(page("location.hash"), "#moved");
}

TEST_F(BridgeTest, PageEventsWaitForTheRunningHandler) {
    std::vector<std::string> order;
    auto subscription = document->getElementById("link")->subscribe(
        {{PageEvent::Click, true}}, [&](PageEvent) { order.push_back("click"); });
    flush();
    h.host().view(wb()).ZOrder(0);
    h.host().queue().post([&] {
        order.push_back("handler starts");
        realInput(h.webView(wb()), "link", "click 1");
        // Nested waits dispatch the page's message; the click must still wait.
        document->getElementById("box")->innerText();
        page("1");
        order.push_back("handler ends");
    });
    ASSERT_TRUE(waitFor([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<std::string>{"handler starts", "handler ends", "click"}));
}

TEST_F(BridgeTest, HostileSiteScriptsDoNotBreakTheClient) {
    site.addRoute("/hostile", R"(<!DOCTYPE html><html><head><script>
        document.getElementById = () => null;
        document.getElementsByTagName = () => [];
        Element.prototype.insertAdjacentHTML = function () { throw new Error('no'); };
        EventTarget.prototype.addEventListener = function () { throw new Error('no'); };
        Object.defineProperty(HTMLElement.prototype, 'innerText', {get() { return 'forged'; }});
        window.webkit = {messageHandlers: {}};
        for (const t of ['click', 'mouseover', 'contextmenu'])
          document.documentElement['on' + t] = () => { throw new Error('handler fails'); };
        </script></head><body><div id="target">real</div><a id="link" href="#x">x</a></body></html>)");
    ASSERT_TRUE(h.load(wb(), site.address("/hostile")));
    platform::DocumentRef hostile = wb().Document();
    ASSERT_TRUE(hostile);
    platform::ElementRef target = hostile->getElementById("target");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->innerText(), "real");
    EXPECT_EQ(hostile->getElementsByTagName("DIV").size(), 1u);
    target->insertAdjacentHTML("beforeEnd", "<b id=\"mine\">mine</b>");
    EXPECT_EQ(hostile->getElementById("mine")->tagName(), "B");
    int clicks = 0;
    auto subscription = hostile->getElementById("link")->subscribe({{PageEvent::Click, true}},
                                                                   [&](PageEvent) { ++clicks; });
    flush();
    h.host().view(wb()).ZOrder(0);
    realInput(h.webView(wb()), "link", "click 1");
    EXPECT_TRUE(waitFor([&] { return clicks == 1; }));
}

TEST_F(BridgeTest, APageThatStopsAnsweringFailsReadsUntilItAnswersAgain) {
    wb().Document();  // the runtime is in place
    h.host().view(wb()).bridge().setReadTimeout(std::chrono::milliseconds(300));
    platform::ElementRef box = document->getElementById("box");
    // Sent without waiting: the reads below queue up behind the loop.
    webkit_web_view_evaluate_javascript(
        h.webView(wb()), "{ const end = Date.now() + 3000; while (Date.now() < end) {} }", -1,
        nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_THROW(box->innerText(), support::Failure);
    // Further reads fail at once, writes are kept for later.
    EXPECT_THROW(box->offsetWidth(), support::Failure);
    box->setInnerText("after the loop");
    EXPECT_TRUE(waitFor([&] {
        try {
            return box->innerText() == "after the loop";
        } catch (const support::Failure&) {
            return false;
        }
    }));
}

TEST_F(BridgeTest, AHandlersReadsWaitForASlowPageNoLongerThanOneReadsLimitInAll) {
    h.host().view(wb()).bridge().setReadTimeout(std::chrono::milliseconds(1000));
    platform::ElementRef box = document->getElementById("box");
    // The page answers every read, each after up to 300 ms of its own work
    // (a message loop, which no timer throttling slows down).
    page(
        "(c => { c.port1.onmessage = () => { const end = Date.now() + 300;"
        " while (Date.now() < end) {} c.port2.postMessage(0); }; c.port2.postMessage(0); })"
        "(new MessageChannel()), 1");
    int answered = 0;
    h.host().queue().post([&] {
        for (int i = 0; i < 20; ++i) {
            try {
                box->setInnerText(std::to_string(i));  // so that the read asks the page
                box->innerText();
                ++answered;
            } catch (const support::Failure&) {
            }
        }
    });
    EXPECT_GT(answered, 0);
    EXPECT_LT(answered, 20);
}

TEST_F(BridgeTest, ACloseRequestEndsTheWaitForAPageThatDoesNotAnswer) {
    platform::ElementRef box = document->getElementById("box");
    webkit_web_view_evaluate_javascript(
        h.webView(wb()), "{ const end = Date.now() + 10000; while (Date.now() < end) {} }", -1,
        nullptr, nullptr, nullptr, nullptr, nullptr);
    // The close request arrives while the handler waits for its read.
    g_timeout_add(
        200,
        [](gpointer window) -> gboolean {
            gtk_window_close(GTK_WINDOW(window));
            return G_SOURCE_REMOVE;
        },
        h.host().gtkForm().window());
    std::string outcome;
    h.host().queue().post([&] {
        try {
            outcome = box->innerText();  // would answer after the loop, inside the time limit
        } catch (const support::Failure& failure) {
            outcome = failure.what();
        }
    });
    EXPECT_EQ(outcome, "the window is closing");
    EXPECT_TRUE(waitFor([&] { return h.host().windowGone(); }));
}

}  // namespace
}  // namespace guitest
