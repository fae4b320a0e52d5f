#include "platform/linux/V4l2CaptureService.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace desktop {

namespace {

constexpr platform::WPARAM kDriverCount = 10;

// True when the open device captures video.
bool capturesVideo(int device) {
    v4l2_capability caps{};
    int result;
    do {
        result = ioctl(device, VIDIOC_QUERYCAP, &caps);
    } while (result < 0 && errno == EINTR);
    if (result < 0) return false;
    // A device node of a multi-function driver reports its own abilities in
    // device_caps; capabilities then covers the whole driver.
    const std::uint32_t own =
        (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
    return (own & V4L2_CAP_VIDEO_CAPTURE) != 0;
}

}  // namespace

V4l2CaptureService::V4l2CaptureService(bool simulate)
    : V4l2CaptureService(simulate, "/dev/video") {}

V4l2CaptureService::V4l2CaptureService(bool simulate, std::string devicePrefix)
    : simulate_(simulate), devicePrefix_(std::move(devicePrefix)) {}

V4l2CaptureService::~V4l2CaptureService() {
    for (auto& [handle, probe] : probes_) disconnect(probe);
}

platform::WindowHandle V4l2CaptureService::capCreateCaptureWindowA(const std::string& name,
                                                                   std::uint32_t style, int x,
                                                                   int y, int width, int height,
                                                                   platform::WindowHandle parent,
                                                                   int id) {
    const platform::WindowHandle handle = nextHandle_++;
    probes_.emplace(handle, Probe{});
    return handle;
}

platform::LRESULT V4l2CaptureService::SendMessageA(platform::WindowHandle window,
                                                   platform::UINT message, platform::WPARAM wParam,
                                                   platform::LPARAM lParam) {
    auto probe = probes_.find(window);
    switch (message) {
        case platform::WM_CAP_DRIVER_CONNECT:
            if (probe == probes_.end()) throw platform::Failure("no such capture window");
            return connect(probe->second, wParam);
        case platform::WM_CAP_DRIVER_DISCONNECT:
            if (probe != probes_.end()) disconnect(probe->second);
            return probe != probes_.end() ? 1 : 0;
        default:
            return 0;
    }
}

void V4l2CaptureService::DestroyWindow(platform::WindowHandle window) {
    auto probe = probes_.find(window);
    if (probe == probes_.end()) return;
    disconnect(probe->second);
    probes_.erase(probe);
}

platform::LRESULT V4l2CaptureService::connect(Probe& probe, platform::WPARAM driver) {
    disconnect(probe);
    if (driver >= kDriverCount) return 0;
    if (simulate_) {
        probe.simulated = driver == 0;
        return probe.simulated ? 1 : 0;
    }
    const std::string path = devicePrefix_ + std::to_string(driver);
    const int device = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (device < 0) return 0;
    if (!capturesVideo(device)) {
        close(device);
        return 0;
    }
    probe.device = device;
    return 1;
}

void V4l2CaptureService::disconnect(Probe& probe) {
    if (probe.device >= 0) close(probe.device);
    probe.device = -1;
    probe.simulated = false;
}

}  // namespace desktop
