// The chat view's events, the one-time preparation of the chat page, the
// theming of its elements, the share panel and the guards.

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "MainFixture.h"
#include "chatpage/BodyTemplate.h"
#include "chatpage/Theming.h"

using testing_support::kChatPage;
using testing_support::MainFixture;
using memory::MemoryHost;

namespace {

using platform::PageEvent;

class ChatPageTest : public MainFixture {};

TEST_F(ChatPageTest, PreparationRunsOnceForTheFirstTopLevelCompletion) {
    reachUpdateCheck();
    host.asyncReader.finish("update=false");
    host.wb.document = memory::MemoryDocument::fromHtml(host.world, kChatPage);
    host.wb.raiseDocumentComplete("about:blank");
    host.wb.raiseDocumentComplete("http://chat.test/ad", /*frame=*/2);
    EXPECT_TRUE(host.stat.navigations.empty());

    host.wb.raiseDocumentComplete("http://chat.test/");
    host.wb.raiseDocumentComplete("http://chat.test/");  // a reload
    EXPECT_EQ(host.stat.navigations, std::vector<std::string>{"http://stats.test/index.html"});
    EXPECT_EQ(host.journal.count("createStyleSheet()"), 1u);
}

// No way of the chat page failing leaves the user without Retry, and the page
// that completes after Retry is prepared.
TEST_F(ChatPageTest, AChatPageThatFailsOffersRetryWhichPreparesTheNextPage) {
    const std::function<void(MemoryHost&)> failures[] = {
        [](MemoryHost& h) { h.wb.raiseNavigateError("http://chat.test/", 500); },
        [](MemoryHost& h) {  // no server answered
            h.wb.raiseNavigateError("http://chat.test/", platform::NavigationFailure::CannotConnect);
        },
        [](MemoryHost& h) {  // never completes
            for (int s = 0; s < app::Main::ChatPageDeadlineSeconds; ++s) h.deadline.elapse();
        },
        [](MemoryHost& h) {                           // not an HTML document
            h.wb.document = nullptr;
            h.wb.raiseDocumentComplete("http://chat.test/logo.png");
        },
        [](MemoryHost& h) {  // the preparation was cut short before the mark-up went in
            h.faults.fail("insertAdjacentHTML");
            h.wb.load("http://chat.test/", kChatPage);
            h.faults.clear();
        },
    };
    for (size_t k = 0; k < std::size(failures); ++k) {
        MemoryHost h;
        h.textFiles.files = host.textFiles.files;
        app::Main m(h, settings());
        h.flashPlayerImpl.version = "v";
        h.webcamImpl.present = true;
        h.formImpl.load();
        h.load.load("/opt/whirligigcam/HTML/Dialog.html", testing_support::kStartPage);
        h.asyncReader.finish("update=false");
        failures[k](h);
        EXPECT_EQ(h.load.document->byId("error")->style("display"), "block") << k;
        // The state says that the chat failed, not the update check.
        EXPECT_EQ(h.load.document->byId("errorchat")->style("display"), "block") << k;
        EXPECT_EQ(h.load.document->byId("errorupdate")->style("display"), "none") << k;
        EXPECT_EQ(h.stacking.front(), "wbload") << k;
        EXPECT_FALSE(h.deadline.enabled()) << k;

        h.load.document->byId("butRetry")->fire(PageEvent::Click);
        h.asyncReader.finish("update=false");
        h.wb.load("http://chat.test/", kChatPage);
        EXPECT_EQ(h.stacking.front(), "WB") << k;
        EXPECT_FALSE(h.deadline.enabled()) << k;
        EXPECT_FALSE(h.deadline.elapse()) << k;
        h.wb.document->byId("butRec")->fire(PageEvent::Click);
        EXPECT_EQ(h.saveDialog.shown, 1) << k << ": the record button works";
    }
}

// The failure state names the step that failed: the chat, then after Retry the update check.
TEST_F(ChatPageTest, TheFailureStateSaysWhichStepFailed) {
    reachChatPage();
    host.wb.raiseProcessTerminated();
    EXPECT_EQ(startDisplay("errorchat") + "/" + startDisplay("errorupdate"), "block/none");
    host.load.document->byId("butRetry")->fire(PageEvent::Click);
    host.asyncReader.fail();
    EXPECT_EQ(startDisplay("error"), "block");
    EXPECT_EQ(startDisplay("errorchat") + "/" + startDisplay("errorupdate"), "none/block");
}

// The chat page's web process died: a recording is finished, and Retry
// brings the chat back.
TEST_F(ChatPageTest, ALostPageProcessFinishesTheRecordingAndOffersRetry) {
    reachChatPage();
    host.saveDialog.answer = "/tmp/v.wmv";
    chatElement("butRec")->fire(PageEvent::Click);
    ASSERT_EQ(host.journal.count("Recorder1.start()"), 1u);
    // The start page cannot be reached at first (its process was stalled too):
    // the next tick puts the failure state up.
    host.faults.fail("subscribe", "#butRetry");
    host.wb.raiseProcessTerminated();
    EXPECT_EQ(host.journal.count("Recorder1.stop()"), 1u);
    EXPECT_TRUE(host.recorderFactory.latest.expired());
    EXPECT_FALSE(listened(host.load.document->byId("butRetry")));
    host.faults.clear();
    host.deadline.elapse();
    EXPECT_TRUE(listened(host.load.document->byId("butRetry")));
    EXPECT_FALSE(host.deadline.enabled());
    EXPECT_EQ(startDisplay("error"), "block");
    EXPECT_EQ(host.stacking.front(), "wbload");
    host.load.document->byId("butRetry")->fire(PageEvent::Click);
    host.asyncReader.finish("update=false");
    host.wb.load("http://chat.test/", kChatPage);
    EXPECT_EQ(host.stacking.front(), "WB");
}

// Whatever the failed chat page still runs goes with its process, once, so
// that Retry starts afresh.
TEST_F(ChatPageTest, TheFailedChatPagesProcessIsEndedOnce) {
    reachChatPage();
    EXPECT_EQ(host.wb.pageProcessesEnded, 0);
    host.faults.fail("subscribe", "#butRetry");  // the next tick puts the state up again
    host.wb.raiseProcessTerminated();
    host.faults.clear();
    host.deadline.elapse();
    EXPECT_TRUE(listened(host.load.document->byId("butRetry")));
    EXPECT_EQ(host.wb.pageProcessesEnded, 1);
}

TEST_F(ChatPageTest, PreparedPageIsRestyledAndCarriesTheClientsResources) {
    auto doc = reachChatPage();
    auto body = doc->byId("content")->parent.lock();
    EXPECT_EQ(body->style("borderStyle"), "none");
    EXPECT_EQ(body->style("background"),
              "url(file:///opt/whirligigcam/HTML/Img/bg.gif) repeat-x #262626");

    ASSERT_EQ(doc->sheets.size(), 3u);
    EXPECT_TRUE(doc->sheets[0]->disabled);
    EXPECT_TRUE(doc->sheets[1]->disabled);
    EXPECT_FALSE(doc->sheets[2]->disabled);
    EXPECT_EQ(doc->sheets[2]->cssText, "body { margin: 0; }");

    ASSERT_EQ(doc->executedScripts.size(), 1u);
    EXPECT_EQ(doc->executedScripts[0], "var client = 1;");
    auto head = doc->root->children[0];
    EXPECT_EQ(head->children.back()->tag, "SCRIPT");
    EXPECT_EQ(head->children.back()->attribute("type"), "text/javascript");
    // The script ran before the mark-up was inserted.
    EXPECT_LT(host.journal.indexOf("HEAD.appendChild(SCRIPT)"),
              host.journal.indexOf("BODY.insertAdjacentHTML(beforeEnd)"));

    auto movie = doc->byId("cam")->children[0];
    EXPECT_EQ(movie->attribute("id"), "chatmovie");
    EXPECT_EQ(movie->children[1]->attribute("value"), "room=1&layout=h");
    EXPECT_EQ(doc->root->style("overflow"), "hidden");
    for (const char* id : {"butRec", "butShare"}) EXPECT_TRUE(listened(doc->byId(id))) << id;
    EXPECT_TRUE(listened(body));
    EXPECT_GT(doc->listeners.size(), 0u);
}

TEST(BodyTemplate, FlashParametersFillThePlaceholders) {
    using chatpage::FlashParameters;
    const std::string t = "%name%|%movie%|%flashvars%";
    struct Case {
        FlashParameters flash;
        std::string want;
    } cases[] = {
        {{"", "", "", false, {}}, "||"},
        {{"b", "m2", "x=1", true, {}}, "b|m2|x=1&amp;layout=h"},
        {{"o", "m", "a=1&layout=h", true, {}}, "o|m|a=1&amp;layout=h"},   // present: unchanged
        {{"o", "m", "Layout=H", true, {}}, "o|m|Layout=H&amp;layout=h"},  // other case
        {{"o", "m", "", true, {}}, "o|m|&amp;layout=h"},                  // empty parameter
        {{"a\"b", "<m>", "q='1'", true, {}}, "a&quot;b|&lt;m&gt;|q=&#39;1&#39;&amp;layout=h"},
    };
    for (const auto& c : cases) EXPECT_EQ(chatpage::FillBodyTemplate(t, c.flash), c.want);
    FlashParameters f{"id", "m", "v", true, {}};
    EXPECT_EQ(chatpage::FillBodyTemplate("%name% %name% %name% %NAME%", f), "id id id %NAME%");
    EXPECT_EQ(chatpage::FillBodyTemplate("plain <b>text</b>", f), "plain <b>text</b>");
    EXPECT_EQ(chatpage::FillBodyTemplate("%%name%%movie", f), "%id%movie");
}

// Placeholder text that comes from the page is copied, never expanded again:
// a hostile page must not be able to multiply the mark-up.
TEST(BodyTemplate, ValuesFromThePageStayLiteral) {
    chatpage::FlashParameters f{
        "%movie%%flashvars%", "%flashvars%%name%", "%name%%movie%", true, {}};
    EXPECT_EQ(chatpage::FillBodyTemplate("%name%|%movie%|%flashvars%", f),
              "%movie%%flashvars%|%flashvars%%name%|%name%%movie%&amp;layout=h");

    const std::string value(100'000, '%');
    const std::string amplifier = [] {
        std::string v;
        for (int i = 0; i < 1000; ++i) v += "%flashvars%";
        return v;
    }();
    chatpage::FlashParameters hostile{amplifier, amplifier, value + amplifier, true, {}};
    const std::string t = "<p>%name%</p><p>%movie%</p><p>%flashvars%</p>";
    const size_t escapedValues = 2 * amplifier.size() + value.size() + amplifier.size() + 14;
    EXPECT_LE(chatpage::FillBodyTemplate(t, hostile).size(), t.size() + escapedValues);
}

TEST_F(ChatPageTest, LastObjectIdAndLastParametersWinAcrossObjects) {
    host.textFiles.files["/opt/whirligigcam/HTML/Body.html"] =
        "<p id=\"out\">%name%|%movie%|%flashvars%</p>";
    auto doc = reachChatPage("update=false", R"(<object id="a"><param name="movie" value="m1">
        <param name="Movie" value="ignored"></object>
        <object id="b"><param name="movie" value="m2"><param name="flashvars" value="x=1"></object>
        <object id="c"></object>)");
    EXPECT_EQ(doc->byId("out")->innerText(), "c|m2|x=1&layout=h");
}

// The client's copy of the movie never gets more script access than the
// site's object gave the movie it uses.
struct ScriptAccessCase {
    const char* objects;
    const char* want;
};
class ScriptAccess : public MainFixture, public ::testing::WithParamInterface<ScriptAccessCase> {};

TEST_P(ScriptAccess, IsTheSitesOwnNeverMore) {
    host.textFiles.files["/opt/whirligigcam/HTML/Body.html"] = "<p id=\"out\">%scriptaccess%</p>";
    auto doc = reachChatPage("update=false", GetParam().objects);
    EXPECT_EQ(doc->byId("out")->innerText(), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Objects, ScriptAccess,
    ::testing::Values(ScriptAccessCase{R"(<object><param name="movie" value="m"></object>)",
                                       "sameDomain"},
                      ScriptAccessCase{R"(<object><param name="movie" value="m">
            <param name="AllowScriptAccess" value="ALWAYS"></object>)",
                                       "always"},
                      ScriptAccessCase{R"(<object><param name="movie" value="m">
            <param name="allowScriptAccess" value="never"></object>)",
                                       "never"},
                      ScriptAccessCase{R"(<object><param name="movie" value="m">
            <param name="allowScriptAccess" value="all"></object>)",
                                       "sameDomain"},
                      // Another object's access does not pass to the movie that is used.
                      ScriptAccessCase{R"(<object><param name="movie" value="m"></object>
            <object><param name="allowScriptAccess" value="always"></object>)",
                                       "sameDomain"}));

