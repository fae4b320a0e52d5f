#pragma once
// The benchmark's sound: a beeper that makes a short 3 kHz beep heard exactly
// when the content shows a picture whose number is a multiple of 30 (once a
// second), and the analysis that finds the beeps in a recording, to measure
// how far sound and picture are apart in the file.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace bench {

// Plays to the default sink until killed: beep k is heard at startNs + k s
// on the monotonic clock (steady_clock's nanoseconds). Returns on an error.
int beep(std::int64_t startNs);

// The onsets of the beeps in a file's sound stream, in seconds of the file.
std::vector<double> beepOnsets(const std::string& path);

struct SyncFigures {
    std::size_t beeps = 0;  // beeps matched with their picture
    double meanMs = 0;      // sound minus picture; positive: the sound is late
    double minMs = 0;
    double maxMs = 0;
    double firstMs = 0;  // the first beep's offset and the last one's: drift
    double lastMs = 0;
};

// firstShown: the file time at which each picture number first appears.
SyncFigures measureSync(const std::vector<double>& onsets,
                        const std::map<long, double>& firstShown);

}  // namespace bench
