// The demo program: the desktop program with a simulated webcam (and WebKit's
// simulated camera and microphone), under an application id of its own.

#include <cstdlib>

#include "programs/whirligigcam/DesktopProgram.h"

int main(int argc, char** argv) {
    // Without DMA-BUF a covered view does not bleed through the views above it.
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    return gtkui::runDesktopProgram(argc, argv,
                                    {"com.whirligigcam.DesktopDemo", "whirligigcam-demo", true});
}
