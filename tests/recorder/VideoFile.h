#pragma once
// Reads a recorded video back with FFmpeg's demuxer and decoder, for checks.

#include <cstdint>
#include <string>
#include <vector>

namespace recorder_test {

struct Rgb {
    int r = 0, g = 0, b = 0;
};

struct DecodedFrame {
    std::int64_t ptsMs = 0;         // presentation time in milliseconds
    std::vector<std::uint8_t> rgb;  // rows of VideoFile::rgbStride() bytes
};

struct VideoFile {
    std::string format;  // container short name, e.g. "asf"
    std::string codec;   // video codec name, e.g. "wmv2"
    int width = 0;
    int height = 0;
    double durationSeconds = 0;  // as the container reports it
    double frameRate = 0;        // the stream's frame rate as the demuxer sees it; 0: unknown
    std::vector<DecodedFrame> frames;
    bool seekable = false;  // a seek back to the start succeeded

    Rgb pixel(std::size_t frame, int x, int y) const;
    int rgbStride() const { return (width * 3 + 63) / 64 * 64; }
};

// Throws std::runtime_error when the file cannot be read as a video.
VideoFile readVideo(const std::string& path);

}  // namespace recorder_test
