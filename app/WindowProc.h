#pragma once
// The main window's replacement window procedure: keeps the outer size at
// 670 x 570 pixels or more, and passes every message on.

#include "platform/Window.h"

namespace app {

constexpr int MinimumOuterWidth = 670;
constexpr int MinimumOuterHeight = 570;

platform::LRESULT WindowProc(const platform::WNDPROC& previous, platform::WindowHandle hw,
                             platform::UINT uMsg, platform::WPARAM wParam, platform::LPARAM lParam);

}  // namespace app