TEST_F(ChatPageTest, EveryStepStandsAlone) {
    struct Case {
        const char* op;
        const char* arg;
    } cases[] = {{"body", "*"},          {"styleSheets", "*"},         {"createStyleSheet", "*"},
                 {"OpenTextFile", "*"},  {"getElementsByTagName", "HEAD"}, {"createElement", "*"},
                 {"getElementsByTagName", "OBJECT"}, {"insertAdjacentHTML", "*"}};
    for (const auto& c : cases) {
        memory::MemoryHost h;
        h.textFiles.files = host.textFiles.files;
        app::Main m(h, settings());
        h.faults.fail(c.op, c.arg);
        h.flashPlayerImpl.version = "v";
        h.webcamImpl.present = true;
        h.formImpl.load();
        h.load.load("/opt/whirligigcam/HTML/Dialog.html", testing_support::kStartPage);
        h.asyncReader.finish("update=false");
        h.wb.load("http://chat.test/", kChatPage);
        // The steps around the failing one still ran.
        EXPECT_EQ(h.stat.navigations.size(), 1u) << c.op;
        const std::set<std::string> nothingInserted{"body", "insertAdjacentHTML", "OpenTextFile"};
        // Without the client's mark-up there is no record button: the start
        // page offers Retry instead of a dead chat screen.
        EXPECT_EQ(h.stacking.front(), nothingInserted.count(c.op) ? "wbload" : "WB") << c.op;
        EXPECT_TRUE(h.wb.document->root->fire(PageEvent::ContextMenu)) << c.op << ": refused";
        EXPECT_EQ(h.journal.count("#ShareThis.style.background"),
                  nothingInserted.count(c.op) ? 0u : 1u)
            << c.op;
    }
}

