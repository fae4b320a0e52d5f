#include "BenchSound.h"

#include <pulse/error.h>
#include <pulse/simple.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace bench {
namespace {

constexpr int kRate = 48000;
constexpr double kBeepHz = 3000;
constexpr int kBeepFrames = kRate / 50;  // 20 ms
constexpr int kChunk = kRate / 100;      // written 10 ms at a time

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int beep(std::int64_t startNs) {
    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, kRate, 1};
    pa_buffer_attr attr{std::uint32_t(-1), std::uint32_t(kChunk * 4 * 4), std::uint32_t(-1),
                        std::uint32_t(-1), std::uint32_t(-1)};
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "bench beeper", PA_STREAM_PLAYBACK, nullptr, "beeps",
                                      &format, nullptr, &attr, &error);
    if (!stream) {
        std::fprintf(stderr, "beeper: %s\n", pa_strerror(error));
        return 1;
    }
    std::vector<float> chunk(kChunk);
    std::int64_t beepStart = -1;  // the stream frame of the current beep's onset
    for (std::int64_t written = 0;; written += kChunk) {
        // The chunk written now is heard after what is queued before it.
        const pa_usec_t latency = pa_simple_get_latency(stream, &error);
        const std::int64_t heardNs = nowNs() + std::int64_t(latency) * 1000;
        const std::int64_t k = (heardNs - startNs + 999'999'999) / 1'000'000'000;
        const std::int64_t nextBeepNs = startNs + k * 1'000'000'000;
        if (k >= 1 && nextBeepNs < heardNs + 10'000'000 && beepStart < written)
            beepStart = written + (nextBeepNs - heardNs) * kRate / 1'000'000'000;
        for (int i = 0; i < kChunk; ++i) {
            const std::int64_t n = written + i - beepStart;
            chunk[i] = beepStart >= 0 && n >= 0 && n < kBeepFrames
                           ? float(0.5 * std::sin(2 * std::numbers::pi * kBeepHz * n / kRate))
                           : 0.0f;
        }
        if (pa_simple_write(stream, chunk.data(), chunk.size() * 4, &error) < 0) {
            std::fprintf(stderr, "beeper: %s\n", pa_strerror(error));
            return 1;
        }
    }
}

std::vector<double> beepOnsets(const std::string& path) {
    std::vector<double> onsets;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return onsets;
    avformat_find_stream_info(format, nullptr);
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) {
        avformat_close_input(&format);
        return onsets;
    }
    AVStream* stream = format->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, stream->codecpar);
    avcodec_open2(decoder, codec, nullptr);
    // The first channel, placed by the frames' timestamps.
    std::vector<float> samples;
    const int rate = decoder->sample_rate;
    double firstPts = -1;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    auto receive = [&] {
        while (avcodec_receive_frame(decoder, frame) == 0) {
            if (firstPts < 0) firstPts = frame->best_effort_timestamp * av_q2d(stream->time_base);
            const auto* data = reinterpret_cast<const float*>(frame->extended_data[0]);
            samples.insert(samples.end(), data, data + frame->nb_samples);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index) avcodec_send_packet(decoder, packet);
        av_packet_unref(packet);
        receive();
    }
    avcodec_send_packet(decoder, nullptr);
    receive();
    // The beep's level in 2 ms windows a millisecond apart (Goertzel); an
    // onset is the first window over a fifth of the beep's amplitude after
    // 200 ms without one.
    const int window = rate / 500, hop = rate / 1000;
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * kBeepHz / rate);
    double lastLoud = -1;
    for (std::size_t at = 0; at + window <= samples.size(); at += hop) {
        double s1 = 0, s2 = 0;
        for (int i = 0; i < window; ++i) {
            const double s0 = samples[at + i] + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double amplitude =
            2 * std::sqrt(std::max(s1 * s1 + s2 * s2 - coefficient * s1 * s2, 0.0)) / window;
        if (amplitude < 0.1) continue;
        // Half the window holds the beep when its level crosses the threshold.
        const double t = std::max(firstPts, 0.0) + double(at + window / 2) / rate;
        if (lastLoud < 0 || t - lastLoud > 0.2) onsets.push_back(t);
        lastLoud = t;
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return onsets;
}

SyncFigures measureSync(const std::vector<double>& onsets,
                        const std::map<long, double>& firstShown) {
    SyncFigures figures;
    double sum = 0;
    for (const double onset : onsets) {
        // The picture shown with this beep: the nearest multiple of 30.
        double best = 1e9;
        for (const auto& [number, shown] : firstShown)
            if (number % 30 == 0 && number > 0 && std::abs(onset - shown) < std::abs(best))
                best = onset - shown;
        if (std::abs(best) > 0.5) continue;
        const double ms = best * 1000;
        if (figures.beeps == 0) figures.minMs = figures.maxMs = figures.firstMs = ms;
        figures.minMs = std::min(figures.minMs, ms);
        figures.maxMs = std::max(figures.maxMs, ms);
        figures.lastMs = ms;
        sum += ms;
        ++figures.beeps;
    }
    if (figures.beeps) figures.meanMs = sum / figures.beeps;
    return figures;
}

}  // namespace bench
