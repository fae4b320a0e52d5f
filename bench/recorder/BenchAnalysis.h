#pragma once
// Reads a recording of the benchmark's content back: its frames' timing, bar
// codes, black frames and picture quality against the exact pictures drawn.

#include <cstddef>
#include <map>
#include <string>

namespace bench {

struct Analysis {
    double duration = 0;
    std::size_t frames = 0;
    long missingSlots = 0;
    long doubledSlots = 0;
    std::size_t unreadable = 0;  // frames whose bar code could not be read
    std::size_t black = 0;       // frames with no pixel brighter than black
    double psnrY = 0;
    double psnrAll = 0;
    std::map<long, double> firstShown;  // picture number: the file time it first appears
};

// A file that cannot be read gives an empty analysis.
Analysis analyse(const std::string& path);

}  // namespace bench