TEST_F(ChatPageTest, MissingResourcesAndHead) {
    host.textFiles.files.clear();
    auto doc = reachChatPage("update=false", "<html><body><p>no head</p></body></html>");
    EXPECT_EQ(doc->sheets.back()->cssText, "");
    EXPECT_TRUE(doc->executedScripts.empty());
    EXPECT_EQ(host.journal.count("BODY.insertAdjacentHTML"), 1u);
    EXPECT_EQ(host.stacking.front(), "wbload") << "no record button: Retry is offered";
    std::vector<std::shared_ptr<memory::MemoryElement>> paragraphs;
    doc->root->collect("P", paragraphs);
    EXPECT_TRUE(paragraphs.at(0)->fire(PageEvent::SelectStart)) << "selection refused";
}

TEST(Theming, RulesAndTheirPrecedence) {
    auto world = std::make_shared<memory::World>();
    auto doc = memory::MemoryDocument::fromHtml(world, R"(
        <span id="butRecName" class="button_im"></span><span id="butRec" class="button_im"></span>
        <span id="butname" class="button_im"></span><span class="button_im"></span>
        <a id="link" class="button_im"></a><span id="plain"></span>
        <div id="topbar" class="module-round"></div><div id="load_msg"></div>
        <div id="r2" class="module-round2"></div><div id="r4" class="module-round4"></div>
        <div id="two" class="module-round extra"></div><div id="case" class="Module-Round"></div>
        <div id="divbutton" class="button_im"></div>
        <div id="ShareThis"><a id="gmail"></a><a id="aol"></a></div>)");
    memory::MemoryApp app;
    app.path = "/opt/my whirligigcam";
    chatpage::ThemePageElements(platform::DocumentRef(doc), app);

    // The image an element's background shows, from the application's image
    // folder; "" when it has no background.
    const std::string folder = "url(file:///opt/my whirligigcam/HTML/Img/";
    auto image = [&](const std::shared_ptr<memory::MemoryElement>& e) -> std::string {
        const std::string value = e->style("background");
        const size_t at = value.find(folder);
        if (at == std::string::npos) return value.empty() ? "" : "not from the folder: " + value;
        const size_t from = at + folder.size();
        return value.substr(from, value.find(')', from) - from);
    };
    const std::pair<const char*, const char*> expected[] = {
        {"butRecName", ""},  // a button's name label stays plain
        {"butRec", "im_button.gif"},
        {"butname", "im_button.gif"},  // the name pattern is case-sensitive
        {"link", ""},                  // only spans and divs are buttons
        {"plain", ""},
        {"topbar", "tl.gif"},  // its class's image wins over the logo
        {"load_msg", "logo.gif"},
        {"r2", "tr.gif"},
        {"r4", "br.gif"},
        {"two", ""},   // the class must match as a whole
        {"case", ""},  // and in case
        {"divbutton", "im_button.gif"},
        {"ShareThis", "trans.png"},
        {"gmail", "gmail.gif"},  // share entries missing from the page are skipped
        {"aol", "aol.gif"},
    };
    for (const auto& [id, file] : expected) EXPECT_EQ(image(doc->byId(id)), file) << id;
    std::vector<std::shared_ptr<memory::MemoryElement>> spans;
    doc->root->collect("SPAN", spans);
    EXPECT_EQ(image(spans[3]), "im_button.gif") << "a button without an id";
}

