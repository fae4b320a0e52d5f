#pragma once
// Captures the recording's sound from the PulseAudio server (PipeWire's
// PulseAudio server too) into a SoundTimeline, on a sound thread of its own
// (libpulse's threaded main loop; never the user-interface thread):
//   chat sound   the monitor of the chat's own sink (see ChatSoundSink), which
//                the client's web processes play into: one lane however many
//                streams play there. Nothing a stream says of itself (its
//                process id, its program) makes it the chat's, as any program
//                can say the same. A stream that played into that sink and is
//                moved to another one (the person chose other speakers for
//                it) is followed there, recorded from that sink's monitor
//                alone (a monitor stream on that sink input), until it comes
//                back.
//   microphone   the server's default source, unless the server says it is a
//                sink's monitor (what a server offers when there is no
//                microphone, or what someone chose), which carries programs'
//                sound, not the person's voice.
// Each stream has a lane of the timeline; its chunks are stamped with their
// capture time (now less the stream's latency), so a stalled, suspended or
// moved stream leaves silence. With no server, or one that goes away, the
// lanes stay silent and a warning says so, once.
//
// Threading: constructed and destroyed on the thread that owns the recording
// (never on the sound thread); everything else runs on the sound thread under
// the main loop's lock. Warnings are logged from the sound thread.

#include <pulse/pulseaudio.h>

#include <atomic>
#include <list>
#include <memory>
#include <set>
#include <string>

#include "platform/ScreenRecorder.h"
#include "platform/recorder/FrameClock.h"
#include "platform/recorder/SoundTimeline.h"

namespace recorder {

// Which sounds a recording carries; none: the file has no sound stream.
using SoundSources = platform::SoundSources;

class PulseCapture {
public:
    // Starts the sound thread, which connects to the server named by the
    // environment (PULSE_SERVER, else the user's) without spawning one and
    // opens the sources' streams. Frame position 0 is captured at t0.
    // chatSink: the name of the chat's sink. Never waits for the server.
    PulseCapture(SoundSources sources, SoundTimeline& timeline, FrameClock::Clock::time_point t0,
                 std::string chatSink);
    // Closes the streams and ends the sound thread.
    ~PulseCapture();
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

    // Any thread; atomic: whether the server answered and is still there.
    bool live() const { return live_; }

private:
    struct Stream;
    struct Lookup;

    static void onContextState(pa_context* context, void* self);
    static void onServerInfo(pa_context* context, const pa_server_info* info, void* self);
    static void onSource(pa_context* context, const pa_source_info* info, int eol, void* self);
    static void onChatSink(pa_context* context, const pa_sink_info* info, int eol, void* self);
    static void onSubscription(pa_context* context, pa_subscription_event_type_t type,
                               std::uint32_t index, void* self);
    static void onSinkInput(pa_context* context, const pa_sink_input_info* info, int eol,
                            void* self);
    static void onSink(pa_context* context, const pa_sink_info* info, int eol, void* lookup);
    static void onStreamState(pa_stream* stream, void* data);
    static void onRead(pa_stream* stream, std::size_t bytes, void* data);

    void lookUpSinkInput(std::uint32_t index);
    bool handled(std::uint32_t sinkInput) const;
    void open(const char* device, std::uint32_t sinkInput, const std::string& name,
              double heardAfter = 0, bool chatSink = false);
    void remove(Stream* stream);
    void warnOnce(const std::string& message);

    SoundSources sources_;
    SoundTimeline& timeline_;
    FrameClock::Clock::time_point t0_;
    std::string chatSink_;
    std::uint32_t chatSinkIndex_ = PA_INVALID_INDEX;  // the sound thread's
    std::set<std::uint32_t> fromChatSink_;  // sink inputs seen playing into the chat's sink
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    std::list<std::unique_ptr<Stream>> streams_;  // the sound thread's
    std::list<std::unique_ptr<Lookup>> lookups_;  // sink inputs being looked up
    bool ready_ = false;                          // the sound thread's
    bool stopping_ = false;                       // under the main loop's lock
    bool warned_ = false;                         // the sound thread's
    bool lanesWarned_ = false;                    // the sound thread's
    std::atomic<bool> live_{false};
};

}  // namespace recorder
