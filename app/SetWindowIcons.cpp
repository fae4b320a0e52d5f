#include "app/SetWindowIcons.h"

namespace app {

using namespace platform;

void SetWindowIcons(WindowSystem& system, WindowHandle window, const std::string& iconResourceName,
                    bool alsoTopOwner) {
    WindowHandle top = window;
    if (alsoTopOwner) {
        // A window without owner is its own topmost owner.
        for (WindowHandle owner = system.ownerOf(top); owner != 0; owner = system.ownerOf(top))
            top = owner;
    }
    for (IconSize size : {IconSize::Large, IconSize::Small}) {
        if (alsoTopOwner) system.setWindowIcon(top, size, iconResourceName);
        system.setWindowIcon(window, size, iconResourceName);
    }
}

}  // namespace app
