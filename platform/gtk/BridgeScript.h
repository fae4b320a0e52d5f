#pragma once
// The client's script runtime inside each page, in the client's own isolated
// script world: a registry of element handles, collection reads in one round
// trip, and listeners that post page events to the client.

#include <string>

#include "platform/gtk/BridgeChannels.h"

namespace gtkui {

// Installs the runtime as globalThis.__wgR (once per page; idempotent). It
// posts page events on EventChannel.
extern const std::string RuntimeScript;
// Run in every subframe: reports the frame's completed load on FrameChannel.
extern const std::string FrameScript;

// A string as a JavaScript string literal (invalid UTF-8 is repaired).
std::string jsString(const std::string& text);

}  // namespace gtkui
