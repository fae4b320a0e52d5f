#pragma once
// Reads a recording's sound stream back with FFmpeg's demuxer and decoder,
// and measures tones in it.

#include <string>
#include <vector>

namespace recorder_test {

struct SoundFile {
    bool present = false;  // the file has a sound stream
    std::string codec;     // e.g. "wmav2"
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> mono;  // the channels' mean, every decoded sample

    double seconds() const { return sampleRate ? double(mono.size()) / sampleRate : 0; }
    // The level of a tone of `hertz` between the two times, in dB relative
    // to a full-scale sine: the median of its 200 ms blocks.
    double toneDb(double hertz, double fromSeconds, double toSeconds) const;
};

// Throws std::runtime_error when the file cannot be read.
SoundFile readSound(const std::string& path);

}  // namespace recorder_test
