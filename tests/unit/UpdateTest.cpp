// The update check: the control's read and events, the reply's outcome on
// the start screen and the chat view, and the start page's buttons.

#include <gtest/gtest.h>

#include "MainFixture.h"
#include "platform/posix/LocaleCodePage.h"
#include "update/ControlURL.h"

using testing_support::MainFixture;

namespace {

struct ControlEvents {
    std::vector<std::string> checks;
    int fails = 0;
    void attach(update::ControlURL& c) {
        c.UpdateCheck = [this](std::string& t) { checks.push_back(t); };
        c.UpdateFail = [this] { ++fails; };
    }
};

TEST(ControlURL, ExactlyOneEventPerFinishedRead) {
    auto world = std::make_shared<memory::World>();
    memory::MemoryAsyncReader reader(world);
    posix::LocaleCodePage latin1("ISO-8859-1");
    update::ControlURL control(reader, latin1);
    ControlEvents events;
    events.attach(control);

    struct Case {
        std::optional<bool> whole;
        std::optional<std::string> bytes;
        std::optional<std::string> check;  // empty: UpdateFail
    } cases[] = {
        {true, "update=false\r\n", "update=false\r\n"},  // passed whole
        {true, "", ""},                                  // empty body completes
        {true, std::nullopt, ""},                        // unreadable value: empty text
        {std::nullopt, "update=true", "update=true"},    // unreadable status: completed
        {true, "\xE9t\xE9", "\xC3\xA9t\xC3\xA9"},        // one character per byte
        {false, std::nullopt, std::nullopt},
        {false, "partial", std::nullopt},
    };
    for (const auto& c : cases) {
        events = {};
        events.attach(control);
        control.CheckUpdate("http://u/1");
        reader.complete(c.whole, c.bytes);
        if (c.check) {
            EXPECT_EQ(events.checks, std::vector<std::string>{*c.check});
            EXPECT_EQ(events.fails, 0);
        } else {
            EXPECT_TRUE(events.checks.empty());
            EXPECT_EQ(events.fails, 1);
        }
    }
}

TEST(ControlURL, AReadThatCannotStartFailsLikeOneThatBreaksOff) {
    auto world = std::make_shared<memory::World>();
    memory::MemoryAsyncReader reader(world);
    posix::LocaleCodePage utf8("UTF-8");
    update::ControlURL control(reader, utf8);
    ControlEvents events;
    events.attach(control);
    world->faults.fail("read");
    control.CheckUpdate("http://u/1");
    EXPECT_TRUE(reader.pending.empty());
    EXPECT_TRUE(events.checks.empty());
    EXPECT_EQ(events.fails, 1);
}

TEST(ControlURL, AReadThatEndsAfterTheControlWentReportsNothing) {
    auto world = std::make_shared<memory::World>();
    memory::MemoryAsyncReader reader(world);
    posix::LocaleCodePage utf8("UTF-8");
    ControlEvents events;
    {
        update::ControlURL control(reader, utf8);
        events.attach(control);
        control.CheckUpdate("http://u/1");
    }
    reader.complete(true, std::string("update=false"));
    EXPECT_TRUE(events.checks.empty());
    EXPECT_EQ(events.fails, 0);
}

class UpdateOutcomeTest : public MainFixture {};

TEST_F(UpdateOutcomeTest, RepliesAreComparedExactlyAndWhole) {
    struct Case {
        std::string reply;
        std::vector<std::string> chatNavigations;
        bool offered;
        std::vector<std::string> displays;
    } cases[] = {
        {"update=false", {"http://chat.test/"}, false, {}},
        {"update=true", {"http://chat.test/"}, true, {}},
        {"update=critical", {}, false,
         {"#loading.style.display=none", "#mustupdate.style.display=block"}},
    };
    // The failure state first says that the update check is what failed.
    const std::vector<std::string> failure{
        "#errorupdate.style.display=block", "#errorchat.style.display=none",
        "#loading.style.display=none", "#error.style.display=block"};
    std::vector<Case> all(std::begin(cases), std::end(cases));
    for (std::string bad : {"Update=true", " update=true", "update=true\n", "update=true\r\n", "",
                            "update=falsey", "update"})
        all.push_back({bad, {}, false, failure});

    for (const auto& c : all) {
        memory::MemoryHost h;
        h.textFiles.files = host.textFiles.files;
        app::Main m(h, settings());
        h.flashPlayerImpl.version = "v";
        h.webcamImpl.present = true;
        h.formImpl.load();
        h.load.load("/opt/whirligigcam/HTML/Dialog.html", testing_support::kStartPage);
        h.journal.clear();
        h.asyncReader.finish(c.reply);
        EXPECT_EQ(h.journal.matching("#"), c.displays) << "reply [" << c.reply << "]";
        auto chat = h.wb.navigations;
        chat.erase(chat.begin());  // about:blank
        EXPECT_EQ(chat, c.chatNavigations) << "reply [" << c.reply << "]";
        const bool failed = c.displays == failure;
        EXPECT_EQ(listened(h.load.document->byId("butRetry")), failed);
        EXPECT_EQ(listened(h.load.document->byId("butCancel")), failed);
        if (chat.empty()) continue;
        // An offered update holds the prepared chat page behind its notice.
        h.wb.load("http://chat.test/", testing_support::kChatPage);
        EXPECT_EQ(h.load.document->byId("update")->style("display"), c.offered ? "block" : "")
            << "reply [" << c.reply << "]";
        EXPECT_EQ(h.stacking.front(), c.offered ? "wbload" : "WB") << "reply [" << c.reply << "]";
    }
}

TEST_F(UpdateOutcomeTest, ARetryWhoseReadCannotStartShowsTheFailureAgain) {
    reachUpdateCheck();
    host.asyncReader.fail();
    host.faults.fail("read");
    host.load.document->byId("butRetry")->fire(platform::PageEvent::Click);
    EXPECT_EQ(startDisplay("error"), "block");
    EXPECT_EQ(startDisplay("loading"), "none");
    EXPECT_TRUE(listened(host.load.document->byId("butRetry")));
    EXPECT_TRUE(listened(host.load.document->byId("butCancel")));
}

TEST_F(UpdateOutcomeTest, RetryShowsLoadingBeforeTheNewRequestAndKillsTheOldButtons) {
    reachUpdateCheck();
    host.asyncReader.fail();
    auto doc = host.load.document;
    auto oldRetry = doc->byId("butRetry");
    host.journal.clear();

    oldRetry->fire(platform::PageEvent::Click);
    const auto& j = host.journal;
    long loading = j.indexOf("#loading.style.display=block");
    long error = j.indexOf("#error.style.display=none");
    long request = j.indexOf("read(http://update.test/check/1)");
    ASSERT_GE(loading, 0);
    EXPECT_GT(error, loading);
    EXPECT_GT(request, error);
    EXPECT_FALSE(listened(oldRetry));
    EXPECT_FALSE(listened(doc->byId("butCancel")));

    // The old buttons are dead until the next failure.
    host.journal.clear();
    oldRetry->fire(platform::PageEvent::Click);
    doc->byId("butCancel")->fire(platform::PageEvent::Click);
    EXPECT_TRUE(host.journal.entries.empty());
    EXPECT_FALSE(host.formImpl.unloaded);

    // A second failure shows the error again with both buttons bound anew.
    host.asyncReader.finish("garbage");
    EXPECT_EQ(startDisplay("error"), "block");
    EXPECT_TRUE(listened(doc->byId("butRetry")));
    EXPECT_TRUE(doc->byId("butRetry")->fire(platform::PageEvent::Click)) << "default cancelled";
    EXPECT_EQ(host.asyncReader.requests.size(), 3u);
}

TEST_F(UpdateOutcomeTest, CancelClosesTheProgram) {
    reachUpdateCheck();
    host.asyncReader.fail();
    host.load.document->byId("butCancel")->fire(platform::PageEvent::Click);
    EXPECT_TRUE(host.formImpl.unloaded);
    EXPECT_FALSE(listened(host.load.document->byId("butCancel")));
}

TEST_F(UpdateOutcomeTest, FailureStateWithMissingOrWrongButtons) {
    reachUpdateCheck();
    auto doc = host.load.document;
    auto retry = doc->byId("butRetry"), cancel = doc->byId("butCancel");
    retry->attributes.erase("id");  // missing
    cancel->tag = "DIV";            // not a span
    host.asyncReader.fail();
    EXPECT_EQ(startDisplay("error"), "block");
    EXPECT_FALSE(listened(retry));
    EXPECT_FALSE(listened(cancel));
}

TEST_F(UpdateOutcomeTest, CriticalUpdateLeavesNoWayOn) {
    reachUpdateCheck();
    host.asyncReader.finish("update=critical");
    EXPECT_EQ(host.wb.navigations, std::vector<std::string>{"about:blank"});
    for (const char* id : {"butRetry", "butCancel", "butCancelUpdate"})
        EXPECT_FALSE(listened(host.load.document->byId(id))) << id;
}

TEST_F(UpdateOutcomeTest, OfferedUpdateWaitsForTheDismissClick) {
    reachChatPage("update=true");
    EXPECT_EQ(startDisplay("loading"), "none");
    EXPECT_EQ(startDisplay("update"), "block");
    EXPECT_EQ(host.stacking.front(), "wbload");
    EXPECT_EQ(host.timer.arms, 0);

    EXPECT_TRUE(host.load.document->byId("butCancelUpdate")->fire(platform::PageEvent::Click));
    EXPECT_EQ(host.stacking.front(), "WB");
    EXPECT_TRUE(host.timer.enabled());
    EXPECT_TRUE(listened(host.load.document->byId("butCancelUpdate")));
}

TEST_F(UpdateOutcomeTest, WithoutOfferTheChatViewComesForwardAndTheStartPageIsUntouched) {
    reachUpdateCheck();
    host.asyncReader.finish("update=false");
    EXPECT_EQ(host.stacking.front(), "wbload") << "not before the page is prepared";
    host.journal.clear();
    host.wb.load("http://chat.test/", testing_support::kChatPage);
    EXPECT_EQ(host.stacking.front(), "WB");
    EXPECT_TRUE(host.timer.enabled());
    EXPECT_EQ(startDisplay("update"), "");
    EXPECT_EQ(startDisplay("loading"), "");
}

}  // namespace
