#include "platform/recorder/PulseCapture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/recorder/ChatSoundSink.h"
#include "support/Log.h"

namespace recorder {
namespace {

constexpr pa_sample_spec kSampleFormat{PA_SAMPLE_FLOAT32LE, SoundTimeline::kRate, 2};
// Chunks of 10 ms: the capture time of each is known closely, and every
// chunk has long arrived when the capture thread takes its frames.
constexpr pa_usec_t kFragment = 10'000;

// Lets an operation run on without waiting for it; none: the request could
// not be sent (the connection is going), which its state callback reports.
void letRun(pa_operation* operation) {
    if (operation) pa_operation_unref(operation);
}

}  // namespace

struct PulseCapture::Stream {
    PulseCapture* owner;
    pa_stream* stream = nullptr;
    int lane = -1;
    std::uint32_t sinkInput = PA_INVALID_INDEX;  // a followed chat stream's
    std::string name;
    double heardAfter = 0;  // seconds between a monitor's chunk and when it is heard
    bool chatSink = false;  // the chat sink's monitor; else the microphone or a followed stream
};

struct PulseCapture::Lookup {
    PulseCapture* owner;
    std::uint32_t sinkInput;
    std::string name;
};

PulseCapture::PulseCapture(SoundSources sources, SoundTimeline& timeline,
                           FrameClock::Clock::time_point t0, std::string chatSink)
    : sources_(sources), timeline_(timeline), t0_(t0), chatSink_(std::move(chatSink)) {
    mainloop_ = pa_threaded_mainloop_new();
    if (mainloop_)
        context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_),
                                  "Whirligigcam Desktop recording");
    if (!context_) {
        warnOnce("recording: cannot set up a sound server connection; the recording is silent");
        return;
    }
    pa_context_set_state_callback(context_, onContextState, this);
    pa_context_set_subscribe_callback(context_, onSubscription, this);
    // Connecting only starts the handshake: its end is reported on the sound thread.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(mainloop_) < 0)
        warnOnce(std::string("recording: no sound server (") +
                 pa_strerror(pa_context_errno(context_)) + "); the recording is silent");
}

PulseCapture::~PulseCapture() {
    if (!mainloop_) return;
    pa_threaded_mainloop_lock(mainloop_);
    stopping_ = true;
    for (auto& s : streams_) {
        pa_stream_set_state_callback(s->stream, nullptr, nullptr);
        pa_stream_set_read_callback(s->stream, nullptr, nullptr);
        pa_stream_disconnect(s->stream);
        pa_stream_unref(s->stream);
        timeline_.close(s->lane);
    }
    streams_.clear();
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);  // cancels the lookups: their callbacks never run
    }
    pa_threaded_mainloop_unlock(mainloop_);
    pa_threaded_mainloop_stop(mainloop_);
    if (context_) pa_context_unref(context_);
    pa_threaded_mainloop_free(mainloop_);
}

void PulseCapture::warnOnce(const std::string& message) {
    if (warned_ || stopping_) return;
    warned_ = true;
    support::logWarning(message);
}

void PulseCapture::onContextState(pa_context* context, void* self) {
    auto* me = static_cast<PulseCapture*>(self);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            me->ready_ = true;
            me->live_ = true;
            support::logInfo(std::string("recording: sound from ") +
                             pa_context_get_server(context) +
                             (me->sources_.chat ? ", the chat's streams" : "") +
                             (me->sources_.microphone ? ", the microphone" : ""));
            if (me->sources_.chat && me->chatSink_.empty())
                support::logWarning(
                    "recording: the chat has no sink of its own; the recording has none of "
                    "the chat's sound");
            else if (me->sources_.chat)
                letRun(pa_context_get_sink_info_by_name(context, me->chatSink_.c_str(), onChatSink,
                                                        me));
            if (me->sources_.microphone)
                letRun(pa_context_get_server_info(context, onServerInfo, me));
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED: {
            me->live_ = false;
            const std::string why = pa_strerror(pa_context_errno(context));
            me->warnOnce(me->ready_
                             ? "recording: the sound server went away (" + why +
                                   "); the rest of the recording is silent"
                             : "recording: no sound server (" + why + "); the recording is silent");
            break;
        }
        default:
            break;
    }
}

void PulseCapture::onServerInfo(pa_context* context, const pa_server_info* info, void* self) {
    auto* me = static_cast<PulseCapture*>(self);
    if (me->stopping_) return;
    if (!info || !info->default_source_name) {
        support::logWarning(
            "recording: the sound server names no default source; the "
            "recording has no microphone");
        return;
    }
    letRun(pa_context_get_source_info_by_name(context, info->default_source_name, onSource, me));
}

