#pragma once
// The window services of the system on GTK: the main window's minimum size,
// its owner, icon sizes and icons, and window messages.

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <map>
#include <string>
#include <vector>

#include "platform/Window.h"
#include "platform/gtk/GtkForm.h"

namespace gtkui {

class GtkWindowSystem : public platform::WindowSystem {
public:
    // Icons come from <appFolder>/icons/whirligigcam-<size>.png.
    GtkWindowSystem(GtkForm& form, std::string appFolder);
    ~GtkWindowSystem() override;
    GtkWindowSystem(const GtkWindowSystem&) = delete;
    GtkWindowSystem& operator=(const GtkWindowSystem&) = delete;

    platform::WNDPROC installWindowProcedure(platform::WindowHandle window,
                                             platform::WNDPROC procedure,
                                             platform::OuterSize minimum) override;
    platform::WindowHandle GetWindow(platform::WindowHandle window,
                                     platform::UINT command) override;
    int GetSystemMetrics(int index) override;
    platform::IconHandle LoadImageA(const std::string& name, platform::UINT type, int cx, int cy,
                                    platform::UINT flags) override;
    platform::LRESULT SendMessageA(platform::WindowHandle window, platform::UINT message,
                                   platform::WPARAM wParam, platform::LPARAM lParam) override;

private:
    GdkPixbuf* loadIcon(int size);
    GdkPixbuf* pixbuf(platform::IconHandle icon) const;
    void updateWindowIcons();

    GtkForm& form_;
    std::string folder_;
    std::vector<GdkPixbuf*> icons_;  // handle = index + 1
    std::map<std::pair<int, int>, platform::IconHandle> shared_;
    platform::IconHandle big_ = 0, small_ = 0;
};

}  // namespace gtkui
