// The start sequence: blocking marker, Flash and webcam checks, and the start
// of the update check.

#include <gtest/gtest.h>

#include "MainFixture.h"

using testing_support::MainFixture;

namespace {

class StartScreenTest : public MainFixture {
protected:
    void SetUp() override { host.formImpl.load(); }
    size_t updateRequests() const { return host.asyncReader.requests.size(); }
};

TEST_F(StartScreenTest, BothChecksPassSendsOneUpdateRequestAndChangesNothingVisible) {
    passChecks();
    loadStartPage();
    ASSERT_EQ(updateRequests(), 1u);
    const auto& r = host.asyncReader.requests[0];
    EXPECT_EQ(r.target, "http://update.test/check/1");
    EXPECT_EQ(host.journal.count("#"), 0u);  // no display changed
    EXPECT_EQ(host.journal.matching("installedVersion"),
              std::vector<std::string>{"installedVersion(9)"});
}

TEST_F(StartScreenTest, FailedChecksShowTheirStateAndStopTheRoad) {
    struct Case {
        const char* name;
        bool flash, webcam;
        const char* shown;
    } cases[] = {
        {"no flash player", false, true, "noflash"},
        {"no webcam", true, false, "nowebcam"},
    };
    for (const auto& c : cases) {
        memory::MemoryHost h;
        app::Main m(h);
        if (c.flash) h.flashPlayerImpl.version = "LNX 32,0,0,465";
        if (c.webcam) h.webcamImpl.present = true;
        h.formImpl.load();
        h.load.load("/opt/whirligigcam/HTML/Dialog.html", testing_support::kStartPage);
        EXPECT_EQ(h.journal.matching("#"), (std::vector<std::string>{"#loading.style.display=none",
                                                                    std::string("#") + c.shown +
                                                                        ".style.display=block"}))
            << c.name;
        EXPECT_TRUE(h.asyncReader.requests.empty()) << c.name;
        EXPECT_EQ(h.journal.count("webcamPresent"), c.flash ? 1u : 0u) << c.name;
    }
}

TEST_F(StartScreenTest, IgnoredCompletions) {
    passChecks();
    host.load.document = memory::MemoryDocument::fromHtml(host.world, testing_support::kStartPage);
    host.load.raiseDocumentComplete("about:blank");
    host.load.raiseDocumentComplete("/opt/whirligigcam/HTML/Dialog.html", /*frame=*/3);
    EXPECT_EQ(updateRequests(), 0u);

    // A page that still carries the blocking marker stays as authored.
    loadStartPage("<div id=\"java\">Loading</div><div id=\"loading\"></div>");
    EXPECT_EQ(updateRequests(), 0u);
    EXPECT_TRUE(host.journal.matching("#").empty());
}

TEST_F(StartScreenTest, FailingTestsInsideTheSequenceGoOnAsDefined) {
    passChecks();
    // Browser-object test and marker lookup fail: go on to the checks.
    host.faults.fail("topLevelBrowser", "wbload");
    host.faults.fail("getElementById", "java");
    loadStartPage();
    EXPECT_EQ(updateRequests(), 1u);

    // The Flash check failing counts as no Flash.
    host.faults.clear();
    host.faults.fail("installedVersion");
    loadStartPage();
    EXPECT_EQ(startDisplay("noflash"), "block");

    // The webcam check failing counts as no webcam.
    host.faults.clear();
    host.faults.fail("webcamPresent");
    loadStartPage();
    EXPECT_EQ(startDisplay("nowebcam"), "block");
    EXPECT_EQ(updateRequests(), 1u);
}

TEST_F(StartScreenTest, ReloadRunsTheWholeSequenceAgain) {
    passChecks();
    loadStartPage();
    loadStartPage();
    EXPECT_EQ(updateRequests(), 2u);
    EXPECT_EQ(host.journal.count("installedVersion(9)"), 2u);
    EXPECT_EQ(host.journal.count("webcamPresent"), 2u);
}

// The start view's page is the client's own: it shows no dialog or error page
// of the view's, and a part of it that cannot be loaded holds nothing up.
TEST_F(StartScreenTest, AFailingStartViewNavigationShowsNothingAndTheSequenceGoesOn) {
    passChecks();
    EXPECT_FALSE(host.load.raiseBeforeNavigate2("/opt/whirligigcam/HTML/Dialog.html"));
    EXPECT_TRUE(host.load.silent);
    EXPECT_TRUE(host.load.raiseNavigateError("file:///C:/App/HTML/Img/missing.gif"))
        << "the view's own error page is kept away";
    loadStartPage();
    EXPECT_EQ(updateRequests(), 1u);
    EXPECT_TRUE(host.journal.matching("#").empty()) << "the start screen shows no failure";
}

TEST_F(StartScreenTest, FlashVersionAnswersNoPlayerOrTheVersionText) {
    startscreen::StartScreen start({host.app(), host.flashPlayer(), host.webcam()}, host.load, {});
    const startscreen::FlashAnswer none = startscreen::NoFlashPlayer{};
    EXPECT_EQ(start.flashVersion(9), none);
    host.flashPlayerImpl.version = "LNX 10,1,0,0";
    host.flashPlayerImpl.major = 10;
    EXPECT_EQ(start.flashVersion(10),
              startscreen::FlashAnswer(startscreen::FlashPlayerVersion{"LNX 10,1,0,0"}));
    EXPECT_EQ(start.flashVersion(11), none) << "too old";
    host.flashPlayerImpl.version = "";
    EXPECT_EQ(start.flashVersion(10), startscreen::FlashAnswer(startscreen::FlashPlayerVersion{""}))
        << "an empty version text is still a player";
}

}  // namespace
