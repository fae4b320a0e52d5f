#pragma once
// The Linux system services the desktop programs give their host.

#include "platform/gtk/GtkHost.h"

namespace gtkui {

// simulateDevices (the demo build) answers the webcam check with a simulated
// webcam. The Flash check always looks for a real player: an installed plugin,
// else the one bundled beside the executable.
HostServices makeDesktopServices(GtkWindow* window, bool simulateDevices);

}  // namespace gtkui
