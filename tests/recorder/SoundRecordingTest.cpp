// The recorder's sound against a private PulseAudio server: the chat's
// streams (played into the chat's own sink, as the client's web processes
// do) and the microphone go into the file, another program's sound does not,
// whatever it claims to be; a server that is missing or dies leaves silence
// and a whole file.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "SoundFile.h"
#include "TestScreen.h"
#include "TestSoundServer.h"
#include "VideoFile.h"
#include "support/Log.h"
#include "platform/recorder/ChatSoundSink.h"
#include "platform/recorder/X11ScreenRecorder.h"

namespace recorder_test {
namespace {

namespace fs = std::filesystem;
using recorder::ChatSoundSink;
using recorder::SoundSources;
using recorder::X11ScreenRecorder;

constexpr int kChatHz = 440;
constexpr int kMicHz = 660;
constexpr int kOtherHz = 1000;

std::mutex logMutex;
std::vector<std::string> warnings;  // under logMutex: the sound thread logs too

void keepWarnings(const support::LogRecord& record) {
    std::lock_guard lock(logMutex);
    if (record.level == support::LogLevel::Warning) warnings.emplace_back(record.message);
}

class SoundTest : public testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "DISPLAY is not set";
        screen_ = std::make_unique<TestScreen>();
        window_ = screen_->show(100, 100, 160, 120, {128, 128, 128});
        char pattern[] = "/tmp/sound-recording-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        warnings.clear();
        support::setLogSink(keepWarnings);
    }
    void TearDown() override {
        support::setLogSink(nullptr);
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    // Records the window with the given sounds.
    std::unique_ptr<X11ScreenRecorder> start(SoundSources sources, std::string chatSink = {}) {
        platform::RecordingRequest request;
        request.area = {100, 100, 160, 120};
        request.sound = sources;
        request.path = path();
        auto made = std::make_unique<X11ScreenRecorder>(
            request, recorder::RecorderTarget{{}, window_, std::move(chatSink)});
        made->start();
        return made;
    }
    std::string path() const { return (dir_ / "sound.wmv").string(); }
    std::vector<std::string> warningsContaining(const std::string& text) {
        std::lock_guard lock(logMutex);
        std::vector<std::string> found;
        for (const auto& w : warnings)
            if (w.find(text) != std::string::npos) found.push_back(w);
        return found;
    }

    std::unique_ptr<TestScreen> screen_;
    unsigned long window_ = 0;
    fs::path dir_;
};

void sleepSeconds(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

struct SourcesCase {
    const char* name;
    SoundSources sources;
};

class SoundSourcesTest : public SoundTest, public testing::WithParamInterface<SourcesCase> {};

TEST_P(SoundSourcesTest, FileHoldsTheChosenSoundsAndNoOtherProgramsSound) {
    if (!TestSoundServer::available()) GTEST_SKIP() << "pulseaudio or pacat is not installed";
    const SoundSources sources = GetParam().sources;
    TestSoundServer server(kMicHz);
    const auto chatSink = ChatSoundSink::create();
    server.play(kOtherHz, false);
    auto recorder = start(sources, chatSink->name());
    server.play(kChatHz, true, "");  // a chat stream that opens after the recording started
    sleepSeconds(3.0);
    recorder->stop();

    const SoundFile sound = readSound(path());
    ASSERT_TRUE(sound.present);
    EXPECT_EQ(sound.codec, "wmav2");
    EXPECT_EQ(sound.sampleRate, 48000);
    EXPECT_EQ(sound.channels, 2);
    // The chat's player starts within a second; measure after that.
    const double chat = sound.toneDb(kChatHz, 1.2, 2.8);
    const double mic = sound.toneDb(kMicHz, 1.2, 2.8);
    const double other = sound.toneDb(kOtherHz, 1.2, 2.8);
    // Each tone is played at -9.5 dB; one that is recorded comes out at that
    // level, give or take the encoder's error.
    const double quietest = std::min(sources.chat ? chat : 0.0, sources.microphone ? mic : 0.0);
    EXPECT_GT(quietest, -15.0) << "chat " << chat << " dB, microphone " << mic << " dB";
    EXPECT_LT(other, quietest - 30) << "another program's sound was recorded";
    if (!sources.chat) {
        EXPECT_LT(chat, quietest - 30);
    }
    if (!sources.microphone) {
        EXPECT_LT(mic, quietest - 30);
    }
    EXPECT_TRUE(warningsContaining("").empty()) << testing::PrintToString(warningsContaining(""));
}

INSTANTIATE_TEST_SUITE_P(Cases, SoundSourcesTest,
                         testing::Values(SourcesCase{"ChatAndMicrophone", {true, true}},
                                         SourcesCase{"ChatOnly", {true, false}},
                                         SourcesCase{"MicrophoneOnly", {false, true}}),
                         [](const auto& info) { return std::string(info.param.name); });

// Other programs play into the speakers claiming the client's process id,
// one of them or more than the recording has lanes.
class ClaimedProcessTest : public SoundTest, public testing::WithParamInterface<int> {};

TEST_P(ClaimedProcessTest, OnlyTheChatsOwnSinkIsTheChatsSound) {
    if (!TestSoundServer::available()) GTEST_SKIP() << "pulseaudio or pacat is not installed";
    TestSoundServer server(kMicHz);
    const auto chatSink = ChatSoundSink::create();
    for (int i = 0; i < GetParam(); ++i) server.play(kOtherHz, false, "speakers", getpid());
    auto recorder = start({true, false}, chatSink->name());
    server.play(kChatHz, true, "");
    sleepSeconds(3.0);
    recorder->stop();

    const SoundFile sound = readSound(path());
    const double chat = sound.toneDb(kChatHz, 1.2, 2.8);
    EXPECT_GT(chat, -15.0);
    EXPECT_LT(sound.toneDb(kOtherHz, 1.2, 2.8), chat - 30)
        << "another program's sound was recorded";
    EXPECT_TRUE(warningsContaining("").empty()) << testing::PrintToString(warningsContaining(""));
}

INSTANTIATE_TEST_SUITE_P(Streams, ClaimedProcessTest, testing::Values(1, 12));

TEST_F(SoundTest, ChatStreamMovedToAnotherSinkIsFollowed) {
    if (!TestSoundServer::available()) GTEST_SKIP() << "pulseaudio or pacat is not installed";
    TestSoundServer server(kMicHz);
    const auto chatSink = ChatSoundSink::create();
    auto recorder = start({true, false}, chatSink->name());
    server.play(kChatHz, true, "");
    sleepSeconds(1.5);
    ASSERT_TRUE(server.moveStreams(chatSink->name(), "headphones"));
    sleepSeconds(2.5);
    recorder->stop();

    const SoundFile sound = readSound(path());
    EXPECT_GT(sound.toneDb(kChatHz, 0.8, 1.4), -15.0);
    EXPECT_GT(sound.toneDb(kChatHz, 2.5, 3.8), -15.0) << "the moved stream was lost";
}

TEST_F(SoundTest, ChatSinkIsHeardAndRemovedAtItsEndOrTheNextStartAfterACrash) {
    if (!TestSoundServer::available()) GTEST_SKIP() << "pulseaudio or pacat is not installed";
    TestSoundServer server(kMicHz);
    // What a run that crashed leaves: a sink and its loopback named for a process that is gone.
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string stale = ChatSoundSink::kPrefix + std::to_string(gone) + "_0123";
    ASSERT_EQ(std::system(("pactl load-module module-null-sink sink_name=" + stale +
                           " >/dev/null && pactl load-module module-loopback source=" + stale +
                           ".monitor >/dev/null")
                              .c_str()),
              0);
    {
        const auto chatSink = ChatSoundSink::create();
        EXPECT_EQ(server.modulesWith(stale), 0);
        EXPECT_EQ(server.modulesWith(chatSink->name()), 2);
        const char* playTo = std::getenv("PULSE_SINK");
        EXPECT_EQ(std::string(playTo ? playTo : ""), chatSink->name());
        server.play(kChatHz, true, "");
        SoundFile heard{true, "raw", 48000, 1, server.hear("speakers", 1.5)};
        EXPECT_GT(heard.toneDb(kChatHz, 0.7, 1.4), -15.0) << "the chat is not heard";
    }
    EXPECT_EQ(server.modulesWith(ChatSoundSink::kPrefix), 0);
    EXPECT_EQ(std::getenv("PULSE_SINK"), nullptr);
}

// A default source that is a sink's monitor carries programs' sound.
class MonitorAsDefaultSourceTest : public SoundTest,
                                   public testing::WithParamInterface<const char*> {};

TEST_P(MonitorAsDefaultSourceTest, IsNoMicrophone) {
    if (!TestSoundServer::available()) GTEST_SKIP() << "pulseaudio or pacat is not installed";
    TestSoundServer server(kMicHz);
    const std::string sink = GetParam();
    ASSERT_EQ(std::system(("pactl set-default-source " + sink + ".monitor").c_str()), 0);
    server.play(kOtherHz, false, sink);
    auto recorder = start({false, true});
    sleepSeconds(2.0);
    recorder->stop();

    const SoundFile sound = readSound(path());
    EXPECT_LT(sound.toneDb(kOtherHz, 0.5, 1.8), -60.0);
    EXPECT_EQ(warningsContaining("not a microphone").size(), 1u);
}

// The speakers' monitor: what a server without a microphone offers.
INSTANTIATE_TEST_SUITE_P(Sinks, MonitorAsDefaultSourceTest,
                         testing::Values("speakers", "headphones"));

TEST_F(SoundTest, WithoutSoundServerTheSoundIsSilentAndOneWarningSaysWhy) {
    setenv("PULSE_SERVER", ("unix:" + (dir_ / "no-server").string()).c_str(), 1);
    auto recorder = start({true, true});
    sleepSeconds(1.0);
    recorder->stop();
    unsetenv("PULSE_SERVER");

    const SoundFile sound = readSound(path());
    ASSERT_TRUE(sound.present);
    EXPECT_NEAR(sound.seconds(), 1.0, 0.2);
    float peak = 0;
    for (float s : sound.mono) peak = std::max(peak, std::abs(s));
    EXPECT_LT(peak, 1e-3);
    EXPECT_EQ(warningsContaining("sound").size(), 1u);
    EXPECT_EQ(warningsContaining("no sound server").size(), 1u);
}

TEST_F(SoundTest, ServerThatDiesLeavesSilenceAndAWholeFile) {
    if (!TestSoundServer::available()) GTEST_SKIP() << "pulseaudio or pacat is not installed";
    TestSoundServer server(kMicHz);
    using Clock = std::chrono::steady_clock;
    const auto beforeStart = Clock::now();
    auto recorder = start({true, true});
    const auto afterStart = Clock::now();
    sleepSeconds(1.0);
    server.kill();
    sleepSeconds(1.5);
    const auto beforeStop = Clock::now();
    recorder->stop();
    // The file's clock starts within start() and ends within stop(),
    // which take longer on a busy machine.
    const double shortest = std::chrono::duration<double>(beforeStop - afterStart).count() - 0.3;
    const double longest = std::chrono::duration<double>(Clock::now() - beforeStart).count() + 0.3;

    const VideoFile video = readVideo(path());
    ASSERT_FALSE(video.frames.empty());
    EXPECT_TRUE(video.seekable);
    const SoundFile sound = readSound(path());
    for (const double seconds : {video.frames.back().ptsMs / 1000.0, sound.seconds()}) {
        EXPECT_GT(seconds, shortest);
        EXPECT_LT(seconds, longest);
    }
    EXPECT_EQ(sound.codec, "wmav2");
    EXPECT_GT(sound.toneDb(kMicHz, 0.3, 0.9), -30.0);
    EXPECT_LT(sound.toneDb(kMicHz, 1.5, 2.3), -60.0);
    EXPECT_EQ(warningsContaining("sound server went away").size(), 1u);
}

}  // namespace
}  // namespace recorder_test
