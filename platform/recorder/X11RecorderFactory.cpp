#include "platform/recorder/X11RecorderFactory.h"

#include "platform/recorder/PrivateDisplay.h"
#include "platform/recorder/X11ScreenRecorder.h"

namespace recorder {

std::shared_ptr<platform::ScreenRecorder> X11RecorderFactory::create() {
    PrivateDisplay display(displayName_);  // throws Failure when there is no display
    auto made = std::make_shared<X11ScreenRecorder>(displayName_);
    if (window_) made->recordWindow(window_());
    made->recordSound(sound_, chatSink_);
    return made;
}

}  // namespace recorder
