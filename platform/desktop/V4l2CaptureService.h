#pragma once
// The video-capture drivers on Linux: driver i (0 to 9) is the V4L2 device
// /dev/video<i>. Connecting succeeds when the device opens and reports video
// capture; the device stays open until the probe disconnects or is closed. A
// simulating service (the demo build) connects driver 0 without any device.
//
// Not thread-safe: call from the user-interface thread.

#include <map>
#include <string>

#include "support/Failure.h"
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

    platform::WindowHandle openProbe() override;
    // Throws Failure for a probe that is not open.
    bool connectDriver(platform::WindowHandle probe, int driver) override;
    // A probe that is not open has nothing to drop or close.
    void disconnectDriver(platform::WindowHandle probe) override;
    void closeProbe(platform::WindowHandle probe) override;

private:
    struct Probe {
        int device = -1;         // open file descriptor while connected
        bool simulated = false;  // connected to the simulated driver
    };

    bool connect(Probe& probe, int driver);
    static void disconnect(Probe& probe);

    bool simulate_;
    std::string devicePrefix_;
    std::map<platform::WindowHandle, Probe> probes_;
    platform::WindowHandle nextHandle_ = 0x100;
};

}  // namespace desktop
