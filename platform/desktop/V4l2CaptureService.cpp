#include "platform/desktop/V4l2CaptureService.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace desktop {

namespace {

constexpr int kDriverCount = 10;

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

platform::WindowHandle V4l2CaptureService::openProbe() {
    const platform::WindowHandle handle = nextHandle_++;
    probes_.emplace(handle, Probe{});
    return handle;
}

bool V4l2CaptureService::connectDriver(platform::WindowHandle probe, int driver) {
    auto found = probes_.find(probe);
    if (found == probes_.end()) throw platform::Failure("no such capture probe");
    return connect(found->second, driver);
}

void V4l2CaptureService::disconnectDriver(platform::WindowHandle probe) {
    auto found = probes_.find(probe);
    if (found != probes_.end()) disconnect(found->second);
}

void V4l2CaptureService::closeProbe(platform::WindowHandle probe) {
    auto found = probes_.find(probe);
    if (found == probes_.end()) return;
    disconnect(found->second);
    probes_.erase(found);
}

bool V4l2CaptureService::connect(Probe& probe, int driver) {
    disconnect(probe);
    if (driver < 0 || driver >= kDriverCount) return false;
    if (simulate_) {
        probe.simulated = driver == 0;
        return probe.simulated;
    }
    const std::string path = devicePrefix_ + std::to_string(driver);
    const int device = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (device < 0) return false;
    if (!capturesVideo(device)) {
        close(device);
        return false;
    }
    probe.device = device;
    return true;
}

void V4l2CaptureService::disconnect(Probe& probe) {
    if (probe.device >= 0) close(probe.device);
    probe.device = -1;
    probe.simulated = false;
}

}  // namespace desktop
