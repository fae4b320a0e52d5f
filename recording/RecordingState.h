#pragma once
// What the record button keeps: the running recording and its file, and the
// button itself, bound to the window.

#include <string>

#include "app/EventBoundRef.h"
#include "platform/Ref.h"
#include "platform/ScreenRecorder.h"

namespace recording {

struct RecordingState {
    bool IsRecording = false;
    platform::Ref<platform::ScreenRecorder> Recorder{};
    app::EventBoundRef butRecord;
    std::string recordingFile{};  // the file of the running recording
};

}  // namespace recording
