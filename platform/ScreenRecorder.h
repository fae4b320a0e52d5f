#pragma once
// The screen recorder: records a rectangle of the screen into a video file,
// as one immutable request says. All calls are made on the user-interface
// thread; each may throw Failure.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// A rectangle of the screen in device pixels, which on a scaled (HiDPI)
// screen are not the toolkit's logical pixels.
struct ScreenArea {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The sounds a recording carries beside its pictures.
struct SoundSources {
    bool chat = false;        // what the chat plays
    bool microphone = false;  // the default input
    bool any() const { return chat || microphone; }
};

// What to record and where to. A recorder checks it when it is made.
struct RecordingRequest {
    ScreenArea area;
    double framesPerSecond = 30.0;       // above 0, at most 240
    bool drawPointer = true;             // the mouse pointer is drawn into the frames
    bool highlightClicks = false;        // a ring around the pointer while a button is held
    std::int32_t startDelaySeconds = 0;  // before the first frame; not negative
    // Parts of the rectangle off the screen are black (true), or make start() fail.
    bool padOffscreen = true;
    // None: the sounds the desktop is set up to record (its settings).
    std::optional<SoundSources> sound;
    std::string path;  // the file to write, taken as it is
};

class ScreenRecorder {
public:
    virtual ~ScreenRecorder() = default;  // releasing the last reference stops and frees
    // Opens the file and the encoder and returns at once; capture runs on the
    // recorder's own thread. A failure (a rectangle off the screen, an
    // unwritable file) leaves nothing running and no file behind.
    virtual void start() = 0;
    // Ends the recording and finishes the file (complete and seekable, with
    // at least one frame); a second stop does nothing. Throws the error that
    // ended a recording by itself.
    virtual void stop() = 0;
};

class RecorderFactory {
public:
    virtual ~RecorderFactory() = default;
    // A new recorder for one request. Throws Failure when the request is not
    // valid or the recorder is unavailable. failed (may be empty) is told when
    // a running recording ends by itself on an error (a write that fails, the
    // display gone): the file is then finished as far as it could be and
    // stop() reports the error. As the window sees it, failed runs later on the
    // user-interface thread as an event of the window, at most once per
    // recording and never after the recorder has been released.
    virtual std::shared_ptr<ScreenRecorder> create(const RecordingRequest& request,
                                                   std::function<void()> failed) = 0;
};

}  // namespace platform
