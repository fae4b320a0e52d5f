#include "VideoFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <stdexcept>

namespace recorder_test {
namespace {

struct Closer {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
    void operator()(AVFrame* f) const { av_frame_free(&f); }
    void operator()(AVPacket* p) const { av_packet_free(&p); }
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

void check(int rc, const char* what) {
    if (rc < 0) throw std::runtime_error(std::string(what) + " failed: " + std::to_string(rc));
}

}  // namespace

Rgb VideoFile::pixel(std::size_t frame, int x, int y) const {
    const auto* p = &frames.at(frame).rgb.at(std::size_t(y) * rgbStride() + x * 3);
    return {p[0], p[1], p[2]};
}

VideoFile readVideo(const std::string& path) {
    AVFormatContext* raw = nullptr;
    check(avformat_open_input(&raw, path.c_str(), nullptr, nullptr), "open");
    std::unique_ptr<AVFormatContext, Closer> format(raw);
    check(avformat_find_stream_info(format.get(), nullptr), "stream info");
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    check(index, "video stream");
    AVStream* stream = format->streams[index];

    VideoFile video;
    video.format = format->iformat->name;
    video.codec = avcodec_get_name(stream->codecpar->codec_id);
    video.width = stream->codecpar->width;
    video.height = stream->codecpar->height;
    if (format->duration != AV_NOPTS_VALUE)
        video.durationSeconds = double(format->duration) / AV_TIME_BASE;
    // The rate that represents every timestamp: it stays 30 when a late frame left a gap.
    if (stream->r_frame_rate.num > 0) video.frameRate = av_q2d(stream->r_frame_rate);

    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) throw std::runtime_error("no decoder");
    std::unique_ptr<AVCodecContext, Closer> decoder(avcodec_alloc_context3(codec));
    check(avcodec_parameters_to_context(decoder.get(), stream->codecpar), "parameters");
    check(avcodec_open2(decoder.get(), codec, nullptr), "decoder");
    std::unique_ptr<AVFrame, Closer> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, Closer> packet(av_packet_alloc());
    std::unique_ptr<SwsContext, Closer> toRgb(sws_getContext(
        video.width, video.height, AVPixelFormat(stream->codecpar->format), video.width,
        video.height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr));
    if (!toRgb) throw std::runtime_error("no converter");

    auto receive = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            DecodedFrame out;
            const std::int64_t pts = frame->best_effort_timestamp;
            out.ptsMs = av_rescale_q(pts, stream->time_base, {1, 1000});
            // swscale writes in whole vectors: aligned rows and a spare row.
            out.rgb.resize(std::size_t(video.rgbStride()) * (video.height + 1));
            std::uint8_t* dst[4] = {out.rgb.data(), nullptr, nullptr, nullptr};
            int dstStride[4] = {video.rgbStride(), 0, 0, 0};
            sws_scale(toRgb.get(), frame->data, frame->linesize, 0, video.height, dst, dstStride);
            video.frames.push_back(std::move(out));
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
    video.seekable = av_seek_frame(format.get(), index, 0, AVSEEK_FLAG_BACKWARD) >= 0 &&
                     av_read_frame(format.get(), packet.get()) >= 0;
    av_packet_unref(packet.get());
    return video;
}

}  // namespace recorder_test
