#pragma once
// The recording's sound on the recording's own clock: frame n of the sound is
// heard at t0 + n / kRate, t0 being the video's first frame slot. Each sound
// stream (the microphone, each of the chat's streams) owns a lane; its chunks
// are placed where their capture times say, so a stream that stalls, is
// suspended or is gone leaves silence in its lane, and the sound neither
// drifts from the picture nor shortens the file. The lanes are handed out as
// the channels of one frame (lane i: channels 2i and 2i+1) for the mixer.
//
// Threading: put, open and close are called on the sound thread, take on the
// capture thread, dropped on any thread; each takes the timeline's mutex.

#include <cstdint>
#include <mutex>
#include <vector>

namespace recorder {

class SoundTimeline {
public:
    static constexpr int kRate = 48000;
    static constexpr int kLanes = 8;  // the microphone and up to seven chat streams
    static constexpr int kChannels = 2 * kLanes;
    // A chunk that starts within this much of where its lane's last one
    // ended follows on from it: capture times jitter by a few milliseconds,
    // which must not leave clicks of silence or overlaps.
    static constexpr std::int64_t kJoin = kRate / 50;

    // capacity: frames each lane holds ahead of the last take.
    explicit SoundTimeline(std::int64_t capacity = 4 * kRate);

    // Sound thread: a free lane for a new stream (its chunks start afresh),
    // or -1 when all are taken. close gives it back.
    int open();
    void close(int lane);
    // Sound thread: `frames` stereo frames (interleaved floats) captured from
    // frame position `at` on. Frames before the last take (they came too
    // late), ahead of the lane's capacity, or overlapping frames already
    // placed are dropped and counted; frames before position 0 (captured
    // during a start delay) are dropped silently.
    void put(int lane, std::int64_t at, const float* stereo, std::int64_t frames);
    // Capture thread: frames from the last take up to `upTo` (exclusive),
    // kChannels interleaved floats each, appended to out (silence where no
    // stream played). Returns the number of frames appended.
    std::int64_t take(std::int64_t upTo, std::vector<float>& out);
    // Frames captured but not in the recording.
    std::int64_t dropped() const;

private:
    struct Lane {
        std::vector<float> ring;  // capacity stereo frames; frame p at (p % capacity)
        std::int64_t next = -1;   // where the last chunk ended; -1: none yet
        bool used = false;
    };

    mutable std::mutex mutex_;
    std::int64_t capacity_;
    std::int64_t taken_ = 0;  // every frame before this has been taken
    std::int64_t dropped_ = 0;
    std::vector<Lane> lanes_;
};

}  // namespace recorder
