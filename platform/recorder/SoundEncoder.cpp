#include "platform/recorder/SoundEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

#include <string>

#include "support/Failure.h"
#include "platform/recorder/SoundTimeline.h"

namespace recorder {
namespace {

[[noreturn]] void fail(const char* what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    throw support::Failure(std::string(what) + ": " + text);
}

}  // namespace

SoundEncoder::SoundEncoder(AVFormatContext* format) : format_(format) {
    try {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
        if (!codec) throw support::Failure("no wmav2 encoder");
        stream_ = avformat_new_stream(format_, nullptr);
        encoder_ = avcodec_alloc_context3(codec);
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!stream_ || !encoder_ || !frame_ || !packet_) throw support::Failure("out of memory");
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        encoder_->sample_rate = SoundTimeline::kRate;
        encoder_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        int rc = av_channel_layout_copy(&encoder_->ch_layout, &stereo);
        if (rc < 0) fail("sound channels", rc);
        encoder_->bit_rate = kBitRate;
        encoder_->time_base = {1, SoundTimeline::kRate};
        encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // ASF keeps it in its header
        rc = avcodec_open2(encoder_, codec, nullptr);
        if (rc < 0) fail("wmav2 encoder", rc);
        rc = avcodec_parameters_from_context(stream_->codecpar, encoder_);
        if (rc < 0) fail("sound stream parameters", rc);
        stream_->time_base = encoder_->time_base;

        // Every lane is a stereo pair of the mixer's input; the matrix adds
        // the lanes' left channels into the left output, the right ones into
        // the right. Float samples are not clipped here: the decoder does.
        AVChannelLayout lanes{};
        lanes.order = AV_CHANNEL_ORDER_UNSPEC;
        lanes.nb_channels = SoundTimeline::kChannels;
        rc = swr_alloc_set_opts2(&mixer_, &stereo, AV_SAMPLE_FMT_FLTP, SoundTimeline::kRate, &lanes,
                                 AV_SAMPLE_FMT_FLT, SoundTimeline::kRate, 0, nullptr);
        if (rc < 0) fail("sound mixer", rc);
        double matrix[2][SoundTimeline::kChannels] = {};
        for (int lane = 0; lane < SoundTimeline::kLanes; ++lane) {
            matrix[0][2 * lane] = 1.0;
            matrix[1][2 * lane + 1] = 1.0;
        }
        rc = swr_set_matrix(mixer_, &matrix[0][0], SoundTimeline::kChannels);
        if (rc < 0) fail("sound mixer", rc);
        rc = swr_init(mixer_);
        if (rc < 0) fail("sound mixer", rc);
        fifo_ = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, 2, encoder_->frame_size * 4);
        if (!fifo_) throw support::Failure("out of memory");

        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->nb_samples = encoder_->frame_size;
        frame_->sample_rate = SoundTimeline::kRate;
        rc = av_channel_layout_copy(&frame_->ch_layout, &stereo);
        if (rc < 0) fail("sound frame", rc);
        rc = av_frame_get_buffer(frame_, 0);
        if (rc < 0) fail("sound frame", rc);
    } catch (...) {
        release();
        throw;
    }
}

SoundEncoder::~SoundEncoder() { release(); }

void SoundEncoder::release() {
    avcodec_free_context(&encoder_);
    swr_free(&mixer_);
    if (fifo_) av_audio_fifo_free(fifo_);
    fifo_ = nullptr;
    av_frame_free(&frame_);
    av_packet_free(&packet_);
}

void SoundEncoder::write(const float* lanes, std::int64_t frames) {
    if (frames <= 0) return;
    for (auto& channel : mixed_) channel.resize(std::size_t(frames));
    std::uint8_t* out[2] = {reinterpret_cast<std::uint8_t*>(mixed_[0].data()),
                            reinterpret_cast<std::uint8_t*>(mixed_[1].data())};
    const std::uint8_t* in[1] = {reinterpret_cast<const std::uint8_t*>(lanes)};
    // Same rate on both sides: the mixer hands every frame back at once.
    const int mixedFrames = swr_convert(mixer_, out, int(frames), in, int(frames));
    if (mixedFrames < 0) fail("mixing the sound", mixedFrames);
    void* planes[2] = {out[0], out[1]};
    if (av_audio_fifo_write(fifo_, planes, mixedFrames) < mixedFrames)
        throw support::Failure("out of memory");
    while (av_audio_fifo_size(fifo_) >= encoder_->frame_size) encode(encoder_->frame_size);
}

void SoundEncoder::finish() {
    const int left = av_audio_fifo_size(fifo_);
    if (left > 0) encode(left);
    int rc = avcodec_send_frame(encoder_, nullptr);
    if (rc < 0) fail("encoding the sound", rc);
    drain();
}

void SoundEncoder::encode(int frames) {
    int rc = av_frame_make_writable(frame_);
    if (rc < 0) fail("sound frame", rc);
    void* planes[2] = {frame_->data[0], frame_->data[1]};
    av_audio_fifo_read(fifo_, planes, frames);
    // WMAv2 takes whole frames only: the last one is padded with silence.
    for (int channel = 0; channel < 2; ++channel) {
        float* samples = reinterpret_cast<float*>(frame_->data[channel]);
        for (int i = frames; i < encoder_->frame_size; ++i) samples[i] = 0.0f;
    }
    frame_->pts = pts_;
    pts_ += encoder_->frame_size;
    rc = avcodec_send_frame(encoder_, frame_);
    if (rc < 0) fail("encoding the sound", rc);
    drain();
}

void SoundEncoder::drain() {
    for (;;) {
        int rc = avcodec_receive_packet(encoder_, packet_);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
        if (rc < 0) fail("encoding the sound", rc);
        av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        rc = av_interleaved_write_frame(format_, packet_);
        if (rc < 0) fail("writing the file", rc);
    }
}

}  // namespace recorder
