#include "app/SetWindowIcons.h"

namespace app {

using namespace platform;

void SetWindowIcons(WindowSystem& system, WindowHandle window, const std::string& iconResourceName,
                    bool alsoTopOwner) {
    WindowHandle top = window;
    if (alsoTopOwner) {
        // A window without owner is its own topmost owner.
        for (WindowHandle owner = system.GetWindow(top, GW_OWNER); owner != 0;
             owner = system.GetWindow(top, GW_OWNER))
            top = owner;
    }

    auto setIcon = [&](WPARAM which, int cxMetric, int cyMetric) {
        IconHandle icon = system.LoadImageA(iconResourceName, IMAGE_ICON,
                                            system.GetSystemMetrics(cxMetric),
                                            system.GetSystemMetrics(cyMetric), LR_SHARED);
        if (alsoTopOwner) system.SendMessageA(top, WM_SETICON, which, icon);
        system.SendMessageA(window, WM_SETICON, which, icon);
    };
    setIcon(ICON_BIG, SM_CXICON, SM_CYICON);
    setIcon(ICON_SMALL, SM_CXSMICON, SM_CYSMICON);
}

}  // namespace app
