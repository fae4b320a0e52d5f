// The desktop program: the GTK host with the Linux system services, and the
// window. WHIRLIGIG_SIMULATE_DEVICES (the demo build) answers the Flash and
// webcam checks with simulated devices.

#include "app/Main.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

#include "platform/gtk/GtkHost.h"
#include "platform/linux/DesktopShell.h"
#include "platform/linux/FlashObjectFactory.h"
#include "platform/linux/GtkMessageBox.h"
#include "platform/linux/GtkSaveDialog.h"
#include "platform/linux/SoupAsyncReader.h"
#include "platform/linux/V4l2CaptureService.h"
#include "platform/posix/LocaleCodePage.h"
#include "platform/posix/PosixTextFiles.h"
#include "platform/recorder/X11RecorderFactory.h"

namespace {
constexpr bool kSimulateDevices = WHIRLIGIG_SIMULATE_DEVICES != 0;
}  // namespace

int main(int argc, char** argv) {
    // Without DMA-BUF a covered view does not bleed through the views above it.
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    // The window must know its own position and read its own pixels: X11 only.
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "Whirligigcam Desktop needs an X11 display and none was found.\n");
        return 1;
    }
    gtkui::GtkHost host([](GtkWindow* window) {
        gtkui::HostServices s;
        s.objects = std::make_unique<desktop::FlashObjectFactory>(kSimulateDevices);
        s.capture = std::make_unique<desktop::V4l2CaptureService>(kSimulateDevices);
        s.reader = std::make_unique<desktop::SoupAsyncReader>();
        s.codePage = std::make_unique<posix::LocaleCodePage>();
        s.files = std::make_unique<posix::PosixTextFiles>(*s.codePage);
        s.saveDialog = std::make_unique<desktop::GtkSaveDialog>(window);
        s.messageBox = std::make_unique<desktop::GtkMessageBox>(window);
        s.shell = std::make_unique<desktop::DesktopShell>();
        s.recorders = std::make_unique<recorder::X11RecorderFactory>();
        return s;
    });
    app::Main main(host);
    host.run();
    return 0;
}
