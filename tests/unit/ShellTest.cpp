// The application shell: load and unload order, icons, the minimum size,
// the layout of the chat page and the one-shot re-layout timer.

#include <gtest/gtest.h>

#include <algorithm>

#include "MainFixture.h"
#include "chatpage/PageLayout.h"

using testing_support::MainFixture;

namespace {

const std::string kSetIcon = "setWindowIcon(";

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::ranges::sort(v);
    return v;
}

class ShellTest : public MainFixture {};

TEST_F(ShellTest, LoadSetsTheMinimumSizeThenSendsBothViews) {
    host.formImpl.load();
    const auto& j = host.journal;
    long proc = j.indexOf("setMinimumOuterSize(1,670x570)");
    long dialog = j.indexOf("wbload.Navigate2(/opt/whirligigcam/HTML/Dialog.html)");
    long blank = j.indexOf("WB.Navigate2(about:blank)");
    ASSERT_GE(proc, 0);
    ASSERT_GT(dialog, proc);
    ASSERT_GT(blank, dialog);
    EXPECT_TRUE(host.stat.navigations.empty());
    EXPECT_EQ(host.timer.arms, 0);
    EXPECT_TRUE(host.asyncReader.requests.empty());
    EXPECT_EQ(j.count(".ZOrder("), 0u) << "the start view stays in front";
}

TEST_F(ShellTest, IconsGoToTheTopmostOwnerAndToTheWindow) {
    struct Case {
        std::map<platform::WindowHandle, platform::WindowHandle> owners;
        platform::WindowHandle top;
    };
    for (const Case& c : {Case{{}, 1}, Case{{{1, 7}, {7, 9}}, 9}}) {
        memory::MemoryHost h;
        h.windowSystem.owners = c.owners;
        app::Main m(h);
        h.formImpl.load();
        const std::string t = std::to_string(c.top);
        EXPECT_EQ(sorted(h.journal.matching(kSetIcon)),
                  sorted({"setWindowIcon(" + t + ",large,AAA)", "setWindowIcon(1,large,AAA)",
                          "setWindowIcon(" + t + ",small,AAA)", "setWindowIcon(1,small,AAA)"}))
            << "topmost owner " << t;
    }
}

TEST_F(ShellTest, EachLoadStepThatFailsIsSkipped) {
    for (const char* op : {"setMinimumOuterSize", "setWindowIcon", "hWnd"}) {
        memory::MemoryHost h;
        h.faults.fail(op);
        app::Main m(h);
        h.formImpl.load();
        EXPECT_EQ(h.load.navigations,
                  std::vector<std::string>{"/opt/whirligigcam/HTML/Dialog.html"})
            << op;
        EXPECT_EQ(h.wb.navigations, std::vector<std::string>{"about:blank"}) << op;
    }
    memory::MemoryHost h;
    h.faults.fail("Navigate2", "wbload");
    app::Main m(h);
    h.formImpl.load();
    EXPECT_EQ(h.wb.navigations, std::vector<std::string>{"about:blank"});
}

struct LayoutCase {
    int W, H;
    std::vector<std::string> values;  // content height, cam height, cam width, log height, chatarea width
};

class LayoutTest : public MainFixture, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(LayoutTest, PageElementsTakeTheirSizes) {
    reachChatPage();
    auto root = host.wb.document->root;
    root->width = GetParam().W;
    root->height = GetParam().H;
    host.formImpl.resizeClient(800, 600);

    const auto& v = GetParam().values;
    auto& doc = *host.wb.document;
    EXPECT_EQ(doc.byId("content")->style("height"), v[0]);
    EXPECT_EQ(doc.byId("cam")->style("height"), v[1]);
    EXPECT_EQ(doc.byId("cam")->style("width"), v[2]);
    EXPECT_EQ(doc.byId("log")->style("height"), v[3]);
    EXPECT_EQ(doc.byId("chatarea")->style("width"), v[4]);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, LayoutTest,
    ::testing::Values(
        LayoutCase{700, 560, {"480px", "264px", "660px", "164px", "290px"}},
        LayoutCase{1200, 600, {"520px", "308px", "1160px", "160px", "790px"}},
        // Exactly 160: not greater, so the log is held at 160.
        LayoutCase{515, 480, {"400px", "188px", "475px", "160px", "105px"}},
        // Minimised: negative values are passed as they are.
        LayoutCase{0, 0, {"-80px", "-292px", "-40px", "160px", "-410px"}}));

