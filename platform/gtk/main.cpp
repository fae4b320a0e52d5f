// The desktop program: the GTK host with the Linux system services, and the
// window. WHIRLIGIG_SIMULATE_DEVICES (the demo build) answers the Flash and
// webcam checks with simulated devices.

#include "app/Main.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

#include "platform/gtk/DesktopServices.h"
#include "platform/gtk/OrderlyEnd.h"

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
    gtkui::GtkHost host(
        [](GtkWindow* window) { return gtkui::makeDesktopServices(window, kSimulateDevices); });
    app::Main main(host);
    gtkui::OrderlyEnd orderlyEnd(host);
    host.run();
    return 0;
}
