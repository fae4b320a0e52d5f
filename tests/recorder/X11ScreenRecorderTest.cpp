// The X11 recorder against a real X server (under scripts/test both Xvfb and
// Xwayland in a headless Wayland compositor): plain Xlib windows with known
// contents, recorded from their own pixels, recordings read back with FFmpeg.

// GoogleTest before Xlib, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>
// Xlib and its extensions after it.
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "TestScreen.h"
#include "VideoFile.h"
#include "support/Failure.h"
#include "platform/recorder/X11RecorderFactory.h"
#include "platform/recorder/X11ScreenRecorder.h"

namespace recorder_test {
namespace {

namespace fs = std::filesystem;
using recorder::X11ScreenRecorder;
using Clock = std::chrono::steady_clock;

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kRed{220, 30, 30};
constexpr Rgb kGreen{30, 200, 60};
constexpr Rgb kBlue{40, 60, 220};
constexpr Rgb kGrey{128, 128, 128};
constexpr double kFrame = 1.0 / 30;

bool near(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

std::size_t countEntries(const char* dir) {
    return std::distance(fs::directory_iterator(dir), fs::directory_iterator{});
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

struct Area {
    int x, y, width, height;
};

class RecorderTest : public testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "DISPLAY is not set";
        screen_ = std::make_unique<TestScreen>();
        screen_->movePointer(1200, 900);  // away from every recorded area
        char pattern[] = "/tmp/recorder-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    std::string file(const std::string& name) const { return (dir_ / name).string(); }

    // What the client asks for, of the rectangle into the file.
    static platform::RecordingRequest request(Area area, const std::string& path) {
        platform::RecordingRequest r;
        r.area = {area.x, area.y, area.width, area.height};
        r.path = path;
        return r;
    }
    // Records the window's own pixels (0: the screen's).
    static recorder::RecorderTarget from(Window window) { return {{}, window, {}}; }

    std::unique_ptr<TestScreen> screen_;
    fs::path dir_;
};

TEST_F(RecorderTest, RecordsChangingWindowAsWmv2InAsfAtItsFrameRate) {
    const Area area{100, 100, 320, 240};
    const Window window = screen_->show(area.x, area.y, area.width, area.height, kRed);
    const Rgb palette[] = {kRed, kGreen, kBlue, kGrey, {230, 230, 40}, {20, 200, 200}};
    X11ScreenRecorder recorder(request(area, file("changing.wmv")), from(window));

    // Measured around the recorder's own start and stop, so that the time
    // that passed can only be longer than what it recorded.
    const auto started = Clock::now();
    recorder.start();
    // Drive the content: a new colour every 1/60 s for a little over a second.
    int step = 0;
    for (auto next = started; Clock::now() - started < std::chrono::milliseconds(1200);
         next += std::chrono::microseconds(16667)) {
        screen_->fill(window, palette[++step % std::size(palette)]);
        std::this_thread::sleep_until(next);
    }
    recorder.stop();
    const double recorded = std::chrono::duration<double>(Clock::now() - started).count();

    const VideoFile video = readVideo(file("changing.wmv"));
    EXPECT_EQ(video.format, "asf");
    EXPECT_EQ(video.codec, "wmv2");
    EXPECT_EQ(video.width, 320);
    EXPECT_EQ(video.height, 240);
    EXPECT_NEAR(video.frameRate, 30.0, 0.01);
    EXPECT_TRUE(video.seekable);
    ASSERT_GE(video.frames.size(), 2u);
    // The file ends with its last frame and never claims more time than passed
    // (how much of that time it caught depends on the machine's load).
    EXPECT_NEAR(video.durationSeconds, video.frames.back().ptsMs / 1000.0 + kFrame, 0.0011);
    EXPECT_LE(video.durationSeconds, recorded + kFrame + 0.0011);

    int changes = 0;
    for (std::size_t i = 0; i < video.frames.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "frame " << i);
        // Each frame sits on the 1/30 s grid (ASF keeps milliseconds), later than the last.
        const double pts = video.frames[i].ptsMs / 1000.0;
        EXPECT_NEAR(pts, std::round(pts / kFrame) * kFrame, 0.0011);
        if (i > 0) {
            EXPECT_GT(video.frames[i].ptsMs, video.frames[i - 1].ptsMs);
        }
        // It shows one of the window's colours.
        const Rgb centre = video.pixel(i, 160, 120);
        EXPECT_TRUE(std::any_of(std::begin(palette), std::end(palette),
                                [&](Rgb c) { return near(centre, c, 30); }))
            << centre.r << "," << centre.g << "," << centre.b;
        if (i > 0 && !near(centre, video.pixel(i - 1, 160, 120), 10)) ++changes;
    }
    EXPECT_GE(changes, int(video.frames.size()) / 2);
}

// Rectangles of various sizes and positions, one frame each: the frame is the
// window's colour where the rectangle is on the screen, black elsewhere.
struct PlacementCase {
    const char* name;
    Area window;
    Area capture;
    int expectedWidth, expectedHeight;
    Rgb colour;
};

class PlacementTest : public RecorderTest, public testing::WithParamInterface<PlacementCase> {};

TEST_P(PlacementTest, FrameShowsVisiblePartAndPadsTheRest) {
    const PlacementCase& c = GetParam();
    const Window window =
        screen_->show(c.window.x, c.window.y, c.window.width, c.window.height, c.colour);
    X11ScreenRecorder recorder(request(c.capture, file("placed.wmv")), from(window));
    recorder.start();
    recorder.stop();

    const VideoFile video = readVideo(file("placed.wmv"));
    ASSERT_EQ(video.width, c.expectedWidth);
    ASSERT_EQ(video.height, c.expectedHeight);
    ASSERT_GE(video.frames.size(), 1u);
    // Compare away from the border between black and colour, which the
    // encoder's chroma subsampling blurs.
    const int padLeft = std::max(0, -c.capture.x), padTop = std::max(0, -c.capture.y);
    int mismatches = 0;
    for (int y = 0; y < video.height; ++y)
        for (int x = 0; x < video.width; ++x) {
            const bool padded = x < padLeft || y < padTop;
            const int distance = std::min(padded ? std::max(padLeft - x, padTop - y)
                                                 : std::min(x - padLeft + 1, y - padTop + 1),
                                          std::min(video.width - x, video.height - y));
            if (distance < 3) continue;
            if (!near(video.pixel(0, x, y), padded ? kBlack : c.colour, 30)) ++mismatches;
        }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlacementTest,
    testing::Values(
        PlacementCase{
            "OddSizeCroppedToEven", {200, 150, 101, 75}, {200, 150, 101, 75}, 100, 74, kRed},
        PlacementCase{
            "MaximisedWindowLeftEdge", {0, 300, 200, 100}, {-8, 300, 120, 80}, 120, 80, kGreen},
        PlacementCase{"AboveTopEdge", {400, 0, 100, 100}, {400, -6, 64, 41}, 64, 40, kBlue}),
    [](const auto& info) { return std::string(info.param.name); });

// Requests that the recorder refuses when it is made, or that fail at start()
// on the screen or the disk, leaving no file and no thread.
struct RefusalCase {
    const char* name;
    std::function<void(platform::RecordingRequest&, const std::string& dir)> spoil;
    bool atStart;       // only start() can tell
    bool fileMayExist;  // the path names something that existed before
};

class RefusalTest : public RecorderTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, RefusedAndNothingLeftRunning) {
    const RefusalCase& c = GetParam();
    const Window window = screen_->show(100, 100, 200, 200, kGrey);
    platform::RecordingRequest spoilt = request({100, 100, 200, 200}, file("refused.wmv"));
    c.spoil(spoilt, dir_.string());
    const std::size_t threads = countEntries("/proc/self/task");

