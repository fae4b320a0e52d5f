// The record button: start, stop, the upload offer, the capture rectangle and
// the recorder's calls.

#include <gtest/gtest.h>

#include <tuple>

#include "MainFixture.h"
#include "support/TwipsToPixels.h"

using testing_support::MainFixture;

namespace {

using platform::PageEvent;

class RecordingTest : public MainFixture {
protected:
    void SetUp() override { reachChatPage(); }
    std::shared_ptr<memory::MemoryElement> caption() {
        return chatElement("butRec")->children[0];
    }
    void click() { chatElement("butRec")->fire(PageEvent::Click); }
};

TEST_F(RecordingTest, StartAsksForTheWindowsClientAreaInTheChosenFile) {
    // Left 100, Top 80, outer 714 x 596, client 698 x 558 (pixels at 96 dpi).
    host.formImpl.frameHeight = 38;
    host.saveDialog.answer = "/home/u/chat";
    host.journal.clear();
    click();
    const platform::RecordingRequest& asked = host.recorderFactory.latestRequest;
    EXPECT_EQ(asked.path, "/home/u/chat");
    EXPECT_EQ(std::tuple(asked.area.left, asked.area.top, asked.area.width, asked.area.height),
              std::tuple(110, 112, 694, 554));
    EXPECT_EQ(asked.framesPerSecond, 30.0);
    EXPECT_TRUE(asked.drawPointer && asked.padOffscreen && !asked.highlightClicks);
    EXPECT_FALSE(asked.sound) << "the desktop's own choice of sounds";
    EXPECT_EQ(host.journal.matching("Recorder1."), std::vector<std::string>{"Recorder1.start()"});
    ASSERT_EQ(host.saveDialog.types.size(), 1u);
    EXPECT_EQ(host.saveDialog.types[0].description, "wmv File (*.wmv)");
    EXPECT_EQ(host.saveDialog.types[0].patterns, std::vector<std::string>{"*.wmv"});
    EXPECT_EQ(caption()->innerText(), "Stop Rec");
    // The recording runs until it is stopped: closing the window stops it.
    host.formImpl.close();
    EXPECT_EQ(host.journal.count("Recorder1.stop()"), 1u);
}

TEST_F(RecordingTest, OnAScaledScreenTheRectangleIsInDevicePixels) {
    host.formImpl.scale = 2;
    host.screenImpl.dpi = 144;  // logical pixels of 10 twips, device pixels of 5
    host.saveDialog.answer = "/tmp/s.wmv";
    click();
    const auto& area = host.recorderFactory.latestRequest.area;
    EXPECT_EQ(std::tuple(area.left, area.top, area.width, area.height),
              std::tuple(2 * 108 + 2, 2 * 110 + 2, 2 * 698 - 4, 2 * 558 - 4));
}

TEST_F(RecordingTest, MaximisedWindowRectangle) {
    host.formImpl.left = -8;  // off the screen
    host.formImpl.top = -8;
    host.saveDialog.answer = "/tmp/x.wmv";
    click();
    EXPECT_EQ(host.recorderFactory.latestRequest.area.left, 2);
}

TEST(TwipsToPixels, RoundsHalfToEven) {
    struct Case {
        double value;
        int want;
    } cases[] = {{8.5, 8}, {9.5, 10}, {-8.5, -8}, {-9.5, -10}, {2.4, 2}, {2.6, 3}, {0.5, 0}};
    for (auto c : cases) EXPECT_EQ(support::RoundHalfEven(c.value), c.want) << c.value;
    EXPECT_EQ(support::TwipsToPixels(240, 15), 16);
    EXPECT_EQ(support::TwipsToPixels(-120, 15), -8);
    EXPECT_EQ(support::TwipsToPixels(22, 15), 1);   // 1.47
    EXPECT_EQ(support::TwipsToPixels(45, 30), 2);   // 1.5 -> 2
    EXPECT_EQ(support::TwipsToPixels(75, 30), 2);   // 2.5 -> 2
    EXPECT_THROW(support::TwipsToPixels(15, 0), support::Failure);
    EXPECT_THROW(support::RoundHalfEven(3e10), support::Failure);
}

TEST_F(RecordingTest, SideFramesRoundHalfToEven) {
    host.saveDialog.answer = "/tmp/v.wmv";
    // Side frames of 17 and 19 pixels: half of each rounds to the even pixel.
    for (auto [frame, left] : {std::pair{17, 100 + 8 + 2}, std::pair{19, 100 + 10 + 2}}) {
        host.formImpl.frameWidth = frame;
        click();  // start
        click();  // stop
        EXPECT_EQ(host.recorderFactory.latestRequest.area.left, left) << frame;
    }
}

TEST_F(RecordingTest, StopAnsweredYesOrNo) {
    for (auto answer : {platform::MessageAnswer::No, platform::MessageAnswer::Yes}) {
        host.saveDialog.answer = "/tmp/v.wmv";
        click();
        ASSERT_EQ(caption()->innerText(), "Stop Rec");
        host.messageBoxImpl.answer = answer;
        host.journal.clear();
        click();
        const auto& j = host.journal;
        EXPECT_LT(j.indexOf("#butRec.getElementsByTagName(SPAN)"), j.indexOf("SPAN.innerText=Record"));
        EXPECT_LT(
            j.indexOf("SPAN.innerText=Record"),
            j.indexOf("MsgBox(Do you want to upload the video to YouTube?,Yes No,Whirligigcam)"))
            << "relabelled before the question";
        EXPECT_EQ(j.count("MsgBox("), 1u);
        EXPECT_EQ(caption()->innerText(), "Record");
        EXPECT_TRUE(host.recorderFactory.latest.expired()) << "the recorder is released";
        EXPECT_EQ(j.matching("openWithDefaultHandler"),
                  answer == platform::MessageAnswer::Yes
                      ? std::vector<std::string>{"openWithDefaultHandler(http://video.test/"
                                                 "my_videos_upload)"}
                      : std::vector<std::string>{});
    }
    EXPECT_EQ(host.recorderFactory.created, 2);
}

std::vector<std::string> warnings;
void keepWarnings(const support::LogRecord& record) {
    if (record.level == support::LogLevel::Warning) warnings.emplace_back(record.message);
}

TEST_F(RecordingTest, AnUploadPageThatCannotBeOpenedIsLoggedAsAWarning) {
    host.saveDialog.answer = "/tmp/v.wmv";
    click();
    host.messageBoxImpl.answer = platform::MessageAnswer::Yes;
    host.faults.fail("openWithDefaultHandler");
    warnings.clear();
    support::setLogSink(keepWarnings);
    click();
    support::setLogSink(nullptr);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("http://video.test/my_videos_upload"), std::string::npos);
    EXPECT_EQ(caption()->innerText(), "Record");
}