void PulseCapture::onSource(pa_context*, const pa_source_info* info, int eol, void* self) {
    auto* me = static_cast<PulseCapture*>(self);
    if (me->stopping_ || eol > 0) return;
    if (!info) {
        support::logWarning(
            "recording: the sound server's default source is gone; the recording has no "
            "microphone");
        return;
    }
    // A sink's monitor carries what programs play there (without a
    // microphone a server offers the speakers' monitor): not the person's voice.
    const std::string source = info->name;
    if (info->monitor_of_sink != PA_INVALID_INDEX) {
        support::logWarning("recording: the default source " + source +
                            " is a sink's monitor, not a microphone; the recording has no "
                            "microphone");
        return;
    }
    me->open(source.c_str(), PA_INVALID_INDEX, "the microphone (" + source + ")");
}

void PulseCapture::onChatSink(pa_context* context, const pa_sink_info* info, int eol, void* self) {
    auto* me = static_cast<PulseCapture*>(self);
    if (me->stopping_ || eol > 0) return;
    if (!info) {
        support::logWarning("recording: the chat's sink " + me->chatSink_ +
                            " is gone; the recording has none of the chat's sound");
        return;
    }
    me->chatSinkIndex_ = info->index;
    // The sink renders as it is asked (its monitor's readers ask for little);
    // the loopback passes it on to the speakers that much later, and the
    // chat's pictures are shown for then.
    me->open(info->monitor_source_name, PA_INVALID_INDEX,
             "the chat's sound (" + me->chatSink_ + ")", ChatSoundSink::kLoopbackLatencyMs / 1e3,
             true);
    // The streams that play there, to follow any that is moved elsewhere.
    letRun(pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SINK_INPUT, nullptr, nullptr));
    letRun(pa_context_get_sink_input_info_list(context, onSinkInput, me));
}

void PulseCapture::onSubscription(pa_context*, pa_subscription_event_type_t type,
                                  std::uint32_t index, void* self) {
    auto* me = static_cast<PulseCapture*>(self);
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SINK_INPUT) return;
    // New streams, and streams moved to another sink (which ends their monitor stream).
    if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE)
        me->fromChatSink_.erase(index);
    else
        me->lookUpSinkInput(index);
}

void PulseCapture::lookUpSinkInput(std::uint32_t index) {
    if (stopping_ || handled(index)) return;
    letRun(pa_context_get_sink_input_info(context_, index, onSinkInput, this));
}

bool PulseCapture::handled(std::uint32_t sinkInput) const {
    return std::ranges::any_of(streams_, [&](auto& s) { return s->sinkInput == sinkInput; }) ||
           std::ranges::any_of(lookups_, [&](auto& l) { return l->sinkInput == sinkInput; });
}

void PulseCapture::onSinkInput(pa_context* context, const pa_sink_input_info* info, int eol,
                               void* self) {
    auto* me = static_cast<PulseCapture*>(self);
    if (eol != 0 || !info || me->stopping_ || me->handled(info->index)) return;
    // A stream in the chat's sink is in its monitor; one that played there
    // and now plays elsewhere is followed.
    if (info->sink == me->chatSinkIndex_) {
        me->fromChatSink_.insert(info->index);
        return;
    }
    if (!me->fromChatSink_.contains(info->index)) return;
    const char* app = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_NAME);
    auto lookup =
        std::make_unique<Lookup>(Lookup{me, info->index,
                                        "chat stream " + std::to_string(info->index) + " (" +
                                            (app ? app : "?") + ", moved out of the chat's sink)"});
    pa_operation* op = pa_context_get_sink_info_by_index(context, info->sink, onSink, lookup.get());
    if (!op) {
        support::logDebug("recording: cannot look up the sink of " + lookup->name);
        return;
    }
    pa_operation_unref(op);
    me->lookups_.push_back(std::move(lookup));
}

void PulseCapture::onSink(pa_context*, const pa_sink_info* info, int eol, void* data) {
    auto* lookup = static_cast<Lookup*>(data);
    PulseCapture* me = lookup->owner;
    if (info && eol == 0) {
        // A sink's monitor hands on what it renders; it is heard the sink's
        // latency later, and the chat's pictures are shown for then.
        me->open(info->monitor_source_name, lookup->sinkInput, lookup->name,
                 double(info->latency) / 1e6);
        return;  // the list's end follows
    }
    if (eol < 0) support::logDebug("recording: the sink of " + lookup->name + " is gone");
    me->lookups_.remove_if([&](auto& l) { return l.get() == lookup; });
}