    if (c.atStart) {
        X11ScreenRecorder recorder(spoilt, from(window));
        EXPECT_THROW(recorder.start(), support::Failure);
        EXPECT_FALSE(recorder.isRecording());
        recorder.stop();  // nothing to stop
    } else {
        EXPECT_THROW(X11ScreenRecorder(spoilt, from(window)), support::Failure);
    }
    EXPECT_EQ(countEntries("/proc/self/task"), threads);
    if (!c.fileMayExist) {
        EXPECT_EQ(countEntries(dir_.c_str()), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusalTest,
    testing::Values(
        RefusalCase{"WhollyOffScreen", [](auto& r, auto&) { r.area.left = -500; }, true, false},
        RefusalCase{"ZeroWidth", [](auto& r, auto&) { r.area.width = 0; }, false, false},
        RefusalCase{"NegativeHeight", [](auto& r, auto&) { r.area.height = -20; }, false, false},
        RefusalCase{"PartlyOffWithoutPadding",
                    [](auto& r, auto&) {
                        r.area.left = -8;
                        r.padOffscreen = false;
                    },
                    true, false},
        RefusalCase{"ZeroFrameRate", [](auto& r, auto&) { r.framesPerSecond = 0; }, false, false},
        RefusalCase{"NaNFrameRate", [](auto& r, auto&) { r.framesPerSecond = NAN; }, false, false},
        RefusalCase{"TooHighFrameRate", [](auto& r, auto&) { r.framesPerSecond = 241; }, false,
                    false},
        RefusalCase{"NegativeDelay", [](auto& r, auto&) { r.startDelaySeconds = -1; }, false,
                    false},
        RefusalCase{"EmptyPath", [](auto& r, auto&) { r.path.clear(); }, false, false},
        RefusalCase{"MissingFolder",
                    [](auto& r, const std::string& d) { r.path = d + "/missing/x.wmv"; }, true,
                    false},
        RefusalCase{"PathIsFolder", [](auto& r, const std::string& d) { r.path = d; }, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A stop right after the start still leaves a playable file with one frame,
// also when the stop comes during the start delay.
class StopAtOnceTest : public RecorderTest, public testing::WithParamInterface<int> {};

TEST_P(StopAtOnceTest, WritesAtLeastOneFrame) {
    const Window window = screen_->show(100, 100, 200, 200, kBlue);
    platform::RecordingRequest delayed = request({100, 100, 200, 200}, file("short.wmv"));
    delayed.startDelaySeconds = GetParam();
    X11ScreenRecorder recorder(delayed, from(window));
    recorder.start();
    recorder.stop();
    const VideoFile video = readVideo(file("short.wmv"));
    ASSERT_GE(video.frames.size(), 1u);
    EXPECT_TRUE(near(video.pixel(0, 100, 100), kBlue, 30));
    EXPECT_TRUE(video.seekable);
}

INSTANTIATE_TEST_SUITE_P(Delays, StopAtOnceTest, testing::Values(0, 5));

// Frame rates other than the client's 30: frames sit on that rate's grid.
class FrameRateTest : public RecorderTest, public testing::WithParamInterface<float> {};

TEST_P(FrameRateTest, FramesFollowTheRate) {
    const Window window = screen_->show(100, 100, 200, 200, kBlue);
    platform::RecordingRequest rated = request({100, 100, 200, 200}, file("rate.wmv"));
    rated.framesPerSecond = GetParam();
    X11ScreenRecorder recorder(rated, from(window));
    recorder.start();
    for (const auto start = Clock::now(); Clock::now() - start < std::chrono::milliseconds(450);)
        screen_->fill(window, Clock::now().time_since_epoch().count() / 1000000 % 2 ? kRed : kBlue);
    recorder.stop();

    const VideoFile video = readVideo(file("rate.wmv"));
    ASSERT_GE(video.frames.size(), 2u);
    const double period = 1.0 / GetParam();
    for (const DecodedFrame& frame : video.frames) {
        const double pts = frame.ptsMs / 1000.0;
        EXPECT_NEAR(pts, std::round(pts / period) * period, 0.0011) << "at " << frame.ptsMs;
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, FrameRateTest, testing::Values(5.0f, 15.0f, 29.97f, 60.0f));

// A stall of the capture thread (here the X server held by another client,
// as a slow disk or encoder would hold it) leaves a gap that is counted, and
// the file stays whole.
TEST_F(RecorderTest, StallIsCountedAsSkippedFramesAndTheFileStaysWhole) {
    if (screen_->isXwayland()) GTEST_SKIP() << "Xwayland serves other clients during a grab";
    const Window window = screen_->show(100, 100, 200, 200, kGreen);
    X11ScreenRecorder recorder(request({100, 100, 200, 200}, file("stalled.wmv")), from(window));
    recorder.start();
    XGrabServer(screen_->display());
    XSync(screen_->display(), False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the stall itself
    XUngrabServer(screen_->display());
    XSync(screen_->display(), False);
    recorder.stop();
    EXPECT_GT(recorder.skippedFrames(), 0);
    EXPECT_FALSE(recorder.failed());

    const VideoFile video = readVideo(file("stalled.wmv"));
    ASSERT_GE(video.frames.size(), 1u);
    EXPECT_TRUE(video.seekable);
    EXPECT_TRUE(near(video.pixel(video.frames.size() - 1, 100, 100), kGreen, 30));
}

TEST_F(RecorderTest, SecondStopAndReleaseAreHarmless) {
    const Window window = screen_->show(100, 100, 200, 200, kGreen);
    {
        X11ScreenRecorder recorder(request({100, 100, 200, 200}, file("twice.wmv")), from(window));
        recorder.start();
        EXPECT_THROW(recorder.start(), support::Failure);  // already recording
        EXPECT_TRUE(recorder.isRecording());
        recorder.stop();
        recorder.stop();
        EXPECT_FALSE(recorder.isRecording());
    }
    EXPECT_GE(readVideo(file("twice.wmv")).frames.size(), 1u);

    {
        // Released while recording: finishes the file.
        X11ScreenRecorder recorder(request({100, 100, 200, 200}, file("released.wmv")),
                                   from(window));
        recorder.start();
    }
    const VideoFile released = readVideo(file("released.wmv"));
    EXPECT_GE(released.frames.size(), 1u);
    EXPECT_TRUE(released.seekable);
}

// The pointer and the click highlight, drawn over a grey window while the
// pointer is inside the recorded area.
struct PointerCase {
    const char* name;
    bool drawPointer;
    bool highlight;
    bool buttonDown;
    int pointerX;  // in the frame; the frame's left edge is 0
    bool expectMarks;
};

class PointerTest : public RecorderTest, public testing::WithParamInterface<PointerCase> {};

TEST_P(PointerTest, MarksAppearOnlyWhenAskedFor) {
    const PointerCase& c = GetParam();
    const Window window = screen_->show(600, 100, 200, 200, kGrey);
    screen_->movePointer(600 + c.pointerX, 200);
    Display* input = XOpenDisplay(nullptr);
    ASSERT_NE(input, nullptr);
    if (c.buttonDown) {
        XTestFakeButtonEvent(input, 1, True, CurrentTime);
        XSync(input, False);
    }
    platform::RecordingRequest marked = request({600, 100, 200, 200}, file("pointer.wmv"));
    marked.drawPointer = c.drawPointer;
    marked.highlightClicks = c.highlight;
    X11ScreenRecorder recorder(marked, from(window));
    recorder.start();
    recorder.stop();
    if (c.buttonDown) {
        XTestFakeButtonEvent(input, 1, False, CurrentTime);
        XSync(input, False);
    }
    XCloseDisplay(input);

    const VideoFile video = readVideo(file("pointer.wmv"));
    ASSERT_GE(video.frames.size(), 1u);
    int pointerMarks = 0, ringMarks = 0;
    for (int y = 70; y < 130; ++y)
        for (int x = std::max(0, c.pointerX - 30); x < std::min(200, c.pointerX + 30); ++x) {
            const Rgb p = video.pixel(0, x, y);
            if (near(p, kGrey, 40)) continue;
            // The pointer is black and white; the ring yellow, about 18 pixels out.
            const int d2 = (x - c.pointerX) * (x - c.pointerX) + (y - 100) * (y - 100);
            if (near(p, kBlack, 60) || near(p, Rgb{255, 255, 255}, 50)) ++pointerMarks;
            if (p.r > p.b + 40 && d2 >= 14 * 14 && d2 <= 23 * 23) ++ringMarks;
        }
    EXPECT_EQ(pointerMarks > 0, c.expectMarks && c.drawPointer);
    EXPECT_EQ(ringMarks > 0, c.expectMarks && c.highlight);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PointerTest,
    testing::Values(PointerCase{"PointerDrawn", true, false, false, 100, true},
                    PointerCase{"PointerHidden", false, false, false, 100, false},
                    // The cursor's image would reach into the frame; its hot spot does not.
                    PointerCase{"PointerJustOutside", true, true, true, -3, false},
                    PointerCase{"HighlightWhileButtonHeld", false, true, true, 100, true},
                    PointerCase{"NoHighlightWithoutButton", false, true, false, 100, false},
                    PointerCase{"HighlightOffWhileButtonHeld", false, false, true, 100, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Waits until the running recording has grabbed `more` frames after this
// call; false when that takes longer than a busy machine could explain.
bool framesPass(const X11ScreenRecorder& recorder, std::int64_t more) {
    const std::int64_t target = recorder.framesTaken() + more;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (recorder.framesTaken() < target) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// What happens to the recorded window during a recording: the recording
// keeps showing the window's own pixels. The window starts red and turns
// blue after the change; its last frame shows blue over `blueWidth` columns
// and black beyond, and no frame in between is anything but red or blue.
// Waits for the recording to grab a few more frames; false if it does not.
using FramesPass = std::function<bool()>;

struct WindowChange {
    const char* name;
    std::function<void(TestScreen&, Window, const FramesPass&)> change;
    int blueWidth;
};

class WindowChangeTest : public RecorderTest, public testing::WithParamInterface<WindowChange> {};

TEST_P(WindowChangeTest, RecordingKeepsTheWindowsOwnPixels) {
    const Window window = screen_->show(100, 100, 320, 240, kRed);
    X11ScreenRecorder recorder(request({100, 100, 320, 240}, file("changed.wmv")), from(window));
    recorder.start();
    // Red frames before the change; after it, frames grabbed once the change
    // was made, so that the last frame shows it (one more for the grabber to
    // notice a new size or mapping).
    ASSERT_TRUE(framesPass(recorder, 2));
    GetParam().change(*screen_, window, [&] { return framesPass(recorder, 2); });
    screen_->fill(window, kBlue);
    ASSERT_TRUE(framesPass(recorder, 3));
    recorder.stop();

    const VideoFile video = readVideo(file("changed.wmv"));
    ASSERT_EQ(video.width, 320);
    ASSERT_EQ(video.height, 240);
    ASSERT_GE(video.frames.size(), 2u);
    for (std::size_t i = 0; i < video.frames.size(); ++i) {
        const Rgb centre = video.pixel(i, 100, 120);
        EXPECT_TRUE(near(centre, kRed, 30) || near(centre, kBlue, 30))
            << "frame " << i << ": " << centre.r << "," << centre.g << "," << centre.b;
    }
    const std::size_t last = video.frames.size() - 1;
    for (const int x : {4, GetParam().blueWidth / 2, GetParam().blueWidth - 4})
        for (const int y : {4, 120, 235}) {
            EXPECT_TRUE(near(video.pixel(last, x, y), kBlue, 30)) << x << "," << y;
        }
    if (GetParam().blueWidth < 320) {
        EXPECT_TRUE(near(video.pixel(last, GetParam().blueWidth + 8, 120), kBlack, 30));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, WindowChangeTest,
    testing::Values(
        WindowChange{"PartlyCoveredByAnotherWindow",
                     [](TestScreen& s, Window, const FramesPass&) { s.show(150, 150, 200, 150, kGreen); }, 320},
        WindowChange{"MovedPartlyOffTheScreen",
                     [](TestScreen& s, Window w, const FramesPass&) {
                         XMoveWindow(s.display(), w, -200, 100);
                     }, 320},
        WindowChange{"Shrunk",
                     [](TestScreen& s, Window w, const FramesPass&) {
                         XResizeWindow(s.display(), w, 200, 240);
                     }, 200},
        WindowChange{"UnmappedAndMappedAgain",
                     [](TestScreen& s, Window w, const FramesPass& framesPass) {
                         XUnmapWindow(s.display(), w);
                         XSync(s.display(), False);
                         ASSERT_TRUE(framesPass()) << "no frames while unmapped";
                         s.map(w);
                     },
                     320}),
    [](const auto& info) { return std::string(info.param.name); });

// A recording that stays black for its first second is ended and its file
// removed: a window that really is black, and the screen's own pixels
// (no window given), which Xwayland does not hold.
struct BlackCase {
    const char* name;
    Rgb colour;
    bool readWindow;
};

class BlackStartTest : public RecorderTest, public testing::WithParamInterface<BlackCase> {};

TEST_P(BlackStartTest, BlackRecordingIsRemovedOtherwiseKept) {
    const BlackCase& c = GetParam();
    const Window window = screen_->show(100, 100, 200, 200, c.colour);
    const bool black = near(c.colour, kBlack, 0) || (!c.readWindow && screen_->isXwayland());
    X11ScreenRecorder recorder(request({100, 100, 200, 200}, file("black.wmv")),
                               from(c.readWindow ? window : 0));
    recorder.start();
    // Until the recorder has failed, or well past the first second.
    const auto deadline = Clock::now() + std::chrono::seconds(black ? 60 : 2);
    while (!recorder.failed() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(recorder.failed(), black);
    if (black) {
        EXPECT_NE(recorder.lastError().find("black"), std::string::npos) << recorder.lastError();
        EXPECT_THROW(recorder.stop(), support::Failure);
        EXPECT_TRUE(recorder.failed()) << "the error outlives the recording";
        EXPECT_EQ(countEntries(dir_.c_str()), 0u);
    } else {
        recorder.stop();
        EXPECT_TRUE(near(readVideo(file("black.wmv")).pixel(0, 100, 100), c.colour, 30));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, BlackStartTest,
                         testing::Values(BlackCase{"BlackWindow", kBlack, true},
                                         BlackCase{"ScreenPixels", kGreen, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecorderTest, RepeatedRecordingsKeepFilesThreadsAndMemoryFlat) {
    const Window window = screen_->show(100, 100, 320, 240, kRed);
    auto cycle = [&](int i) {
        X11ScreenRecorder recorder(
            request({100, 100, 320, 240}, file("cycle" + std::to_string(i % 2) + ".wmv")),
            from(window));
        recorder.start();
        recorder.stop();
    };
    cycle(0);  // first use loads codecs and X extensions
    const std::size_t fds = countEntries("/proc/self/fd");
    const std::size_t threads = countEntries("/proc/self/task");
    const long rss = residentKiB();
    for (int i = 1; i <= 20; ++i) cycle(i);
    EXPECT_EQ(countEntries("/proc/self/fd"), fds);
    // A joined thread can stay listed for a moment after the join returns:
    // the kernel releases its entry after it has told the joiner.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (countEntries("/proc/self/task") > threads && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(countEntries("/proc/self/task"), threads);
    EXPECT_LT(residentKiB() - rss, 32 * 1024);  // a leak of one frame per cycle would show
    EXPECT_GE(readVideo(file("cycle0.wmv")).frames.size(), 1u);
}

TEST_F(RecorderTest, FactoryFailsWithoutDisplay) {
    const platform::RecordingRequest good = request({100, 100, 200, 200}, file("made.wmv"));
    EXPECT_NE(recorder::X11RecorderFactory().create(good, {}), nullptr);
    EXPECT_THROW(recorder::X11RecorderFactory(":4711").create(good, {}), support::Failure);
}

}  // namespace
}  // namespace recorder_test