TEST(PageLayout, CamHeightRoundsToNearest) {
    // Large heights keep the 0.4 ratio: B = 963 gives 385.2, B = 962 gives 384.8.
    EXPECT_EQ(chatpage::ComputePageLayout(1003, 3000).camHeight, 385);
    EXPECT_EQ(chatpage::ComputePageLayout(1002, 3000).camHeight, 385);
    EXPECT_THROW(chatpage::ComputePageLayout(0, INT32_MIN), support::Failure);
}

TEST_F(ShellTest, ResizeBeforeThePageIsPreparedOnlyMovesTheTwoViews) {
    host.formImpl.resizeClient(1000, 600);
    EXPECT_EQ(host.journal.entries,
              (std::vector<std::string>{"WB.Move(0,0,1000,600)", "wbload.Move(0,0,1000,600)"}));
}

TEST_F(ShellTest, MissingElementOrUnreadableSizeSkipsOnlyItsOwnStep) {
    reachChatPage();
    host.wb.document->root->width = 700;
    host.wb.document->root->height = 560;
    host.wb.document->byId("cam")->attributes.erase("id");
    host.faults.fail("style", "#log.height");
    host.journal.clear();
    host.formImpl.resizeClient(698, 558);
    EXPECT_EQ(host.journal.matching("#"),
              (std::vector<std::string>{"#content.style.height=480px", "#chatarea.style.width=290px"}));

    host.faults.fail("offsetHeight");
    host.journal.clear();
    host.formImpl.resizeClient(698, 558);
    EXPECT_EQ(host.journal.matching("#content"),
              std::vector<std::string>{"#content.style.height=-80px"});  // H stayed 0
}

TEST_F(ShellTest, TimerFiresOnceGrowsTheWindowAndLaysOutAgain) {
    reachChatPage();  // brings WB forward and arms the timer
    ASSERT_TRUE(host.timer.enabled());
    main->TimerResize.setEnabled(true);  // arming again does not make it fire twice
    const int before = host.formImpl.geometry().height;
    host.journal.clear();
    EXPECT_TRUE(host.timer.elapse());
    // 25 twips are 1.67 pixels at 96 dpi: a growth rounds up to whole pixels.
    EXPECT_EQ(host.formImpl.geometry().height, before + 2);
    EXPECT_EQ(host.journal.count("WB.Move("), 1u);
    EXPECT_FALSE(host.timer.enabled());
    EXPECT_FALSE(host.timer.elapse());

    // A window that cannot change its height still disables the timer.
    host.faults.fail("setOuterHeight");
    main->TimerResize.setEnabled(true);
    host.timer.elapse();
    EXPECT_FALSE(host.timer.enabled());
}

TEST_F(ShellTest, UnloadStopsTheRecorderBeforeReleasingItAndEverySubscription) {
    reachChatPage();
    host.saveDialog.answer = "/tmp/a.wmv";
    host.wb.document->byId("butRec")->fire(platform::PageEvent::Click);
    ASSERT_EQ(host.journal.count("Recorder1.start()"), 1u);
    host.journal.clear();

    EXPECT_TRUE(host.formImpl.close());
    const auto& j = host.journal;
    ASSERT_EQ(j.count("Recorder1.stop()"), 1u);
    EXPECT_LT(j.indexOf("Recorder1.stop()"), j.indexOf("Recorder1.release"));
    EXPECT_EQ(sorted(j.matching("unsubscribe(")),
              sorted({"unsubscribe(document)", "unsubscribe(BODY)", "unsubscribe(#butShare)",
                      "unsubscribe(#butRec)"}));
    EXPECT_EQ(j.count("MsgBox"), 0u);
}

TEST_F(ShellTest, UnloadWhileIdleOrWithAFailingStopStillReleasesEverything) {
    memory::MemoryHost idle;
    app::Main m(idle);
    idle.formImpl.close();
    EXPECT_EQ(idle.journal.count("Recorder"), 0u);
    EXPECT_TRUE(idle.formImpl.unloaded);

    reachChatPage();
    host.saveDialog.answer = "/tmp/a.wmv";
    host.wb.document->byId("butRec")->fire(platform::PageEvent::Click);
    host.faults.fail("Recorder.stop");
    host.journal.clear();
    host.formImpl.close();
    EXPECT_TRUE(host.formImpl.unloaded);
    EXPECT_EQ(host.journal.count("unsubscribe("), 4u);
}

TEST_F(ShellTest, ClosingWhileTheUpdateCheckIsPendingAbandonsIt) {
    reachUpdateCheck();
    host.formImpl.close();
    main.reset();
    host.journal.clear();
    host.asyncReader.finish("update=false");
    EXPECT_TRUE(host.journal.entries.empty());
}

}  // namespace
