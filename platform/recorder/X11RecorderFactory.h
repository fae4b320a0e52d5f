#pragma once
// Creates X11 screen recorders. Called on the user-interface thread.

#include <memory>
#include <string>

#include "platform/ScreenRecorder.h"

namespace recorder {

class X11RecorderFactory : public platform::RecorderFactory {
public:
    // displayName: the X display to record (empty: $DISPLAY).
    explicit X11RecorderFactory(std::string displayName = {})
        : displayName_(std::move(displayName)) {}

    // Throws Failure when the X display cannot be opened.
    std::shared_ptr<platform::ScreenRecorder> create() override;

private:
    std::string displayName_;
};

}  // namespace recorder
