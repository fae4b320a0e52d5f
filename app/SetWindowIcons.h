#pragma once
// Sets a window's large and small icon from a named icon of the program, and
// optionally those of its topmost owner window too: the large icon first,
// each time to the owner before the window.

#include <string>

#include "platform/Window.h"

namespace app {

void SetWindowIcons(platform::WindowSystem& system, platform::WindowHandle window,
                    const std::string& iconResourceName, bool alsoTopOwner);

}  // namespace app
