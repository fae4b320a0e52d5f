// The start sequence: blocking marker, Flash and webcam checks, and the start
// of the update check.

#include <gtest/gtest.h>

#include "MainFixture.h"
#include "startscreen/WebcamPresent.h"

using testing_support::kFlashProgId;
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
    EXPECT_EQ(r.asyncType, 2);
    EXPECT_EQ(r.propertyName, "Update");
    EXPECT_EQ(r.options, 16);
    EXPECT_EQ(host.journal.count("#"), 0u);  // no display changed
    EXPECT_EQ(host.captureService.messages,
              (std::vector<std::string>{"connect 0", "disconnect 101", "close 101"}));
}

TEST_F(StartScreenTest, FailedChecksShowTheirStateAndStopTheRoad) {
    struct Case {
        const char* name;
        bool flash, flashAnswers, webcam;
        const char* shown;
    } cases[] = {
        {"no flash player", false, true, true, "noflash"},
        {"flash object refuses $version", true, false, true, "noflash"},
        {"no webcam", true, true, false, "nowebcam"},
    };
    for (const auto& c : cases) {
        memory::MemoryHost h;
        app::Main m(h);
        if (c.flash) h.objectFactory.installed[kFlashProgId] = "LNX 32,0,0,465";
        h.objectFactory.getVariableFails = !c.flashAnswers;
        if (c.webcam) h.captureService.drivers = {0};
        h.formImpl.load();
        h.load.load("C:\\App\\HTML\\Dialog.html", testing_support::kStartPage);
        EXPECT_EQ(h.journal.matching("#"), (std::vector<std::string>{"#loading.style.display=none",
                                                                    std::string("#") + c.shown +
                                                                        ".style.display=block"}))
            << c.name;
        EXPECT_TRUE(h.asyncReader.requests.empty()) << c.name;
        if (!c.flash || !c.flashAnswers) {
            EXPECT_TRUE(h.captureService.messages.empty()) << c.name << ": no webcam probe";
        }
    }
}

TEST_F(StartScreenTest, IgnoredCompletions) {
    passChecks();
    host.load.document = memory::MemoryDocument::fromHtml(host.world, testing_support::kStartPage);
    host.load.raiseDocumentComplete("about:blank");
    host.load.raiseDocumentComplete("C:\\App\\HTML\\Dialog.html", /*frame=*/3);
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
    host.faults.fail("CreateObject");
    loadStartPage();
    EXPECT_EQ(startDisplay("noflash"), "block");

    // The webcam check failing counts as no webcam.
    host.faults.clear();
    host.faults.fail("openProbe");
    loadStartPage();
    EXPECT_EQ(startDisplay("nowebcam"), "block");
    EXPECT_EQ(updateRequests(), 1u);
}

TEST_F(StartScreenTest, ReloadRunsTheWholeSequenceAgain) {
    passChecks();
    loadStartPage();
    loadStartPage();
    EXPECT_EQ(updateRequests(), 2u);
    EXPECT_EQ(host.journal.count("CreateObject(" + kFlashProgId + ")"), 2u);
    EXPECT_EQ(host.journal.count("FlashObject.release"), 2u);
}

// The start view's page is the client's own: it shows no dialog or error page
// of the view's, and a part of it that cannot be loaded holds nothing up.
TEST_F(StartScreenTest, AFailingStartViewNavigationShowsNothingAndTheSequenceGoesOn) {
    passChecks();
    EXPECT_FALSE(host.load.raiseBeforeNavigate2("C:\\App\\HTML\\Dialog.html"));
    EXPECT_TRUE(host.load.silent);
    EXPECT_TRUE(host.load.raiseNavigateError("file:///C:/App/HTML/Img/missing.gif"))
        << "the view's own error page is kept away";
    loadStartPage();
    EXPECT_EQ(updateRequests(), 1u);
    EXPECT_TRUE(host.journal.matching("#").empty()) << "the start screen shows no failure";
}

TEST(WebcamPresent, ConnectsDriversInOrderAndAlwaysDisconnects) {
    struct Case {
        std::set<int> drivers;
        bool openFails;
        std::vector<std::string> messages;
        bool present;
    } cases[] = {
        {{0}, false, {"connect 0", "disconnect 101", "close 101"}, true},
        {{3},
         false,
         {"connect 0", "connect 1", "connect 2", "connect 3", "disconnect 101", "close 101"},
         true},
        {{},
         false,
         {"connect 0", "connect 1", "connect 2", "connect 3", "connect 4", "connect 5", "connect 6",
          "connect 7", "connect 8", "connect 9", "disconnect 101", "close 101"},
         false},
        {{0}, true, {"disconnect 0"}, false},
    };
    for (const auto& c : cases) {
        auto world = std::make_shared<memory::World>();
        memory::MemoryCaptureService capture(world);
        capture.drivers = c.drivers;
        capture.openFails = c.openFails;
        platform::WindowHandle handle = -1;
        EXPECT_EQ(startscreen::WebcamPresent(capture, handle), c.present);
        EXPECT_EQ(capture.messages, c.messages);
        EXPECT_EQ(handle, c.openFails ? 0 : 101);
        EXPECT_TRUE(capture.probes.empty()) << "the probe is closed";
    }
}

TEST(WebcamPresent, AFailingDriverIsDisconnectedAndTheFailureReachesTheCaller) {
    auto world = std::make_shared<memory::World>();
    memory::MemoryCaptureService capture(world);
    world->faults.fail("connectDriver");
    platform::WindowHandle handle = 0;
    EXPECT_THROW(startscreen::WebcamPresent(capture, handle), platform::Failure);
    EXPECT_EQ(capture.messages, (std::vector<std::string>{"disconnect 101", "close 101"}));
}

TEST_F(StartScreenTest, FlashVersionAnswersNoPlayerOrTheVersionText) {
    const app::FlashAnswer none = app::NoFlashPlayer{};
    EXPECT_EQ(main->FlashVersion(9), none);
    host.objectFactory.installed["ShockwaveFlash.ShockwaveFlash.10"] = "LNX 10,1,0,0";
    EXPECT_EQ(main->FlashVersion(9), none) << "no fallback to another ProgID";
    EXPECT_EQ(main->FlashVersion(10), app::FlashAnswer(app::FlashPlayerVersion{"LNX 10,1,0,0"}));
    host.objectFactory.installed["ShockwaveFlash.ShockwaveFlash.11"] = "";
    EXPECT_EQ(main->FlashVersion(11), app::FlashAnswer(app::FlashPlayerVersion{""}))
        << "an empty version text is still a player";
}

}  // namespace
