#pragma once
// Which of WebKitGTK's renderers the program's views use, chosen before GTK
// and WebKit start (the engine reads it from the environment once).

#include <string>

namespace gtkui {

// Switches the DMA-BUF renderer off (WEBKIT_DISABLE_DMABUF_RENDERER=1) on
// engines where pages' WebCodecs work without it, and leaves WebKit's
// default elsewhere; a value the user set is kept. Returns a warning for the
// log when the user's value breaks the engine's video decoder, else "".
std::string chooseWebRenderer();

}  // namespace gtkui
