#pragma once
// Camera, microphone and the list of devices for the chat site's frames only.
// WebKit asks the client for a page's camera without saying which frame wants
// it, so the decision is made in the frames themselves: every document of
// another site (a frame the chat page holds, or a page the view went to) has
// getUserMedia, getDisplayMedia and enumerateDevices taken away before its own
// scripts run, also in the blank frames it makes and reaches into. Each such
// site is logged by its origin, once.

#include <webkit2/webkit2.h>

#include <string>

namespace gtkui {

// Adds the frame script to every page of the view with this content manager;
// chatSite is the chat site's start address.
void keepDevicesFromOtherSites(WebKitUserContentManager* content, const std::string& chatSite);

}  // namespace gtkui
