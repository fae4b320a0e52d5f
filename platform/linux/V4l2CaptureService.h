#pragma once
// Capture windows on Linux: a capture window is a probe object (nothing is
// shown), and driver index i (0 to 9) is the V4L2 device /dev/video<i>.
// Connecting answers 1 when the device opens and reports video capture; the
// device stays open until the probe disconnects or is destroyed. A simulating
// service (the demo build) connects driver 0 without any device.
//
// Not thread-safe: call from the user-interface thread.

#include <map>
#include <string>

#include "platform/Failure.h"
#include "platform/Services.h"

namespace desktop {

class V4l2CaptureService : public platform::CaptureService {
public:
    explicit V4l2CaptureService(bool simulate);
    // Driver i is the device at devicePrefix followed by i.
    V4l2CaptureService(bool simulate, std::string devicePrefix);
    ~V4l2CaptureService() override;
    V4l2CaptureService(const V4l2CaptureService&) = delete;
    V4l2CaptureService& operator=(const V4l2CaptureService&) = delete;

    // Returns a new probe; the parent may be 0.
    platform::WindowHandle capCreateCaptureWindowA(const std::string& name, std::uint32_t style,
                                                   int x, int y, int width, int height,
                                                   platform::WindowHandle parent, int id) override;
    // WM_CAP_DRIVER_CONNECT (throws Failure for an unknown probe) and
    // WM_CAP_DRIVER_DISCONNECT; any other message answers 0.
    platform::LRESULT SendMessageA(platform::WindowHandle window, platform::UINT message,
                                   platform::WPARAM wParam, platform::LPARAM lParam) override;
    void DestroyWindow(platform::WindowHandle window) override;

private:
    struct Probe {
        int device = -1;         // open file descriptor while connected
        bool simulated = false;  // connected to the simulated driver
    };

    platform::LRESULT connect(Probe& probe, platform::WPARAM driver);
    static void disconnect(Probe& probe);

    bool simulate_;
    std::string devicePrefix_;
    std::map<platform::WindowHandle, Probe> probes_;
    platform::WindowHandle nextHandle_ = 0x100;
};

}  // namespace desktop
