#include "BenchAnalysis.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdint>
#include <vector>

#include "BenchContent.h"

namespace bench {
namespace {

constexpr double kFps = 30.0;

double psnr(double mse) { return mse <= 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse); }

}  // namespace

Analysis analyse(const std::string& path) {
    Analysis result;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return result;
    avformat_find_stream_info(format, nullptr);
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) return result;
    AVStream* stream = format->streams[index];
    result.duration = double(format->duration) / AV_TIME_BASE;
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, stream->codecpar);
    avcodec_open2(decoder, codec, nullptr);
    const int w = stream->codecpar->width, h = stream->codecpar->height;

    // The reference goes through the same conversion as both recorders use.
    SwsContext* toYuv = sws_getContext(w, h, AV_PIX_FMT_BGR0, w, h, AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                                       nullptr, nullptr, nullptr);
    AVFrame* reference = av_frame_alloc();
    reference->format = AV_PIX_FMT_YUV420P;
    reference->width = w;
    reference->height = h;
    av_frame_get_buffer(reference, 0);
    std::vector<std::uint8_t> picture;

    std::map<long, int> slots;
    double sumY = 0, sumAll = 0;
    std::size_t compared = 0;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    auto receive = [&] {
        while (avcodec_receive_frame(decoder, frame) == 0) {
            ++result.frames;
            const double t = frame->best_effort_timestamp * av_q2d(stream->time_base);
            ++slots[std::lround(t * kFps)];
            bool dark = true;  // limited-range luma: black is 16
            for (int y = 0; y < h && dark; ++y)
                for (int x = 0; x < w && dark; ++x)
                    dark = frame->data[0][y * frame->linesize[0] + x] <= 32;
            if (dark) ++result.black;
            const auto n = readBarCode(frame->data[0], frame->linesize[0]);
            if (!n) {
                ++result.unreadable;
                continue;
            }
            result.firstShown.emplace(long(*n), t);
            renderContent(*n, w, h, picture);
            const std::uint8_t* src[4] = {picture.data(), nullptr, nullptr, nullptr};
            const int srcStride[4] = {w * 4, 0, 0, 0};
            sws_scale(toYuv, src, srcStride, 0, h, reference->data, reference->linesize);
            double se[3] = {0, 0, 0};
            for (int plane = 0; plane < 3; ++plane) {
                const int pw = plane ? w / 2 : w, ph = plane ? h / 2 : h;
                for (int y = 0; y < ph; ++y)
                    for (int x = 0; x < pw; ++x) {
                        const int d = frame->data[plane][y * frame->linesize[plane] + x] -
                                      reference->data[plane][y * reference->linesize[plane] + x];
                        se[plane] += d * d;
                    }
            }
            const double mseY = se[0] / (w * h);
            sumY += mseY;
            sumAll += (se[0] + se[1] + se[2]) / (w * h * 1.5);
            ++compared;
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index) avcodec_send_packet(decoder, packet);
        av_packet_unref(packet);
        receive();
    }
    avcodec_send_packet(decoder, nullptr);
    receive();
    if (!slots.empty()) {
        const long span = slots.rbegin()->first - slots.begin()->first + 1;
        result.missingSlots = span - long(slots.size());
        for (const auto& [slot, count] : slots) result.doubledSlots += count - 1;
    }
    if (compared) {
        result.psnrY = psnr(sumY / compared);
        result.psnrAll = psnr(sumAll / compared);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    av_frame_free(&reference);
    sws_freeContext(toYuv);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return result;
}

}  // namespace bench