void PulseCapture::open(const char* device, std::uint32_t sinkInput, const std::string& name,
                        double heardAfter, bool chatSink) {
    if (stopping_ || (sinkInput != PA_INVALID_INDEX && std::ranges::any_of(streams_, [&](auto& s) {
                          return s->sinkInput == sinkInput;
                      })))
        return;
    const int lane = timeline_.open();
    if (lane < 0) {
        // Said once per recording: a flood of streams must not flood the log.
        if (!lanesWarned_)
            support::logWarning(
                "recording: too many sound streams at once; some of them are not recorded");
        lanesWarned_ = true;
        support::logDebug("recording: no lane for " + name);
        return;
    }
    auto s = std::make_unique<Stream>(
        Stream{this, nullptr, lane, sinkInput, name, heardAfter, chatSink});
    s->stream = pa_stream_new(context_, "recording", &kSampleFormat, nullptr);
    pa_buffer_attr attr;
    attr.maxlength = attr.tlength = attr.prebuf = attr.minreq = std::uint32_t(-1);
    attr.fragsize = std::uint32_t(pa_usec_to_bytes(kFragment, &kSampleFormat));
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                         PA_STREAM_AUTO_TIMING_UPDATE);
    if (s->stream && sinkInput != PA_INVALID_INDEX)
        pa_stream_set_monitor_stream(s->stream, sinkInput);
    if (s->stream) {
        pa_stream_set_state_callback(s->stream, onStreamState, s.get());
        pa_stream_set_read_callback(s->stream, onRead, s.get());
    }
    if (!s->stream || pa_stream_connect_record(s->stream, device, &attr, flags) < 0) {
        support::logWarning("recording: cannot record " + name + " (" +
                            pa_strerror(pa_context_errno(context_)) + ")");
        if (s->stream) pa_stream_unref(s->stream);
        timeline_.close(lane);
        return;
    }
    support::logDebug("recording: recording " + name);
    streams_.push_back(std::move(s));
}

void PulseCapture::remove(Stream* stream) {
    timeline_.close(stream->lane);
    pa_stream_unref(stream->stream);  // the library holds its own reference during the callback
    streams_.remove_if([&](auto& s) { return s.get() == stream; });
}

void PulseCapture::onStreamState(pa_stream* stream, void* data) {
    auto* s = static_cast<Stream*>(data);
    PulseCapture* me = s->owner;
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state != PA_STREAM_FAILED && state != PA_STREAM_TERMINATED) return;
    const bool serverThere = pa_context_get_state(me->context_) == PA_CONTEXT_READY;
    const std::uint32_t sinkInput = s->sinkInput;
    const std::string why = pa_strerror(pa_context_errno(me->context_));
    if (s->chatSink && serverThere)
        support::logWarning("recording: the chat sink's stream ended (" + why +
                            "); the rest of the recording has none of the chat's sound");
    else if (sinkInput == PA_INVALID_INDEX && serverThere)
        support::logWarning("recording: the microphone's stream ended (" + why +
                            "); the rest of the recording has no microphone");
    else
        support::logDebug("recording: " + s->name + " ended");
    me->remove(s);
    // A chat stream also ends when it moves to another sink: follow it there.
    if (sinkInput != PA_INVALID_INDEX && serverThere) me->lookUpSinkInput(sinkInput);
}

void PulseCapture::onRead(pa_stream* stream, std::size_t, void* data) {
    auto* s = static_cast<Stream*>(data);
    PulseCapture* me = s->owner;
    for (;;) {
        const void* bytes = nullptr;
        std::size_t length = 0;
        if (pa_stream_peek(stream, &bytes, &length) < 0 || length == 0) return;
        if (bytes) {
            // The chunk's first frame was captured the stream's latency ago
            // (the chunk is still counted in it until dropped).
            const auto now = FrameClock::Clock::now();
            const std::int64_t frames = std::int64_t(length / pa_frame_size(&kSampleFormat));
            pa_usec_t latency = 0;
            int negative = 0;
            double ago = double(frames) / SoundTimeline::kRate;
            if (pa_stream_get_latency(stream, &latency, &negative) == 0)
                ago = negative ? 0.0 : double(latency) / 1e6;
            const double since =
                std::chrono::duration<double>(now - me->t0_).count() - ago + s->heardAfter;
            me->timeline_.put(s->lane, std::llround(since * SoundTimeline::kRate),
                              static_cast<const float*>(bytes), frames);
        }
        // A hole (no bytes) is left silent: the next chunk's time is later.
        pa_stream_drop(stream);
    }
}

}  // namespace recorder
