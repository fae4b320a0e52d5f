#pragma once
// The Linux system services the desktop programs give their host.

#include <string>

#include "platform/desktop/SettingsFile.h"
#include "platform/gtk/GtkHost.h"

namespace gtkui {

// simulateDevices (the demo build) answers the webcam check with a simulated
// webcam. The Flash check always looks for a real player: an installed plugin,
// else the one bundled beside the executable. recording: the sounds the
// recordings carry (the chat's, the microphone); chatSink: the name of the
// chat's own sink (see ChatSoundSink), none when there is none.
HostServices makeDesktopServices(GtkWindow* window, bool simulateDevices,
                                 desktop::RecordingSettings recording = {},
                                 std::string chatSink = {});

}  // namespace gtkui
