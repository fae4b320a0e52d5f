#include "platform/recorder/X11RecorderFactory.h"

#include "platform/recorder/PrivateDisplay.h"
#include "platform/recorder/X11ScreenRecorder.h"

namespace recorder {

std::shared_ptr<platform::ScreenRecorder> X11RecorderFactory::create(
    const platform::RecordingRequest& request, std::function<void()> failed) {
    PrivateDisplay display(displayName_);  // throws Failure when there is no display
    platform::RecordingRequest withSound = request;
    if (!withSound.sound) withSound.sound = sound_;
    auto made = std::make_shared<X11ScreenRecorder>(
        std::move(withSound), RecorderTarget{displayName_, window_ ? window_() : 0, chatSink_});
    made->setOnFailure(std::move(failed));
    return made;
}

}  // namespace recorder
