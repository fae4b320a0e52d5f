#pragma once
// Creates X11 screen recorders. Called on the user-interface thread.

#include <functional>
#include <memory>
#include <string>

#include "platform/ScreenRecorder.h"
#include "platform/recorder/PulseCapture.h"

namespace recorder {

class X11RecorderFactory : public platform::RecorderFactory {
public:
    // displayName: the X display to record (empty: $DISPLAY). window: gives
    // the top-level X window whose own pixels the recorders record, asked at
    // each create(); none, or 0: the screen's pixels. sound: the sounds the
    // recordings carry (see PulseCapture); none: the files have no sound.
    // chatSink: the name of the chat's own sink (see ChatSoundSink).
    explicit X11RecorderFactory(std::string displayName = {},
                                std::function<unsigned long()> window = {}, SoundSources sound = {},
                                std::string chatSink = {})
        : displayName_(std::move(displayName)),
          window_(std::move(window)),
          sound_(sound),
          chatSink_(std::move(chatSink)) {}

    // Throws Failure when the X display cannot be opened or the request is
    // not valid. A request that names no sounds gets this factory's.
    std::shared_ptr<platform::ScreenRecorder> create(const platform::RecordingRequest& request,
                                                     std::function<void()> failed) override;

private:
    std::string displayName_;
    std::function<unsigned long()> window_;
    SoundSources sound_;
    std::string chatSink_;
};

}  // namespace recorder
