#pragma once
// The window toolkit that hosts Main, and the window services of the system
// (window procedure and minimum size, owner, icons).

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

using WindowHandle = std::intptr_t;  // 0 is no window
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT = std::uint32_t;

// A window procedure: every message of the window passes through it.
using WNDPROC = std::function<LRESULT(WindowHandle, UINT, WPARAM, LPARAM)>;

constexpr UINT WM_WINDOWPOSCHANGING = 0x0046;

// A proposed change of a window's position and outer size, in pixels. The
// window procedure may change it before it is applied.
struct WINDOWPOS {
    WindowHandle hwnd = 0;
    WindowHandle hwndInsertAfter = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t cx = 0;
    std::int32_t cy = 0;
    std::uint32_t flags = 0;
};

// The two icons of a window: the large one (task switcher) and the small
// one (title bar, task bar), each at the size the desktop uses for it.
enum class IconSize { Large, Small };

// A window's outer size, frame included, in pixels.
struct OuterSize {
    int width = 0;
    int height = 0;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // Makes procedure the window's window procedure and returns the one it
    // replaces (empty when there was none). The procedure keeps the outer
    // size at minimum or more: a toolkit whose windows get no messages never
    // calls it and sets that minimum on the window instead.
    virtual WNDPROC installWindowProcedure(WindowHandle window, WNDPROC procedure,
                                           OuterSize minimum) = 0;
    // The window that owns window, or 0 when it has none.
    virtual WindowHandle ownerOf(WindowHandle window) = 0;
    // Makes the program's icon iconName the window's large or small icon.
    virtual void setWindowIcon(WindowHandle window, IconSize size, const std::string& iconName) = 0;
};

inline LRESULT CallWindowProcA(const WNDPROC& previous, WindowHandle window, UINT message,
                               WPARAM wParam, LPARAM lParam) {
    return previous ? previous(window, message, wParam, lParam) : 0;
}

// The window's own events, raised on the user-interface thread.
struct FormEvents {
    std::function<void()> Load;            // once, before the window is first shown
    std::function<void(bool& cancel)> Unload;  // the window is closing
    std::function<void()> Resize;          // first show, then every client-size change
};

// The main window as its toolkit shows it. Measures are in twips.
class Form {
public:
    virtual ~Form() = default;
    virtual void setEvents(FormEvents events) = 0;
    virtual double ScaleWidth() = 0;  // client area
    virtual double ScaleHeight() = 0;
    virtual double Left() = 0;  // outer rectangle
    virtual double Top() = 0;
    virtual double Width() = 0;
    virtual double Height() = 0;
    virtual void setHeight(double twips) = 0;
    virtual WindowHandle hWnd() = 0;
    // Asks for the window to be unloaded: Form_Unload runs, then the window goes.
    virtual void unload() = 0;
};

// A window timer. While enabled it raises its tick every interval.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() = 0;
    virtual void setHandler(std::function<void()> tick) = 0;
};

class Screen {
public:
    virtual ~Screen() = default;
    virtual double TwipsPerPixelX() = 0;
};

// The application: its folder, title and resource addressing.
class App {
public:
    virtual ~App() = default;
    // The executable's folder, without a trailing separator.
    virtual std::string Path() = 0;
    virtual std::string Title() = 0;
    // The file at the application folder followed by a relative path that
    // begins "\HTML\", in the platform's own form.
    virtual std::string resourcePath(const std::string& relative) = 0;
    // The address of a local image as a page's style value takes it in url().
    virtual std::string resourceUrl(const std::string& relative) = 0;
};

}  // namespace platform
