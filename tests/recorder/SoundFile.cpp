#include "SoundFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace recorder_test {
namespace {

struct Closer {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
    void operator()(AVFrame* f) const { av_frame_free(&f); }
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

void check(int rc, const char* what) {
    if (rc < 0) throw std::runtime_error(std::string(what) + " failed: " + std::to_string(rc));
}

}  // namespace

namespace {

// One block's amplitude of the tone (Goertzel's algorithm).
double toneAmplitude(const std::vector<float>& mono, std::size_t begin, std::size_t end,
                     double hertz, int sampleRate) {
    const double w = 2 * std::numbers::pi * hertz / sampleRate;
    const double coefficient = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const double s0 = mono[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2 * std::sqrt(std::max(power, 0.0)) / double(end - begin);
}

}  // namespace

// The median over 200 ms blocks: a sound server's dropout shifts the tone's
// phase, and over the whole span the parts before and after it cancel.
double SoundFile::toneDb(double hertz, double fromSeconds, double toSeconds) const {
    const std::size_t begin = std::size_t(fromSeconds * sampleRate);
    const std::size_t end = std::min(mono.size(), std::size_t(toSeconds * sampleRate));
    if (end <= begin) return -300;
    const std::size_t block = std::max<std::size_t>(1, std::size_t(0.2 * sampleRate));
    std::vector<double> amplitudes;
    for (std::size_t at = begin; at + block <= end; at += block)
        amplitudes.push_back(toneAmplitude(mono, at, at + block, hertz, sampleRate));
    if (amplitudes.empty())
        amplitudes.push_back(toneAmplitude(mono, begin, end, hertz, sampleRate));
    std::nth_element(amplitudes.begin(), amplitudes.begin() + amplitudes.size() / 2,
                     amplitudes.end());
    return 20 * std::log10(amplitudes[amplitudes.size() / 2] + 1e-15);
}

SoundFile readSound(const std::string& path) {
    AVFormatContext* raw = nullptr;
    check(avformat_open_input(&raw, path.c_str(), nullptr, nullptr), "open");
    std::unique_ptr<AVFormatContext, Closer> format(raw);
    check(avformat_find_stream_info(format.get(), nullptr), "stream info");
    SoundFile sound;
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) return sound;
    AVStream* stream = format->streams[index];
    sound.present = true;
    sound.codec = avcodec_get_name(stream->codecpar->codec_id);
    sound.sampleRate = stream->codecpar->sample_rate;
    sound.channels = stream->codecpar->ch_layout.nb_channels;

    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) throw std::runtime_error("no decoder");
    std::unique_ptr<AVCodecContext, Closer> decoder(avcodec_alloc_context3(codec));
    check(avcodec_parameters_to_context(decoder.get(), stream->codecpar), "parameters");
    check(avcodec_open2(decoder.get(), codec, nullptr), "decoder");
    if (decoder->sample_fmt != AV_SAMPLE_FMT_FLTP) throw std::runtime_error("not planar float");
    std::unique_ptr<AVFrame, Closer> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, Closer> packet(av_packet_alloc());
    auto receive = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            const int channels = frame->ch_layout.nb_channels;
            for (int i = 0; i < frame->nb_samples; ++i) {
                float sum = 0;
                for (int c = 0; c < channels; ++c)
                    sum += reinterpret_cast<const float*>(frame->extended_data[c])[i];
                sound.mono.push_back(sum / channels);
            }
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == index)
            check(avcodec_send_packet(decoder.get(), packet.get()), "decode");
        av_packet_unref(packet.get());
        receive();
    }
    avcodec_send_packet(decoder.get(), nullptr);
    receive();
    return sound;
}

}  // namespace recorder_test
