#include "platform/recorder/X11ScreenRecorder.h"

extern "C" {
#include <libavutil/rational.h>
}

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "support/Failure.h"
#include "support/Log.h"
#include "platform/recorder/BlackStart.h"
#include "platform/recorder/FrameClock.h"
#include "platform/recorder/PulseCapture.h"
#include "platform/recorder/SoundTimeline.h"
#include "platform/recorder/WmvWriter.h"
#include "platform/recorder/X11Grabber.h"

namespace recorder {

// One recording. The capture thread uses grabber, writer and sound alone (the
// sound thread only puts into the timeline, which locks itself); stop,
// stopTime and error are shared under the mutex, skipped and taken are atomic.
struct X11ScreenRecorder::Session {
    std::unique_ptr<X11Grabber> grabber;
    std::unique_ptr<WmvWriter> writer;
    FrameClock clock;
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    FrameClock::Clock::time_point stopTime;
    std::string error;                     // set by the capture thread when the recording failed
    std::atomic<std::int64_t> skipped{0};  // frame slots that passed without a frame
    std::atomic<std::int64_t> taken{0};    // frames grabbed
    std::function<void()> failed;          // the capture thread's alone
    std::thread thread;
    BlackStart blackStart;
    std::string path;                         // removed when the recording turns out black
    std::unique_ptr<SoundTimeline> timeline;  // none: a recording without sound
    std::unique_ptr<PulseCapture> sound;      // after the timeline it fills
    std::vector<float> lanes;                 // the capture thread's buffer for the mixer

