#pragma once
// The webcam check on Linux: a webcam is present when one of the V4L2 devices
// /dev/video0 to /dev/video9 opens and reports video capture. Each device is
// closed again at once. A simulating check (the demo build) always finds one.

#include <string>

#include "platform/Services.h"
#include "support/Failure.h"

namespace desktop {

class V4l2Webcams : public platform::WebcamService {
public:
    // The devices are devicePrefix followed by 0 to 9.
    explicit V4l2Webcams(bool simulate, std::string devicePrefix = "/dev/video");

    bool webcamPresent() override;

private:
    bool simulate_;
    std::string devicePrefix_;
};

}  // namespace desktop
