// The desktop program: the GTK host with the Linux system services, and the window.

#include "programs/whirligigcam/DesktopProgram.h"

int main(int argc, char** argv) {
    return gtkui::runDesktopProgram(argc, argv,
                                    {"com.whirligigcam.Desktop", "whirligigcam", false});
}
