#include "startscreen/WebcamPresent.h"

namespace startscreen {

using namespace platform;

namespace {
constexpr std::uint32_t kVisibleChild = 0x50000000;  // WS_CHILD | WS_VISIBLE

void disconnect(CaptureService& capture, WindowHandle probe) {
    capture.SendMessageA(probe, WM_CAP_DRIVER_DISCONNECT, 0, 0);
}

// Nothing uses the probe window after the disconnect; failing to destroy it
// says nothing about the camera.
void destroyQuietly(CaptureService& capture, WindowHandle probe) {
    if (probe != 0) attempt([&] { capture.DestroyWindow(probe); });
}
}  // namespace

bool WebcamPresent(CaptureService& capture, WindowHandle parent, WindowHandle& captureWindowHandle) {
    bool answer = false;
    captureWindowHandle =
        capture.capCreateCaptureWindowA("CaptureWindow", kVisibleChild, 0, 0, 0, 0, parent, 0);
    const WindowHandle probe = captureWindowHandle;
    try {
        if (probe != 0) {
            LRESULT reply = 0;
            for (WPARAM driver = 0; driver <= 9; ++driver) {
                reply = capture.SendMessageA(probe, WM_CAP_DRIVER_CONNECT, driver, 0);
                if (reply == 1) break;
            }
            if (reply != 0) answer = true;
        }
    } catch (const Failure&) {
        // A failing driver must not stay connected.
        attempt([&] { disconnect(capture, probe); });
        destroyQuietly(capture, probe);
        throw;
    }
    try {
        disconnect(capture, probe);  // also when nothing connected, and for the handle 0
    } catch (const Failure&) {
        destroyQuietly(capture, probe);
        throw;
    }
    destroyQuietly(capture, probe);
    return answer;
}

}  // namespace startscreen
