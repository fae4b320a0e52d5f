#include "platform/gtk/DesktopServices.h"

#include "platform/linux/DesktopShell.h"
#include "platform/linux/FlashObjectFactory.h"
#include "platform/linux/GtkMessageBox.h"
#include "platform/linux/GtkSaveDialog.h"
#include "platform/linux/SoupAsyncReader.h"
#include "platform/linux/V4l2CaptureService.h"
#include "platform/posix/LocaleCodePage.h"
#include "platform/posix/PosixTextFiles.h"
#include "platform/recorder/X11RecorderFactory.h"

namespace gtkui {

HostServices makeDesktopServices(GtkWindow* window, bool simulateDevices) {
    HostServices s;
    s.objects = std::make_unique<desktop::FlashObjectFactory>(simulateDevices);
    s.capture = std::make_unique<desktop::V4l2CaptureService>(simulateDevices);
    s.reader = std::make_unique<desktop::SoupAsyncReader>();
    s.codePage = std::make_unique<posix::LocaleCodePage>();
    s.files = std::make_unique<posix::PosixTextFiles>(*s.codePage);
    s.saveDialog = std::make_unique<desktop::GtkSaveDialog>(window);
    s.messageBox = std::make_unique<desktop::GtkMessageBox>(window);
    s.shell = std::make_unique<desktop::DesktopShell>();
    s.recorders = std::make_unique<recorder::X11RecorderFactory>();
    return s;
}

}  // namespace gtkui
