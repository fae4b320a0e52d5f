#pragma once
// The screen-recorder component: records a rectangle of the screen into a
// video file. The operations are listed in the component's interface order.
// All of them are called on the user-interface thread; each may throw Failure.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

class ScreenRecorder {
public:
    virtual ~ScreenRecorder() = default;  // releasing the last reference stops and frees
    // 1: what is recorded; 1 is a rectangle of the screen (the only source).
    virtual void SourceKind(std::int32_t kind) = 0;
    // 2-5: the rectangle, in screen pixels: device pixels, which on a scaled
    // (HiDPI) screen are not the toolkit's logical pixels.
    virtual void CaptureLeft(std::int32_t x) = 0;
    virtual void CaptureTop(std::int32_t y) = 0;
    virtual void CaptureWidth(std::int32_t width) = 0;
    virtual void CaptureHeight(std::int32_t height) = 0;
    // 6: frames per second.
    virtual void FrameRate(float fps) = 0;
    // 7: path of the video file to write.
    virtual void OutputFile(const std::string& path) = 0;
    // 8: opens the file and the encoder and returns at once; capture runs on
    // the component's own thread. A failure (a bad setting, a rectangle off the
    // screen, an unwritable file) leaves nothing running and no file behind.
    virtual void StartRecord() = 0;
    // 9: ends the recording and finishes the file (complete and seekable, with
    // at least one frame); a second stop does nothing.
    virtual void StopRecord() = 0;
    // 10: audio source; 0 is the only value taken. It does not decide the
    // sound: the Linux recorder records the sounds its factory was configured
    // with (the settings file's [Recording] group: the chat's sound and the
    // microphone), whatever this call says.
    virtual void AudioSource(std::int32_t source) = 0;
    // 11: highlight of mouse clicks; 0 is off.
    virtual void HighlightClicks(std::int32_t highlight) = 0;
    // 12: seconds to wait after StartRecord before the first frame.
    virtual void StartDelay(std::int32_t seconds) = 0;
    // 13: whether the mouse pointer is drawn into the frames.
    virtual void DrawPointer(bool draw) = 0;
    // 14: whether parts of the rectangle outside the screen are padded black
    // (true) or make StartRecord fail (false).
    virtual void PadOffscreen(bool pad) = 0;

    // Not an operation of the component's interface: asks to be told when a
    // running recording ends by itself on an error (a write that fails, the
    // display gone). The file is then finished as far as it could be, and
    // StopRecord reports the error. As the window sees it, failed runs later
    // on the user-interface thread as an event of the window, at most once
    // per recording and never after the recorder has been released (the host
    // hands the news over from the component's own thread).
    virtual void setOnFailure(std::function<void()> failed) = 0;
};

class RecorderFactory {
public:
    virtual ~RecorderFactory() = default;
    // A new recorder object; throws Failure when the component is unavailable.
    virtual std::shared_ptr<ScreenRecorder> create() = 0;
};

}  // namespace platform
