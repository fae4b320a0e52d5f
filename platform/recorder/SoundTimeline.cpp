#include "platform/recorder/SoundTimeline.h"

#include <algorithm>
#include <cstdlib>

namespace recorder {

SoundTimeline::SoundTimeline(std::int64_t capacity) : capacity_(capacity), lanes_(kLanes) {
    for (Lane& lane : lanes_) lane.ring.assign(std::size_t(capacity_) * 2, 0.0f);
}

int SoundTimeline::open() {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < kLanes; ++i) {
        if (lanes_[i].used) continue;
        lanes_[i].used = true;
        lanes_[i].next = -1;
        return i;
    }
    return -1;
}

void SoundTimeline::close(int lane) {
    std::lock_guard lock(mutex_);
    if (lane >= 0 && lane < kLanes) lanes_[lane].used = false;
}

void SoundTimeline::put(int lane, std::int64_t at, const float* stereo, std::int64_t frames) {
    std::lock_guard lock(mutex_);
    if (lane < 0 || lane >= kLanes || frames <= 0) return;
    Lane& l = lanes_[lane];
    if (l.next >= 0) {
        if (std::llabs(at - l.next) <= kJoin) {
            at = l.next;
        } else if (at < l.next) {
            // The stream's clock ran ahead of ours: skip what would overlap.
            const std::int64_t overlap = std::min(l.next - at, frames);
            dropped_ += overlap;
            stereo += overlap * 2;
            frames -= overlap;
            at += overlap;
        }
        // A chunk far later than expected leaves silence before it: a stall.
    }
    l.next = at + frames;
    if (at < 0) {
        const std::int64_t early = std::min(-at, frames);
        stereo += early * 2;
        frames -= early;
        at += early;
    }
    if (at < taken_) {
        const std::int64_t late = std::min(taken_ - at, frames);
        dropped_ += late;
        stereo += late * 2;
        frames -= late;
        at += late;
    }
    const std::int64_t room = std::max<std::int64_t>(taken_ + capacity_ - at, 0);
    if (frames > room) {
        dropped_ += frames - room;
        frames = room;
    }
    for (std::int64_t i = 0; i < frames; ++i) {
        const std::size_t slot = std::size_t((at + i) % capacity_) * 2;
        l.ring[slot] = stereo[2 * i];
        l.ring[slot + 1] = stereo[2 * i + 1];
    }
}

std::int64_t SoundTimeline::take(std::int64_t upTo, std::vector<float>& out) {
    std::lock_guard lock(mutex_);
    const std::int64_t count = upTo - taken_;
    if (count <= 0) return 0;
    const std::size_t base = out.size();
    out.resize(base + std::size_t(count) * kChannels, 0.0f);
    const std::int64_t stored = std::min(count, capacity_);
    for (int lane = 0; lane < kLanes; ++lane) {
        std::vector<float>& ring = lanes_[lane].ring;
        for (std::int64_t i = 0; i < stored; ++i) {
            const std::size_t slot = std::size_t((taken_ + i) % capacity_) * 2;
            float* frame = &out[base + std::size_t(i) * kChannels + 2 * lane];
            frame[0] = ring[slot];
            frame[1] = ring[slot + 1];
            ring[slot] = ring[slot + 1] = 0.0f;
        }
    }
    taken_ = upTo;
    return count;
}

std::int64_t SoundTimeline::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

}  // namespace recorder