    Session(std::unique_ptr<X11Grabber> g, std::unique_ptr<WmvWriter> w, FrameClock c, double fps,
            std::string file, std::function<void()> f)
        : grabber(std::move(g)),
          writer(std::move(w)),
          clock(c),
          failed(std::move(f)),
          blackStart(fps),
          path(std::move(file)) {}
};

namespace {

// The capture thread mixes the sound this long behind the clock, so that every
// stream's chunks for that time have arrived (they come every 10 ms, a little
// behind their capture time); a chunk later than that is dropped and counted.
constexpr auto kSoundHoldback = std::chrono::milliseconds(250);
// On stop, the capture thread waits this long for the last chunks.
constexpr auto kSoundTail = std::chrono::milliseconds(80);

std::int64_t soundFrameAt(const FrameClock& clock, FrameClock::Clock::time_point t) {
    const auto nanos = std::chrono::nanoseconds(t - clock.origin()).count();
    const __int128 scaled = static_cast<__int128>(nanos) * SoundTimeline::kRate;
    return static_cast<std::int64_t>(scaled / 1'000'000'000);
}

// Mixes and encodes the sound up to frame position upTo.
void writeSound(SoundTimeline* timeline, WmvWriter& writer, std::vector<float>& lanes,
                std::int64_t upTo) {
    if (!timeline) return;
    lanes.clear();
    const std::int64_t frames = timeline->take(upTo, lanes);
    writer.writeSound(lanes.data(), frames);
}

struct BlackVideo : std::runtime_error {
    BlackVideo()
        : std::runtime_error(
              "the recording showed nothing but black: the window's pixels cannot be read on "
              "this desktop") {}
};

// The request's mistakes that no display or file is needed to see.
void checkRequest(const platform::RecordingRequest& r) {
    if (!(r.framesPerSecond > 0.0 && r.framesPerSecond <= 240.0))
        throw support::Failure("unsupported frame rate");
    if (r.startDelaySeconds < 0) throw support::Failure("negative start delay");
    if (r.area.width <= 0 || r.area.height <= 0) throw support::Failure("an empty rectangle");
    if (r.path.empty()) throw support::Failure("no output file");
}

}  // namespace

X11ScreenRecorder::X11ScreenRecorder(platform::RecordingRequest request, RecorderTarget target)
    : request_(std::move(request)), target_(std::move(target)) {
    checkRequest(request_);
}

X11ScreenRecorder::~X11ScreenRecorder() {
    try {
        stop();
    } catch (const support::Failure&) {
        // The file is finished as far as it could be; nobody is left to tell.
    }
}

void X11ScreenRecorder::start() {
    uiThread_.check("X11ScreenRecorder::start");
    if (session_) throw support::Failure("already recording");
    lastSkipped_ = 0;
    lastDropped_ = 0;
    lastError_.clear();
    const platform::RecordingRequest& s = request_;
    const platform::SoundSources sound = s.sound.value_or(platform::SoundSources{});

    GrabOptions options;
    options.pad = s.padOffscreen;
    options.drawPointer = s.drawPointer;
    options.highlightClicks = s.highlightClicks;
    options.window = target_.window;
    const Rect area{s.area.left, s.area.top, s.area.width, s.area.height};
    auto grabber = std::make_unique<X11Grabber>(
        std::make_unique<PrivateDisplay>(target_.displayName), area, options);
    // 30 stays 30/1, 29.97 becomes 2997/100; the encoder takes time bases up to 65535.
    const AVRational rate = av_d2q(s.framesPerSecond, 65535);
    auto writer = std::make_unique<WmvWriter>(s.path, grabber->width(), grabber->height(), rate,
                                              grabber->pixelFormat(), sound.any());
    const auto t0 = FrameClock::Clock::now() + std::chrono::seconds(s.startDelaySeconds);
    auto session = std::make_unique<Session>(std::move(grabber), std::move(writer),
                                             FrameClock(t0, rate.num, rate.den), s.framesPerSecond,
                                             s.path, onFailure_);
    if (sound.any()) {
        session->timeline = std::make_unique<SoundTimeline>();
        session->sound =
            std::make_unique<PulseCapture>(sound, *session->timeline, t0, target_.chatSink);
    }
    Session& running = *session;
    try {
        session->thread = std::thread([&running] { capture(running); });
    } catch (const std::system_error& e) {
        session.reset();  // finishes the empty file, which goes too
        std::remove(s.path.c_str());
        throw support::Failure(std::string("cannot start the capture thread: ") + e.what());
    }
    session_ = std::move(session);
}

void X11ScreenRecorder::stop() {
    uiThread_.check("X11ScreenRecorder::stop");
    if (!session_) return;
    {
        std::lock_guard lock(session_->mutex);
        session_->stop = true;
        session_->stopTime = FrameClock::Clock::now();
    }
    session_->wake.notify_one();
    session_->thread.join();
    // The thread has ended: no lock needed.
    lastError_ = session_->error;
    lastSkipped_ = session_->skipped;
    lastDropped_ = session_->timeline ? session_->timeline->dropped() : 0;
    session_.reset();
    if (lastSkipped_ > 0)
        support::logInfo("recording: " + std::to_string(lastSkipped_) +
                         " frame slots skipped (capturing, encoding or writing fell behind)");
    if (lastDropped_ > 0)
        support::logInfo("recording: " + std::to_string(lastDropped_) +
                         " sound frames dropped (they came too late or overlapped)");
    if (!lastError_.empty()) throw support::Failure(lastError_);
}

std::int64_t X11ScreenRecorder::skippedFrames() const {
    return session_ ? session_->skipped.load() : lastSkipped_;
}

std::int64_t X11ScreenRecorder::droppedSoundFrames() const {
    if (!session_) return lastDropped_;
    return session_->timeline ? session_->timeline->dropped() : 0;
}

std::int64_t X11ScreenRecorder::framesTaken() const {
    return session_ ? session_->taken.load() : 0;
}

std::string X11ScreenRecorder::lastError() const {
    if (!session_) return lastError_;
    std::lock_guard lock(session_->mutex);
    return session_->error;
}

// The capture thread: one frame at the start of each slot, stamped with the
// slot it was grabbed in; on stop, the frame of the stop's slot if it has none
// yet, then the file is finished.
void X11ScreenRecorder::capture(Session& session) {
    std::string error;
    try {
        session.grabber->scanForBlack(true);
        std::int64_t last = -1;  // the last slot written
        for (;;) {
            bool stopping;
            FrameClock::Clock::time_point stopTime;
            {
                std::unique_lock lock(session.mutex);
                session.wake.wait_until(lock, session.clock.slotStart(last + 1),
                                        [&] { return session.stop; });
                stopping = session.stop;
                stopTime = session.stopTime;
            }
            std::int64_t slot;
            if (stopping) {
                // The file lasts until the stop (to within a frame), and has
                // at least one frame even when stopped during the delay.
                slot = std::max<std::int64_t>(session.clock.slotAt(stopTime), 0);
                if (slot <= last) break;
            } else {
                slot = std::max(session.clock.slotAt(FrameClock::Clock::now()), last + 1);
            }
            session.skipped += slot - (last + 1);
            int stride = 0;
            const std::uint8_t* frame = session.grabber->grab(stride);
            ++session.taken;
            if (session.blackStart.blackAfter(session.grabber->lastGrab())) throw BlackVideo();
            session.grabber->scanForBlack(session.blackStart.watching());
            session.writer->write(frame, stride, slot);
            last = slot;
            if (stopping) break;
            writeSound(session.timeline.get(), *session.writer, session.lanes,
                       soundFrameAt(session.clock, FrameClock::Clock::now() - kSoundHoldback));
        }
        // The sound lasts as long as the pictures: to the end of the last frame.
        const auto end = session.clock.slotStart(last + 1);
        if (session.sound && session.sound->live())
            std::this_thread::sleep_until(std::min(end, FrameClock::Clock::now()) + kSoundTail);
        session.sound.reset();
        writeSound(session.timeline.get(), *session.writer, session.lanes,
                   soundFrameAt(session.clock, end));
        session.writer->finish();
    } catch (const BlackVideo& e) {
        error = e.what();
        try {
            session.writer->finish();
        } catch (const std::exception&) {
        }
        std::remove(session.path.c_str());
    } catch (const std::exception& e) {
        error = e.what();
        try {
            session.writer->finish();  // keep what was recorded playable
        } catch (const std::exception&) {
        }
    }
    // The X connection, the sound thread and the encoders are released here.
    session.sound.reset();
    session.grabber.reset();
    session.writer.reset();
    bool unasked;
    {
        std::lock_guard lock(session.mutex);
        session.error = error;
        unasked = !session.stop;
    }
    // Ended by itself: nobody will ask until told (a stop reports the error itself).
    if (!error.empty() && unasked && session.failed) session.failed();
}

}  // namespace recorder
