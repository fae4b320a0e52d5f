#pragma once
// Mixes the recording's sound lanes into one stereo signal with libswresample
// (a channel matrix that adds every lane's left and right channels) and
// encodes it with WMAv2 into an audio stream of the recording's file. Not
// thread-safe: used by the thread that writes the file (see WmvWriter).

#include <cstdint>
#include <vector>

struct AVAudioFifo;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;

namespace recorder {

class SoundEncoder {
public:
    static constexpr std::int64_t kBitRate = 128'000;

    // Adds a 48 kHz stereo WMAv2 stream to format, whose header is not
    // written yet. Throws Failure.
    explicit SoundEncoder(AVFormatContext* format);
    ~SoundEncoder();
    SoundEncoder(const SoundEncoder&) = delete;
    SoundEncoder& operator=(const SoundEncoder&) = delete;

    // Mixes `frames` frames of SoundTimeline::kChannels interleaved floats,
    // the next ones of the recording, encodes them and writes the packets.
    // Throws Failure.
    void write(const float* lanes, std::int64_t frames);
    // Encodes what is left, padded to a whole codec frame with silence, and
    // flushes the encoder. Throws Failure.
    void finish();

private:
    void encode(int frames);
    void drain();
    void release();

    AVFormatContext* format_;
    AVStream* stream_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    SwrContext* mixer_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::vector<float> mixed_[2];  // left and right of the last write
    std::int64_t pts_ = 0;         // frames encoded so far
};

}  // namespace recorder
