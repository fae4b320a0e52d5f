#pragma once
// The window toolkit that hosts Main, and the window services of the system
// (minimum size, owner, icons).

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

using WindowHandle = std::intptr_t;  // 0 is no window

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
    // Keeps the window's outer size at minimum or more, whoever resizes it.
    virtual void setMinimumOuterSize(WindowHandle window, OuterSize minimum) = 0;
    // The window that owns window, or 0 when it has none.
    virtual WindowHandle ownerOf(WindowHandle window) = 0;
    // Makes the program's icon iconName the window's large or small icon.
    virtual void setWindowIcon(WindowHandle window, IconSize size, const std::string& iconName) = 0;
};

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
    // The file at a path relative to the application folder, written with
    // '/' ("HTML/Style.css"), in the platform's own form.
    virtual std::string resourcePath(const std::string& relative) = 0;
    // The address of a local image as a page's style value takes it in url().
    virtual std::string resourceUrl(const std::string& relative) = 0;
};

}  // namespace platform
