#pragma once
// Everything the main window needs from its platform, gathered in one place.
// Each backend (in-memory, GTK) provides one Host.

#include "platform/Browser.h"
#include "platform/ScreenRecorder.h"
#include "platform/Services.h"
#include "platform/Window.h"

namespace platform {

class Host {
public:
    virtual ~Host() = default;
    virtual Form& form() = 0;
    virtual BrowserView& WB() = 0;
    virtual BrowserView& wbload() = 0;
    virtual BrowserView& wbstat() = 0;
    virtual Timer& TimerResize() = 0;
    // Ticks once a second while enabled: the chat page's deadline.
    virtual Timer& ChatPageDeadline() = 0;
    virtual WindowSystem& windows() = 0;
    virtual App& app() = 0;
    virtual Screen& screen() = 0;
    virtual FlashPlayerService& flashPlayer() = 0;
    virtual WebcamService& webcam() = 0;
    virtual AsyncReader& reader() = 0;
    virtual CodePage& codePage() = 0;
    virtual TextFiles& files() = 0;
    virtual SaveDialog& CommonDialog1() = 0;
    virtual MessageBoxService& messageBox() = 0;
    virtual Shell& shell() = 0;
    virtual RecorderFactory& recorders() = 0;
};

}  // namespace platform
