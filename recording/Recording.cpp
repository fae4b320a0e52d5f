// The record button: start a screen recording of the window's chat area into
// a file the user chooses, stop it, and offer the video site's upload page.

#include "app/Main.h"
#include "platform/Log.h"
#include "recording/TwipsToPixels.h"

namespace app {

using platform::attempt;
using recording::RoundHalfEven;

namespace {
constexpr const char* kRecordCaption = "Record";
constexpr const char* kStopCaption = "Stop Rec";
}  // namespace

bool Main::butRecord_onclick() {
    platform::ElementCollection spans;
    attempt([&] { spans = butRecord.element()->getElementsByTagName("SPAN"); });
    // The caption decides what a click does, not IsRecording. One click acts
    // once: further caption spans (a page may add some) are not acted on.
    for (const auto& span : spans) {
        std::string caption;
        attempt([&] { caption = span->innerText(); });
        if (caption != kRecordCaption && caption != kStopCaption) continue;
        if (caption == kRecordCaption) {
            bool started = false;
            attempt([&] { started = StartRecording(); });
            if (started) {
                IsRecording = true;
                attempt([&] { span->setInnerText(kStopCaption); });
            }
        } else if (caption == kStopCaption) {
            platform::logInfo("recording: stopped");
            IsRecording = false;
            attempt([&] { Recorder->StopRecord(); });
            Recorder.reset();
            attempt([&] { span->setInnerText(kRecordCaption); });
            int answer = 0;
            attempt([&] {
                answer = host_.messageBox().MsgBox("Do you want to upload the video to YouTube?",
                                                   platform::MB_YESNO, host_.app().Title());
            });
            if (answer == platform::IDYES) {
                attempt([&] {
                    host_.shell().ShellExecuteA(host_.form().hWnd(), "open",
                                                settings_.uploadPageAddress, nullptr,
                                                host_.app().Path(), platform::SW_SHOWNORMAL);
                });
            }
        }
        break;
    }
    return false;
}

bool Main::StartRecording() {
    attempt([&] { CommonDialog1.setFilter("wmv File (*.wmv)|*.wmv"); });
    attempt([&] { CommonDialog1.ShowSave(); });
    std::string fileName;
    attempt([&] { fileName = CommonDialog1.FileName(); });
    if (fileName.empty()) return false;  // cancelled

    // The window's client area on the screen, inset by 2 pixels on every side.
    platform::Form& form = host_.form();
    double perPixel = 0;
    attempt([&] { perPixel = host_.screen().TwipsPerPixelX(); });
    auto pixels = [&](double twips) {
        return recording::TwipsToPixels(RoundHalfEven(twips), perPixel);
    };
    std::int32_t bw = 0, tv = 0, X = 0, Y = 0, Wd = 0, Ht = 0;
    attempt([&] { bw = RoundHalfEven(pixels(form.Width() - form.ScaleWidth()) / 2.0); });
    attempt([&] { tv = pixels(form.Height() - form.ScaleHeight()) - bw; });
    attempt([&] { X = pixels(form.Left()) + bw + 2; });
    attempt([&] { Y = pixels(form.Top()) + tv + 2; });
    attempt([&] { Wd = pixels(form.ScaleWidth()) - 4; });
    attempt([&] { Ht = pixels(form.ScaleHeight()) - 4; });

    Recorder.reset();
    attempt([&] { Recorder = host_.recorders().create(); });
    // A recorder that cannot be created or started is not a recording.
    if (!Recorder) {
        platform::logWarning("recording: no screen recorder could be created");
        return false;
    }

    attempt([&] { Recorder->HighlightClicks(0); });
    attempt([&] { Recorder->StartDelay(0); });
    attempt([&] { Recorder->DrawPointer(true); });
    attempt([&] { Recorder->AudioSource(0); });
    attempt([&] { Recorder->FrameRate(30.0f); });
    attempt([&] { Recorder->PadOffscreen(true); });
    attempt([&] { Recorder->SourceKind(1); });
    attempt([&] { Recorder->OutputFile(CommonDialog1.FileName()); });
    attempt([&] { Recorder->CaptureTop(Y); });
    attempt([&] { Recorder->CaptureLeft(X); });
    attempt([&] { Recorder->CaptureWidth(Wd); });
    attempt([&] { Recorder->CaptureHeight(Ht); });
    if (!attempt([&] { Recorder->StartRecord(); })) {
        platform::logWarning("recording: could not start recording to " + fileName);
        Recorder.reset();
        return false;
    }
    platform::logInfo("recording: started, " + std::to_string(Wd) + " x " + std::to_string(Ht) +
                      " pixels at " + std::to_string(X) + ", " + std::to_string(Y) + " into " +
                      fileName);
    return true;
}

void Main::StopRecordingOnClose() {
    if (!IsRecording) return;
    platform::logInfo("recording: stopped as the window closes");
    attempt([&] { Recorder->StopRecord(); });
    Recorder.reset();
}

}  // namespace app
