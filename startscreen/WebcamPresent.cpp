#include "startscreen/WebcamPresent.h"

namespace startscreen {

using namespace platform;

namespace {
// Nothing uses the probe after the disconnect; failing to close it says
// nothing about the camera.
void closeQuietly(CaptureService& capture, WindowHandle probe) {
    if (probe != 0) attempt([&] { capture.closeProbe(probe); });
}
}  // namespace

bool WebcamPresent(CaptureService& capture, WindowHandle& captureWindowHandle) {
    bool answer = false;
    captureWindowHandle = capture.openProbe();
    const WindowHandle probe = captureWindowHandle;
    try {
        if (probe != 0) {
            for (int driver = 0; driver <= 9 && !answer; ++driver)
                answer = capture.connectDriver(probe, driver);
        }
    } catch (const Failure&) {
        // A failing driver must not stay connected.
        attempt([&] { capture.disconnectDriver(probe); });
        closeQuietly(capture, probe);
        throw;
    }
    try {
        capture.disconnectDriver(probe);  // also when nothing connected, and for the handle 0
    } catch (const Failure&) {
        closeQuietly(capture, probe);
        throw;
    }
    closeQuietly(capture, probe);
    return answer;
}

}  // namespace startscreen
