// The desktop program: the GTK host with the Linux system services, and the window.

#include <cstdlib>

#include "programs/whirligigcam/DesktopProgram.h"

int main(int argc, char** argv) {
    // Without DMA-BUF a covered view does not bleed through the views above it.
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    return gtkui::runDesktopProgram(argc, argv,
                                    {"com.whirligigcam.Desktop", "whirligigcam", false});
}
