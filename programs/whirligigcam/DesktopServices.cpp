#include "programs/whirligigcam/DesktopServices.h"

#include "platform/desktop/DesktopShell.h"
#include "platform/desktop/FlashObjectFactory.h"
#include "platform/desktop/GtkMessageBox.h"
#include "platform/desktop/GtkSaveDialog.h"
#include "platform/desktop/SoupAsyncReader.h"
#include "platform/desktop/V4l2CaptureService.h"
#include "platform/gtk/ChatViewPlayer.h"
#include "platform/gtk/GtkApp.h"
#include "platform/posix/LocaleCodePage.h"
#include "platform/posix/PosixTextFiles.h"
#include "platform/recorder/X11RecorderFactory.h"

// Last: Xlib's macros (None, Bool, Status) clash with names in the headers above.
#include <gdk/gdkx.h>

namespace gtkui {

namespace {

// The X window of a realized top-level window; 0 when it has none (not X11).
unsigned long x11WindowOf(GtkWindow* window) {
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window));
    return gdkWindow && GDK_IS_X11_WINDOW(gdkWindow) ? GDK_WINDOW_XID(gdkWindow) : 0;
}

}  // namespace

HostServices makeDesktopServices(GtkWindow* window, bool simulateDevices,
                                 desktop::RecordingSettings recording) {
    HostServices s;
    // The Flash player is never simulated: the bundled one stands in for a plugin.
    s.objects = std::make_unique<desktop::FlashObjectFactory>(
        false, desktop::FlashObjectFactory::defaultSearchRoots(),
        executableFolder() + "/" + PlayerFolder);
    s.capture = std::make_unique<desktop::V4l2CaptureService>(simulateDevices);
    s.reader = std::make_unique<desktop::SoupAsyncReader>();
    s.codePage = std::make_unique<posix::LocaleCodePage>();
    s.files = std::make_unique<posix::PosixTextFiles>(*s.codePage);
    s.saveDialog = std::make_unique<desktop::GtkSaveDialog>(window);
    s.messageBox = std::make_unique<desktop::GtkMessageBox>(window);
    s.shell = std::make_unique<desktop::DesktopShell>();
    // The window's own pixels: they can be read also where the screen's cannot
    // (XWayland). The sound: the chat's web processes' streams, the microphone.
    s.recorders = std::make_unique<recorder::X11RecorderFactory>(
        std::string{}, [window] { return x11WindowOf(window); },
        recorder::SoundSources{recording.chatSound, recording.microphone});
    return s;
}

}  // namespace gtkui
