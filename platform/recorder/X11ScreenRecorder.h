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
// outlives StopRecord or the destructor.
//
// Settings take effect at the next StartRecord; changing them while recording
// does not affect the running recording. Their meanings:
//   SourceKind       1: a rectangle of the screen; any other value fails.
//   CaptureLeft/Top/Width/Height: the rectangle, in device pixels of the X
//                    screen (on a scaled screen, not the toolkit's logical
//                    pixels). Width and height are cropped to even numbers.
//   FrameRate        frames per second, above 0 and at most 240.
//   OutputFile       the file to write; its name is taken as it is.
//   AudioSource      0; any other value fails. The sound comes from the
//                    sources set with recordSound (see PulseCapture), as the
//                    factory was configured.
//   HighlightClicks  0: off; otherwise a yellow ring is drawn around the
//                    pointer while a mouse button is held.
//   StartDelay       seconds between StartRecord and the first frame (>= 0).
//   DrawPointer      draw the mouse pointer into the frames.
//   PadOffscreen     true: the part of the rectangle off the screen is black;
//                    false: a rectangle not wholly on the screen fails.
// With recordWindow set, the window's own pixels are recorded (see X11Grabber):
// other windows over it are not, the pointer is. A recording whose first
// second is wholly black ends there and its file is removed (see BlackStart);
// StopRecord then reports the failure.
//
// StartRecord fails (Failure) on a bad setting, a rectangle wholly off the
// screen, an unwritable file or while recording; it then leaves no thread
// and no file behind.
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

class X11ScreenRecorder : public platform::ScreenRecorder {
public:
    // displayName: the X display to record (empty: $DISPLAY).
    explicit X11ScreenRecorder(std::string displayName = {});
    // UI thread: stops a running recording (as StopRecord, errors ignored).
    ~X11ScreenRecorder() override;

    // Setters (these and the ones after StopRecord). UI thread; no lock: the
    // settings are read only by StartRecord.
    void SourceKind(std::int32_t kind) override { settings_.sourceKind = kind; }
    void CaptureLeft(std::int32_t x) override { settings_.left = x; }
    void CaptureTop(std::int32_t y) override { settings_.top = y; }
    void CaptureWidth(std::int32_t width) override { settings_.width = width; }
    void CaptureHeight(std::int32_t height) override { settings_.height = height; }
    void FrameRate(float fps) override { settings_.fps = fps; }
    void OutputFile(const std::string& path) override { settings_.path = path; }
    // UI thread; no lock. Opens the display, the file and the encoder, then
    // starts the capture thread and returns. Throws Failure.
    void StartRecord() override;
    // UI thread; takes the recording's mutex to post the stop, then joins the
    // capture thread. That thread records the frame of the current slot if it
    // has none yet (so there is always at least one), flushes the encoder and
    // finishes the file. Throws Failure when the recording failed on the way
    // (the file is then finished as far as it could be). Does nothing when
    // not recording.
    void StopRecord() override;
    void AudioSource(std::int32_t source) override { settings_.audioSource = source; }
    void HighlightClicks(std::int32_t highlight) override { settings_.highlight = highlight; }
    void StartDelay(std::int32_t seconds) override { settings_.startDelay = seconds; }
    void DrawPointer(bool draw) override { settings_.drawPointer = draw; }
    void PadOffscreen(bool pad) override { settings_.padOffscreen = pad; }
    // UI thread; taken by the next StartRecord. When a recording ends by
    // itself on an error (before any stop), its capture thread calls failed
    // once, after the file is finished as far as it could be and with no lock
    // held: failed must only hand the news on to the user-interface thread.
    void setOnFailure(std::function<void()> failed) override { onFailure_ = std::move(failed); }

    // The top-level X window whose own pixels are recorded (through the
    // Composite extension), where the rectangle lies in it at StartRecord;
    // 0 (the default), or no Composite extension: the screen's pixels.
    void recordWindow(unsigned long window) { settings_.window = window; }
    // UI thread: the sounds the next recordings carry (none by default), and
    // the name of the chat's own sink (see ChatSoundSink), whose sound is the chat's.
    void recordSound(SoundSources sources, std::string chatSink = {}) {
        settings_.sound = sources;
        settings_.chatSink = std::move(chatSink);
    }

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
    platform::ThreadOwner uiThread_;
    struct Settings {
        std::int32_t sourceKind = 1;
        std::int32_t left = 0;
        std::int32_t top = 0;
        std::int32_t width = 0;
        std::int32_t height = 0;
        float fps = 30.0f;
        std::string path;
        std::int32_t audioSource = 0;
        std::int32_t highlight = 0;
        std::int32_t startDelay = 0;
        bool drawPointer = true;
        bool padOffscreen = true;
        unsigned long window = 0;
        SoundSources sound;
        std::string chatSink;
    };
    struct Session;

    static void capture(Session& session);

    std::string displayName_;
    Settings settings_;
    std::function<void()> onFailure_;
    std::unique_ptr<Session> session_;
    std::int64_t lastSkipped_ = 0;  // of the last recording, once stopped
    std::int64_t lastDropped_ = 0;  // of the last recording, once stopped
    std::string lastError_;
};

}  // namespace recorder
