#pragma once
// What the start screen keeps between its handlers.

#include "platform/Window.h"

namespace startscreen {

struct StartScreenState {
    // The probe window of the last webcam check (the check destroys it).
    platform::WindowHandle CaptureWindowHandle = 0;
    // The start page is loaded again after its web process died.
    bool startPageRestoring = false;
};

}  // namespace startscreen