TEST(Theming, ButNamePattern) {
    for (const char* id : {"butName", "butRecName", "butShareName", "but Name"})
        EXPECT_TRUE(chatpage::MatchesButNamePattern(id)) << id;
    for (const char* id : {"butname", "butRec", "ButName", "buttName2", "Name", "butNam", ""})
        EXPECT_FALSE(chatpage::MatchesButNamePattern(id)) << id;
}

TEST_F(ChatPageTest, LeavingThePreparedPageSwitchesTheStartPageToLevelCleared) {
    reachChatPage("update=true");
    host.journal.clear();
    host.wb.raiseBeforeNavigate2("http://ads.test/frame", /*frame=*/4);
    EXPECT_EQ(host.journal.matching("#"),
              (std::vector<std::string>{"#loading.style.display=none", "#error.style.display=none",
                                        "#update.style.display=none",
                                        "#levelcleared.style.display=block"}));
    EXPECT_TRUE(host.wb.silent);
    EXPECT_EQ(host.stacking.front(), "wbload") << "the stacking is unchanged";

    // A start page without some ids still gets the others.
    host.load.document->byId("error")->attributes.erase("id");
    host.journal.clear();
    host.wb.raiseBeforeNavigate2("http://chat.test/next");
    EXPECT_EQ(host.journal.count("#"), 3u);
}

