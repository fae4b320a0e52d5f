#pragma once
// The screen recorder on X11: records a rectangle of the screen into a WMV2
// video in an ASF file (whatever the file's name), on a thread of its own.
//
// Threading: every public method is called on the user-interface thread only
// (one caller at a time; the object takes no lock for its settings). A
// recording owns a capture thread, which alone uses that recording's X
// connection, grabber and encoder until it ends; the two threads share only
// the stop request, under the recording's mutex. The capture thread calls
// out only to hand on the news of a failure (setOnFailure), and nothing of it
// outlives stop() or the destructor.
//
// One recorder records one request (see RecordingRequest), which its
// constructor checks: a frame rate above 0 and at most 240, a start delay not
// negative, a rectangle not empty and a file named; it throws Failure
// otherwise. Width and height are cropped to even numbers. The sound comes
// from the request's sources (none when it names none; the factory fills in
// the desktop's settings), the chat's through the target's chat sink.
// With a target window, the window's own pixels are recorded (see X11Grabber):
// other windows over it are not, the pointer is. A recording whose first
// second is wholly black ends there and its file is removed (see BlackStart);
// stop() then reports the failure.
//
// start() fails (Failure) on a rectangle wholly off the screen, an
// unwritable file or while recording; it then leaves no thread and no file
// behind.
//
// Grabbing, converting, encoding and writing share the capture thread, so a
// slow disk or encoder makes it miss frame slots: those are counted
// (skippedFrames) and logged when the recording stops.
//
// With sound sources set, the file also has a 48 kHz stereo WMAv2 stream: the
// sound thread (PulseCapture) stamps what it captures on the frame clock into
// a SoundTimeline, which the capture thread mixes and encodes a little behind
// the clock, to the end of the last frame. With no sound server, or one that
// goes away, that stream holds silence and a warning is logged; sound that
// comes too late is dropped, counted (droppedSoundFrames) and logged when the
// recording stops.
//
// Two threads use Xlib at once (the toolkit's and the capture thread), each
// on its own connection; Xlib 1.8 and later enable their thread support by
// themselves. If the screen shrinks under the rectangle while recording, the
// part that left it is recorded black from then on.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/ScreenRecorder.h"
#include "support/ThreadOwner.h"
#include "platform/recorder/PulseCapture.h"

namespace recorder {

class X11Grabber;
class WmvWriter;

// Where a recorder records from, beside the request.
struct RecorderTarget {
    std::string displayName;  // the X display (empty: $DISPLAY)
    // The top-level X window whose own pixels are recorded (through the
    // Composite extension), where the rectangle lies in it at start();
    // 0, or no Composite extension: the screen's pixels.
    unsigned long window = 0;
    std::string chatSink;  // the chat's own sink (see ChatSoundSink)
};

class X11ScreenRecorder : public platform::ScreenRecorder {
public:
    // Throws Failure when the request is not valid.
    explicit X11ScreenRecorder(platform::RecordingRequest request, RecorderTarget target = {});
    // UI thread: stops a running recording (as stop(), errors ignored).
    ~X11ScreenRecorder() override;

    // UI thread; no lock. Opens the display, the file and the encoder, then
    // starts the capture thread and returns. Throws Failure.
    void start() override;
    // UI thread; takes the recording's mutex to post the stop, then joins the
    // capture thread. That thread records the frame of the current slot if it
    // has none yet (so there is always at least one), flushes the encoder and
    // finishes the file. Throws Failure when the recording failed on the way
    // (the file is then finished as far as it could be). Does nothing when
    // not recording.
    void stop() override;
    // UI thread; taken by the next start(). When a recording ends by itself
    // on an error (before any stop), its capture thread calls failed once,
    // after the file is finished as far as it could be and with no lock
    // held: failed must only hand the news on to the user-interface thread.
    void setOnFailure(std::function<void()> failed) { onFailure_ = std::move(failed); }

    // UI thread: whether a recording runs (started and not yet stopped).
    bool isRecording() const { return session_ != nullptr; }
    // UI thread: the frame slots the capture thread could not take in time,
    // so far in the running recording, else in the last one.
    std::int64_t skippedFrames() const;
    // UI thread: the frames grabbed so far in the running recording (0 when
    // none runs). A frame counted after a change on the screen may still
    // have been grabbed before it; the one after that was not.
    std::int64_t framesTaken() const;
    // UI thread: why the running recording ended by itself (as soon as its
    // file is finished), else why the last one failed; empty when it did not.
    std::string lastError() const;
    // UI thread: the sound frames captured but not recorded (they came too
    // late), so far in the running recording, else in the last one.
    std::int64_t droppedSoundFrames() const;
    bool failed() const { return !lastError().empty(); }

private:
    support::ThreadOwner uiThread_;
    struct Session;

    static void capture(Session& session);

    const platform::RecordingRequest request_;
    const RecorderTarget target_;
    std::function<void()> onFailure_;
    std::unique_ptr<Session> session_;
    std::int64_t lastSkipped_ = 0;  // of the last recording, once stopped
    std::int64_t lastDropped_ = 0;  // of the last recording, once stopped
    std::string lastError_;
};

}  // namespace recorder
