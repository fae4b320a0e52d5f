// The demo program: the desktop program with a simulated webcam (and WebKit's
// simulated camera and microphone), under an application id of its own.

#include "programs/whirligigcam/DesktopProgram.h"

int main(int argc, char** argv) {
    return gtkui::runDesktopProgram(argc, argv,
                                    {"com.whirligigcam.DesktopDemo", "whirligigcam-demo", true});
}
