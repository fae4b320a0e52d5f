#pragma once
// The record button: starts a screen recording of the window's chat area into
// a file the user chooses, stops it, and offers the video site's upload page.
// It owns the button, the running recorder and the recording's file.

#include <functional>
#include <string>

#include "app/EventBoundRef.h"
#include "platform/Host.h"
#include "platform/Ref.h"
#include "platform/ScreenRecorder.h"

namespace recording {

class Recording {
public:
    // What the window hands the recording: its handlers for the button's
    // click and for the recorder's news that it failed.
    struct Calls {
        std::function<void()> recordClicked;
        std::function<void()> recorderFailed;
    };

    Recording(platform::Host& host, platform::SaveDialog& saveDialog, std::string uploadPageAddress,
              Calls calls);
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

    platform::Host& host_;
    platform::SaveDialog& CommonDialog1;
    const std::string uploadPageAddress_;
    Calls calls_;

    bool IsRecording = false;
    platform::Ref<platform::ScreenRecorder> Recorder{};
    app::EventBoundRef butRecord_;
    std::string recordingFile_{};  // the file of the running recording
};

}  // namespace recording
