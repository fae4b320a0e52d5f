#pragma once
// The Linux system services the desktop programs give their host.

#include "platform/gtk/GtkHost.h"

namespace gtkui {

// simulateDevices (the demo build) answers the Flash and webcam checks with
// simulated devices.
HostServices makeDesktopServices(GtkWindow* window, bool simulateDevices);

}  // namespace gtkui
