// The desktop program: the GTK host with the Linux system services, and the
// window. WHIRLIGIG_SIMULATE_DEVICES (the demo build) answers the webcam check
// with a simulated webcam.

#include <cstdlib>

#include "platform/gtk/GtkAppMain.h"

int main(int argc, char** argv) {
    // Without DMA-BUF a covered view does not bleed through the views above it.
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
#if WHIRLIGIG_SIMULATE_DEVICES
    return gtkui::runDesktopProgram(argc, argv,
                                    {"com.whirligigcam.DesktopDemo", "whirligigcam-demo", true});
#else
    return gtkui::runDesktopProgram(argc, argv,
                                    {"com.whirligigcam.Desktop", "whirligigcam", false});
#endif
}
