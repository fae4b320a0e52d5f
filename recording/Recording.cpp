// The record button: start a screen recording of the window's chat area into
// a file the user chooses, stop it, and offer the video site's upload page.

#include "recording/Recording.h"

#include "common/WindowTwips.h"
#include "support/Log.h"
#include "support/TwipsToPixels.h"

namespace recording {

using platform::PageEvent;
using support::attempt;

namespace {
constexpr const char* kRecordCaption = "Record";
constexpr const char* kStopCaption = "Stop Rec";
}  // namespace

Recording::Recording(Services services, std::string uploadPageAddress)
    : services_(services),
      CommonDialog1(services.saveDialog),
      uploadPageAddress_(std::move(uploadPageAddress)),
      butRecord_{"SPAN", {{PageEvent::Click, [this] { click(); }, true}}} {}

void Recording::bindButton(const platform::ElementRef& element) { butRecord_.bind(element); }

std::string Recording::failedText(const std::string& why) const {
    return "The recording failed: " + why + ".\n\nWhat was recorded until then is in \"" +
           recordingFile_ + "\".";
}

void Recording::click() {
    platform::ElementCollection spans;
    attempt([&] { spans = butRecord_.element()->getElementsByTagName("SPAN"); });
    // The caption decides what a click does, not IsRecording. One click acts
    // once: further caption spans (a page may add some) are not acted on.
    for (const auto& span : spans) {
        std::string caption;
        attempt([&] { caption = span->innerText(); });
        if (caption != kRecordCaption && caption != kStopCaption) continue;
        if (caption == kRecordCaption) {
            bool started = false;
            attempt([&] { started = start(); });
            if (started) {
                IsRecording = true;
                attempt([&] { span->setInnerText(kStopCaption); });
            }
        } else {
            support::logInfo("recording: stopped");
            IsRecording = false;
            const bool hadRecorder = static_cast<bool>(Recorder);
            std::string failure;
            const bool finished = attempt([&] { Recorder->stop(); }, failure);
            Recorder.reset();
            attempt([&] { span->setInnerText(kRecordCaption); });
            if (!finished) {
                // A file that failed is not offered for upload; without a
                // recorder nothing was recorded.
                if (hadRecorder) tellFailure(failedText(failure));
                break;
            }
            auto answer = platform::MessageAnswer::No;
            attempt([&] {
                answer = services_.messageBox.ask("Do you want to upload the video to YouTube?",
                                                  platform::MessageButtons::YesNo, false,
                                                  services_.app.Title());
            });
            if (answer != platform::MessageAnswer::Yes) break;
            const std::string& page = uploadPageAddress_;
            std::string why;
            if (!attempt([&] { services_.shell.openWithDefaultHandler(page); }, why))
                support::logWarning("cannot open the upload page " + page + ": " + why);
        }
        break;
    }
}

bool Recording::start() {
    std::string fileName;
    attempt([&] { fileName = CommonDialog1.askSavePath({{"wmv File (*.wmv)", {"*.wmv"}}}); });
    if (fileName.empty()) return false;  // cancelled

    // The window's client area on the screen, inset by 2 pixels on every side.
    common::WindowTwips form;
    attempt([&] {
        form = common::windowInTwips(services_.form.geometry(), services_.screen.dotsPerInch());
    });
    auto pixels = [&](double twips) { return form.devicePixels(twips); };
    std::int32_t bw = 0, tv = 0, X = 0, Y = 0, Wd = 0, Ht = 0;
    attempt([&] { bw = support::RoundHalfEven(pixels(form.width - form.clientWidth) / 2.0); });
    attempt([&] { tv = pixels(form.height - form.clientHeight) - bw; });
    attempt([&] { X = pixels(form.left) + bw + 2; });
    attempt([&] { Y = pixels(form.top) + tv + 2; });
    attempt([&] { Wd = pixels(form.clientWidth) - 4; });
    attempt([&] { Ht = pixels(form.clientHeight) - 4; });

    // The file exactly as the user typed it (no extension is added); the
    // sounds the desktop is set up to record.
    platform::RecordingRequest request;
    request.area = {X, Y, Wd, Ht};
    request.path = fileName;

    Recorder.reset();
    std::string failure;
    // A recorder that cannot be made for this request or started is not a
    // recording, and the user is told why.
    if (!attempt(
            [&] { Recorder = services_.recorders.create(request, [this] { recorderFailed(); }); },
            failure)) {
        support::logWarning("recording: no screen recorder could be created: " + failure);
        tellFailure("The recording could not start: " + failure + ".");
        return false;
    }
    if (!attempt([&] { Recorder->start(); }, failure)) {
        support::logWarning("recording: could not start recording to " + fileName + ": " + failure);
        Recorder.reset();
        tellFailure("The recording could not start: " + failure + ".");
        return false;
    }
    support::logInfo("recording: started, " + std::to_string(Wd) + " x " + std::to_string(Ht) +
                     " pixels at " + std::to_string(X) + ", " + std::to_string(Y) + " into " +
                     fileName);
    recordingFile_ = fileName;
    return true;
}

void Recording::recorderFailed() {
    if (!IsRecording || !Recorder) return;  // already stopped
    IsRecording = false;
    std::string failure = "the recording stopped";
    attempt([&] { Recorder->stop(); }, failure);  // reports what ended it
    Recorder.reset();
    platform::ElementCollection spans;
    attempt([&] { spans = butRecord_.element()->getElementsByTagName("SPAN"); });
    for (const auto& span : spans) {
        std::string caption;
        attempt([&] { caption = span->innerText(); });
        if (caption == kStopCaption) attempt([&] { span->setInnerText(kRecordCaption); });
    }
    tellFailure(failedText(failure));
}

void Recording::stopWithLostPage() {
    // The recording so far is finished and kept; a stop that fails is told.
    if (!IsRecording) return;
    IsRecording = false;
    std::string failure;
    if (!attempt([&] { Recorder->stop(); }, failure)) tellFailure(failedText(failure));
    Recorder.reset();
}

void Recording::tellFailure(const std::string& text) {
    attempt([&] {
        services_.messageBox.ask(text, platform::MessageButtons::Ok, true, services_.app.Title());
    });
}

void Recording::stopOnClose() {
    if (!IsRecording) return;
    support::logInfo("recording: stopped as the window closes");
    attempt([&] { Recorder->stop(); });
    Recorder.reset();
}

}  // namespace recording
