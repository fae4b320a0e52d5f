#pragma once
// Never a silent black video. Where the X server holds no pixels for what is
// read (under XWayland the root window reads as zeros, without an error), a
// recording would be black from its start to its end. So a recording whose
// first second of fresh frames is wholly black (the pointer aside) is ended
// as a failure and its file removed. Frames with nothing fresh in them (the
// window minimised, the rectangle wholly outside it) do not count; the first
// frame with content ends the watch.

#include <algorithm>
#include <cmath>

#include "platform/recorder/X11Grabber.h"

namespace recorder {

class BlackStart {
public:
    explicit BlackStart(double fps) : left_(std::max(1, int(std::ceil(fps)))) {}

    // Whether frames are still to be checked.
    bool watching() const { return left_ > 0; }
    // Takes what a grab got; true when the recording has been black for a
    // whole second of fresh frames.
    bool blackAfter(Grabbed grabbed) {
        if (left_ <= 0 || grabbed == Grabbed::Nothing) return false;
        if (grabbed == Grabbed::Pixels) {
            left_ = 0;
            return false;
        }
        return --left_ == 0;
    }

private:
    int left_;
};

}  // namespace recorder
