#pragma once
// A private PulseAudio server for sound tests: its default sink is a null
// sink ("speakers"), whose monitor holds what was played. Programs started
// after it (WebKit's web processes among them) play into it.

#include <glib.h>

#include <string>
#include <vector>

namespace guitest {

class SoundServer {
public:
    SoundServer();
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    bool running() const { return running_; }
    // Records the speakers' monitor (mono, 48 kHz) until seconds of sound
    // are in; the samples, or none when it failed.
    std::vector<short> record(double seconds);

private:
    std::string folder_;
    GPid pid_ = 0;
    bool running_ = false;
};

// The power of one frequency in the samples (Goertzel), relative to a full-scale sine.
double tonePower(const std::vector<short>& samples, double frequency, int rate = 48000);

}  // namespace guitest
