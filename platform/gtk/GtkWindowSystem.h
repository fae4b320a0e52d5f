#pragma once
// The window services of the system on GTK: the main window's minimum size,
// its owner, and its icons.

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <map>
#include <string>

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

    // Geometry hints on the window (see WindowFrame).
    void setMinimumOuterSize(platform::WindowHandle window, platform::OuterSize minimum) override;
    // The window the main window is transient for.
    platform::WindowHandle ownerOf(platform::WindowHandle window) override;
    // The program has one icon, whatever its name; a size without a file
    // leaves the window without an icon of that size.
    void setWindowIcon(platform::WindowHandle window, platform::IconSize size,
                       const std::string& iconName) override;

private:
    GtkWindow* windowOf(platform::WindowHandle window);
    // The icon at size pixels (loaded once), or nullptr when there is no file for it.
    GdkPixbuf* icon(int size);

    GtkForm& form_;
    std::string folder_;
    std::map<int, GdkPixbuf*> icons_;  // by size; nullptr: no file
};

}  // namespace gtkui