TEST_F(ChatPageTest, ChatViewNavigationsBeforePreparationAndErrors) {
    reachUpdateCheck();
    host.journal.clear();
    EXPECT_FALSE(host.wb.raiseBeforeNavigate2("http://chat.test/"));
    EXPECT_TRUE(host.wb.raiseNavigateError("http://chat.test/", 500));
    EXPECT_TRUE(host.stat.navigations.empty()) << "not prepared";
    EXPECT_TRUE(host.journal.matching("#").empty());
    host.stat.raiseBeforeNavigate2("http://stats.test/index.html");
    EXPECT_TRUE(host.stat.silent);
}

TEST_F(ChatPageTest, SharePanelFollowsThePointerAndGuardsCancelDefaults) {
    auto doc = reachChatPage();
    auto panel = doc->byId("ShareThis");
    auto button = doc->byId("butShare");
    EXPECT_FALSE(button->fire(PageEvent::MouseOver)) << "hover keeps its default";
    EXPECT_EQ(panel->style("display"), "block");
    button->fire(PageEvent::MouseOut);
    EXPECT_EQ(panel->style("display"), "none");

    EXPECT_TRUE(doc->byId("chatarea")->fire(PageEvent::SelectStart));
    EXPECT_TRUE(doc->byId("cam")->fire(PageEvent::DragStart));
    EXPECT_TRUE(doc->byId("log")->fire(PageEvent::ContextMenu));

    // A later page without the panel: hovering changes nothing.
    host.wb.document = memory::MemoryDocument::fromHtml(host.world, "<p>other</p>");
    host.journal.clear();
    button->fire(PageEvent::MouseOver);
    EXPECT_TRUE(host.journal.matching("#").empty());
}

}  // namespace
