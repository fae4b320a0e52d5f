#include "platform/desktop/V4l2Webcams.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace desktop {

namespace {

constexpr int kDeviceCount = 10;

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

V4l2Webcams::V4l2Webcams(bool simulate, std::string devicePrefix)
    : simulate_(simulate), devicePrefix_(std::move(devicePrefix)) {}

bool V4l2Webcams::webcamPresent() {
    if (simulate_) return true;
    for (int index = 0; index < kDeviceCount; ++index) {
        const std::string path = devicePrefix_ + std::to_string(index);
        const int device = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (device < 0) continue;
        const bool captures = capturesVideo(device);
        close(device);
        if (captures) return true;
    }
    return false;
}

}  // namespace desktop
