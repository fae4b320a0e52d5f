#pragma once
// The client's script runtime inside each page, in the client's own isolated
// script world: a registry of element handles, collection reads in one round
// trip, and listeners that post page events to the client.

#include <string>

namespace gtkui {

// Name of the isolated world and of its message channels.
inline constexpr const char* ScriptWorld = "whirligig";
inline constexpr const char* EventChannel = "whirligigEvents";
inline constexpr const char* FrameChannel = "whirligigFrames";

// Installs the runtime as globalThis.__wgR (once per page; idempotent).
extern const char* const RuntimeScript;
// Run in every subframe: reports the frame's completed load on FrameChannel.
extern const char* const FrameScript;

// A string as a JavaScript string literal (invalid UTF-8 is repaired).
std::string jsString(const std::string& text);

}  // namespace gtkui
