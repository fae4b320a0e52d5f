#pragma once
// Captures the recording's sound from the PulseAudio server (PipeWire's
// PulseAudio server too) into a SoundTimeline, on a sound thread of its own
// (libpulse's threaded main loop; never the user-interface thread):
//   chat sound   every playback stream (sink input) of a client process (see
//                IsClientProcess), those opened later included, is recorded
//                from its sink's monitor alone (a monitor stream on that sink
//                input), so other programs' sound stays out and the person
//                keeps hearing it as before. A stream that is moved to
//                another sink is recorded again from there.
//   microphone   the server's default source, unless that is the default
//                sink's monitor (what a server offers when there is no
//                microphone), which would carry every program's sound.
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
#include <functional>
#include <list>
#include <memory>
#include <string>

#include "platform/recorder/FrameClock.h"
#include "platform/recorder/SoundTimeline.h"

namespace recorder {

// Which sounds a recording carries; none: the file has no sound stream.
struct SoundSources {
    bool chat = false;
    bool microphone = false;
    bool any() const { return chat || microphone; }
};

// Whether a process id is one of the client's: its chat sound is recorded.
using IsClientProcess = std::function<bool(long pid)>;
// The client's processes: this process and its children (WebKit's web
// processes are children of the user-interface process).
bool isThisProcessOrChild(long pid);

class PulseCapture {
public:
    // Starts the sound thread, which connects to the server named by the
    // environment (PULSE_SERVER, else the user's) without spawning one and
    // opens the sources' streams. Frame position 0 is captured at t0. Never
    // waits for the server.
    PulseCapture(SoundSources sources, SoundTimeline& timeline, FrameClock::Clock::time_point t0,
                 IsClientProcess isClient);
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
              double heardAfter = 0);
    void remove(Stream* stream);
    void warnOnce(const std::string& message);

    SoundSources sources_;
    SoundTimeline& timeline_;
    FrameClock::Clock::time_point t0_;
    IsClientProcess isClient_;
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    std::list<std::unique_ptr<Stream>> streams_;  // the sound thread's
    std::list<std::unique_ptr<Lookup>> lookups_;  // sink inputs being looked up
    bool ready_ = false;                          // the sound thread's
    bool stopping_ = false;                       // under the main loop's lock
    bool warned_ = false;                         // the sound thread's
    std::atomic<bool> live_{false};
};

}  // namespace recorder
