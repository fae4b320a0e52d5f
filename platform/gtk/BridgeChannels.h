#pragma once
// The names the client and its page scripts share: the isolated script world
// the scripts run in, and the message channels (WebKit script message
// handlers) they post to. The scripts of BridgeScript are built from them.

#include <string>

namespace gtkui {

inline constexpr const char* ScriptWorld = "whirligig";
// The runtime's page events.
inline constexpr const char* EventChannel = "whirligigEvents";
// Completed loads of subframes.
inline constexpr const char* FrameChannel = "whirligigFrames";

// The user content manager's signal that delivers a channel's messages.
inline std::string messageSignal(const char* channel) {
    return std::string("script-message-received::") + channel;
}

}  // namespace gtkui