TEST_F(RecordingTest, CancelledDialogCreatesNoRecorder) {
    host.saveDialog.answer = "";
    click();
    EXPECT_EQ(host.saveDialog.shown, 1);
    EXPECT_EQ(host.recorderFactory.created, 0);
    EXPECT_EQ(caption()->innerText(), "Record");
}

TEST_F(RecordingTest, ARecorderThatCannotBeCreatedOrStartedIsToldAndNotReportedAsRecording) {
    host.saveDialog.answer = "/tmp/v.wmv";
    for (const char* op : {"CreateRecorder", "Recorder.start"}) {
        host.faults.clear();
        host.faults.fail(op);
        host.journal.clear();
        click();
        EXPECT_EQ(caption()->innerText(), "Record") << op;
        EXPECT_TRUE(host.recorderFactory.latest.expired()) << op;
        EXPECT_EQ(host.journal.matching("MsgBox"),
                  std::vector<std::string>{"MsgBox(The recording could not start: injected "
                                           "failure: " +
                                           std::string(op) + "().,OK!,Whirligigcam)"});
    }
    EXPECT_EQ(host.journal.count("Recorder1.release"), 1u) << "the unstarted recorder is released";
}

TEST_F(RecordingTest, TheCaptionDecidesWhatAClickDoes) {
    // Recording, but the page has put the caption back to Record: a new start.
    host.saveDialog.answer = "/tmp/v.wmv";
    click();
    caption()->setInnerText("Record");
    click();
    EXPECT_EQ(host.recorderFactory.created, 2);
    EXPECT_EQ(host.journal.count("Recorder2.start()"), 1u);

    // Other captions are ignored.
    caption()->setInnerText("Recording...");
    host.journal.clear();
    click();
    EXPECT_EQ(host.journal.count("Recorder"), 0u);
    EXPECT_EQ(host.journal.count("MsgBox"), 0u);

    // Caption spans a page added: one click still opens one dialog.
    caption()->setInnerText("Record");
    chatElement("butRec")->insertAdjacentHTML("beforeEnd",
                                              "<span>Record</span><span>Stop Rec</span>");
    host.saveDialog.answer = "";
    host.journal.clear();
    click();
    EXPECT_EQ(host.journal.count("askSavePath"), 1u);
}

// A recording that fails, at the stop click or by itself while it runs: the
// caption returns to "Record", the recorder goes, one box says what failed
// and where the file is, and the file is not offered for upload.
TEST_F(RecordingTest, AFailedRecordingIsToldAndNotOfferedForUpload) {
    host.messageBoxImpl.answer = platform::MessageAnswer::Yes;
    for (const bool byItself : {false, true}) {
        host.faults.clear();
        host.saveDialog.answer = "/tmp/v.wmv";
        click();
        ASSERT_EQ(caption()->innerText(), "Stop Rec");
        auto recorder = host.recorderFactory.latest.lock();
        ASSERT_TRUE(recorder && recorder->onFailure);
        host.faults.fail("Recorder.stop");
        host.journal.clear();
        if (byItself) {
            recorder->onFailure();
        } else {
            click();
        }
        EXPECT_EQ(caption()->innerText(), "Record") << byItself;
        EXPECT_EQ(recorder.use_count(), 1) << byItself << ": the window let the recorder go";
        EXPECT_EQ(host.journal.matching("MsgBox"),
                  std::vector<std::string>{
                      "MsgBox(The recording failed: injected failure: Recorder.stop().\n\n"
                      "What was recorded until then is in \"/tmp/v.wmv\".,OK!,Whirligigcam)"})
            << byItself;
        EXPECT_EQ(host.journal.count("openWithDefaultHandler"), 0u) << byItself;

        // News of a recording already ended changes nothing.
        host.journal.clear();
        recorder->onFailure();
        EXPECT_EQ(host.journal.count("MsgBox"), 0u);
    }
}

TEST_F(RecordingTest, EachStartShowsTheDialogAgainWithAFreshRecorder) {
    host.saveDialog.answer = "/tmp/v.wmv";
    for (int i = 0; i < 3; ++i) {
        click();
        click();
    }
    EXPECT_EQ(host.saveDialog.shown, 3);
    EXPECT_EQ(host.recorderFactory.created, 3);
    EXPECT_EQ(host.journal.count("Recorder3.release"), 1u);
}

}  // namespace
