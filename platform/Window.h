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

// Where the main window is, in the desktop's logical pixels. left and top
// place the outer rectangle as if its frame were a title bar on top and
// borders of one width on the other three sides (the client area lies
// (width - clientWidth) / 2 right of left), so they can fall on half a pixel.
// Before the window is shown they are the position it will take.
struct WindowGeometry {
    double left = 0;
    double top = 0;
    int width = 0;  // outer, frame included
    int height = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    int scale = 1;  // device pixels per logical pixel
};

// The main window as its toolkit shows it.
class Form {
public:
    virtual ~Form() = default;
    virtual void setEvents(FormEvents events) = 0;
    virtual WindowGeometry geometry() = 0;
    // Makes the outer height, frame included, this many logical pixels.
    virtual void setOuterHeight(int pixels) = 0;
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
    // Logical pixels per inch, as the desktop's fonts are sized (96 unless set).
    virtual double dotsPerInch() = 0;
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
