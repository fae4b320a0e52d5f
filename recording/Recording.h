#pragma once
// The record button: starts a screen recording of the window's chat area into
// a file the user chooses, stops it, and offers the video site's upload page.
// It owns the button, the running recorder and the recording's file.

#include <string>

#include "common/EventBoundRef.h"
#include "platform/Ref.h"
#include "platform/ScreenRecorder.h"
#include "platform/Services.h"
#include "platform/Window.h"

namespace recording {

class Recording {
public:
    // What the recording uses of the platform.
    struct Services {
        platform::Form& form;
        platform::Screen& screen;
        platform::App& app;
        platform::SaveDialog& saveDialog;
        platform::RecorderFactory& recorders;
        platform::MessageBoxService& messageBox;
        platform::Shell& shell;
    };

    Recording(Services services, std::string uploadPageAddress);
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    // The record button was clicked: its caption says whether to start or stop.
    void click();
    // Asks for a file and starts the recorder; true when it runs.
    bool start();
    // The running recording ended by itself on an error.
    void recorderFailed();
    // The chat page's web process died: a running recording is finished and kept.
    void stopWithLostPage();
    void stopOnClose();

    // The chat page's record button; binding fails when the element is not one.
    void bindButton(const platform::ElementRef& element);
    bool buttonBound() const { return butRecord_.bound(); }
    void releaseButton() { butRecord_.clear(); }

private:
    // Tells the user, with an OK box, why recording failed.
    void tellFailure(const std::string& text);
    // "The recording failed: why", and where the part recorded so far is.
    std::string failedText(const std::string& why) const;

    Services services_;
    platform::SaveDialog& CommonDialog1;
    const std::string uploadPageAddress_;

    bool IsRecording = false;
    platform::Ref<platform::ScreenRecorder> Recorder{};
    common::EventBoundRef butRecord_;
    std::string recordingFile_{};  // the file of the running recording
};

}  // namespace recording
