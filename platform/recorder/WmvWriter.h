#pragma once
// Encodes frames with WMV2 into an ASF file, with a WMAv2 sound stream beside
// them when asked for: the encoders and the muxer of one recording. Not thread-safe: one thread at
// a time (the recorder creates it on the user-interface thread, then hands it to its capture
// thread).

extern "C" {
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
}

#include <cstdint>
#include <memory>
#include <string>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

namespace recorder {

class SoundEncoder;

class WmvWriter {
public:
    // Opens the file, the encoder and the converter from `sourceFormat`, and
    // writes the file header; withSound adds the sound stream (see
    // SoundEncoder). Throws Failure (an unwritable path, a size the encoder
    // refuses); then nothing stays open and a partial file is removed.
    WmvWriter(const std::string& path, int width, int height, AVRational frameRate,
              AVPixelFormat sourceFormat, bool withSound = false);
    // Finishes the file if finish() was not called; errors are ignored.
    ~WmvWriter();
    WmvWriter(const WmvWriter&) = delete;
    WmvWriter& operator=(const WmvWriter&) = delete;

    // Converts and encodes one frame of width x height source pixels, shown
    // from frame slot `slot` on; slots must increase. Throws Failure.
    void write(const std::uint8_t* pixels, int stride, std::int64_t slot);
    // Mixes and encodes the next `frames` frames of the sound's lanes
    // (SoundTimeline::kChannels interleaved floats each). Does nothing
    // without a sound stream. Throws Failure.
    void writeSound(const float* lanes, std::int64_t frames);
    bool hasSound() const { return sound_ != nullptr; }

    // Flushes the encoder, writes the index and closes the file. Throws
    // Failure; the file is closed either way. A second call does nothing.
    void finish();

private:
    void drain();
    void close();

    std::string path_;
    int width_;
    int height_;
    AVFormatContext* format_ = nullptr;
    AVStream* stream_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    SwsContext* converter_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::unique_ptr<SoundEncoder> sound_;
    bool finished_ = false;
};

}  // namespace recorder
