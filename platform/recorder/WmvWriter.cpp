#include "platform/recorder/WmvWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cstdio>

#include "support/Failure.h"
#include "platform/recorder/SoundEncoder.h"

namespace recorder {
namespace {

constexpr std::int64_t kBitRate = 1'500'000;
// The encoder's default of 12 frames between keyframes spends most of the bit
// rate on keyframes; ten seconds at 30 fps keeps chat-like content sharp.
constexpr int kKeyframeInterval = 300;

[[noreturn]] void fail(const char* what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    throw support::Failure(std::string(what) + ": " + text);
}

}  // namespace

WmvWriter::WmvWriter(const std::string& path, int width, int height, AVRational frameRate,
                     AVPixelFormat sourceFormat, bool withSound)
    : path_(path), width_(width), height_(height) {
    bool fileCreated = false;
    try {
        int rc = avformat_alloc_output_context2(&format_, nullptr, "asf", nullptr);
        if (rc < 0) fail("asf muxer", rc);
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMV2);
        if (!codec) throw support::Failure("no wmv2 encoder");
        stream_ = avformat_new_stream(format_, nullptr);
        encoder_ = avcodec_alloc_context3(codec);
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!stream_ || !encoder_ || !frame_ || !packet_) throw support::Failure("out of memory");

        encoder_->width = width;
        encoder_->height = height;
        encoder_->pix_fmt = AV_PIX_FMT_YUV420P;
        encoder_->time_base = av_inv_q(frameRate);
        encoder_->framerate = frameRate;
        encoder_->bit_rate = kBitRate;
        encoder_->gop_size = kKeyframeInterval;
        encoder_->max_b_frames = 0;
        // ASF stores the codec's extradata in its header; without a global
        // header the file does not play.
        encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        rc = avcodec_open2(encoder_, codec, nullptr);
        if (rc < 0) fail("wmv2 encoder", rc);

        rc = avcodec_parameters_from_context(stream_->codecpar, encoder_);
        if (rc < 0) fail("stream parameters", rc);
        stream_->time_base = encoder_->time_base;
        stream_->avg_frame_rate = frameRate;

        frame_->format = AV_PIX_FMT_YUV420P;
        frame_->width = width;
        frame_->height = height;
        rc = av_frame_get_buffer(frame_, 0);
        if (rc < 0) fail("frame buffer", rc);

        converter_ = sws_getContext(width, height, sourceFormat, width, height, AV_PIX_FMT_YUV420P,
                                    SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!converter_) throw support::Failure("no converter from the screen's pixel format");

        if (withSound) sound_ = std::make_unique<SoundEncoder>(format_);

        // The "file:" prefix keeps a name with a colon from being read as
        // another protocol.
        rc = avio_open(&format_->pb, ("file:" + path).c_str(), AVIO_FLAG_WRITE);
        if (rc < 0) fail("cannot open the output file", rc);
        fileCreated = true;
        rc = avformat_write_header(format_, nullptr);
        if (rc < 0) fail("file header", rc);
    } catch (...) {
        close();
        if (fileCreated) std::remove(path.c_str());
        throw;
    }
}

WmvWriter::~WmvWriter() {
    try {
        finish();
    } catch (const support::Failure&) {
    }
}

void WmvWriter::write(const std::uint8_t* pixels, int stride, std::int64_t slot) {
    int rc = av_frame_make_writable(frame_);
    if (rc < 0) fail("frame buffer", rc);
    const std::uint8_t* const source[4] = {pixels, nullptr, nullptr, nullptr};
    const int sourceStride[4] = {stride, 0, 0, 0};
    sws_scale(converter_, source, sourceStride, 0, height_, frame_->data, frame_->linesize);
    frame_->pts = slot;
    rc = avcodec_send_frame(encoder_, frame_);
    if (rc < 0) fail("encoding", rc);
    drain();
}

void WmvWriter::writeSound(const float* lanes, std::int64_t frames) {
    if (sound_) sound_->write(lanes, frames);
}

void WmvWriter::drain() {
    for (;;) {
        int rc = avcodec_receive_packet(encoder_, packet_);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
        if (rc < 0) fail("encoding", rc);
        // ASF takes the file's length from the last packet's time plus its
        // duration: each frame lasts one slot.
        packet_->duration = 1;
        av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        rc = av_interleaved_write_frame(format_, packet_);  // takes the packet's data
        if (rc < 0) fail("writing the file", rc);
    }
}

void WmvWriter::finish() {
    if (finished_ || !format_) return;
    finished_ = true;
    try {
        int rc = avcodec_send_frame(encoder_, nullptr);
        if (rc < 0) fail("encoding", rc);
        drain();
        if (sound_) sound_->finish();
        rc = av_write_trailer(format_);
        if (rc < 0) fail("file index", rc);
        rc = avio_closep(&format_->pb);
        if (rc < 0) fail("closing the file", rc);
    } catch (...) {
        close();
        throw;
    }
    close();
}

void WmvWriter::close() {
    sound_.reset();
    if (format_ && format_->pb) avio_closep(&format_->pb);
    avformat_free_context(format_);
    format_ = nullptr;
    stream_ = nullptr;
    avcodec_free_context(&encoder_);
    sws_freeContext(converter_);
    converter_ = nullptr;
    av_frame_free(&frame_);
    av_packet_free(&packet_);
}

}  // namespace recorder
