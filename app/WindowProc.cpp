#include "app/WindowProc.h"

namespace app {

platform::LRESULT WindowProc(const platform::WNDPROC& previous, platform::WindowHandle hw,
                             platform::UINT uMsg, platform::WPARAM wParam, platform::LPARAM lParam) {
    if (uMsg == platform::WM_WINDOWPOSCHANGING && lParam != 0) {
        // Raised whatever the change is (a move, a minimize): only the size fields matter.
        auto* pos = reinterpret_cast<platform::WINDOWPOS*>(lParam);
        if (pos->cx < MinimumOuterWidth) pos->cx = MinimumOuterWidth;
        if (pos->cy < MinimumOuterHeight) pos->cy = MinimumOuterHeight;
    }
    return platform::CallWindowProcA(previous, hw, uMsg, wParam, lParam);
}

}  // namespace app
