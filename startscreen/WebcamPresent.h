#pragma once
// Tells whether a video-capture driver (index 0 to 9) can be connected.

#include "platform/Services.h"

namespace startscreen {

// Writes the probe's handle (0 when it could not be opened) to
// captureWindowHandle. Failures of the service reach the caller.
bool WebcamPresent(platform::CaptureService& capture, platform::WindowHandle& captureWindowHandle);

}  // namespace startscreen
