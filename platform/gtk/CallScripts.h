#pragma once
// The scripts that give chat-site pages RTCPeerConnection: the page's own
// script (the API, in the page's world, where the site's code can use it)
// and the client's script of each frame (in the client's world, the only one
// that reaches the client). They meet through DOM events of the frame's
// window, with JSON text as their detail.

#include <string>

namespace gtkui {

// The message handler (with replies) of the client's world for calls.
inline constexpr const char* CallChannel = "whirligigCalls";

// The port of an address, the scheme's default when it names none (-1: none).
int portOfAddress(const std::string& address);

// The client's script of a frame: offers calls only when the frame's origin
// is of the chat site (scheme, registrable domain and port of chatSite).
std::string callFrameScript(const std::string& chatSite);
// The page's script: RTCPeerConnection and its family, where the engine has none.
std::string callPageScript();

}  // namespace gtkui
