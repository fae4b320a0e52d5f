#include "platform/gtk/GtkWindowSystem.h"

#include <gdk/gdkx.h>

namespace gtkui {

GtkWindowSystem::GtkWindowSystem(GtkForm& form, std::string appFolder)
    : form_(form), folder_(std::move(appFolder)) {}

GtkWindowSystem::~GtkWindowSystem() {
    for (GdkPixbuf* icon : icons_) g_object_unref(icon);
}

// GTK windows get no messages: the minimum the procedure would keep becomes
// the window's own.
platform::WNDPROC GtkWindowSystem::installWindowProcedure(platform::WindowHandle window,
                                                          platform::WNDPROC,
                                                          platform::OuterSize minimum) {
    if (window == 0 || window != form_.hWnd() || form_.gone())
        throw platform::Failure("no such window");
    form_.setMinimumOuterSize(minimum);
    return {};
}

platform::WindowHandle GtkWindowSystem::GetWindow(platform::WindowHandle window,
                                                  platform::UINT command) {
    if (command != platform::GW_OWNER || window != form_.hWnd() || form_.gone()) return 0;
    GtkWindow* owner = gtk_window_get_transient_for(form_.window());
    if (!owner) return 0;
    GdkWindow* gdkOwner = gtk_widget_get_window(GTK_WIDGET(owner));
    if (!gdkOwner || !GDK_IS_X11_WINDOW(gdkOwner)) return 0;
    return static_cast<platform::WindowHandle>(GDK_WINDOW_XID(gdkOwner));
}

int GtkWindowSystem::GetSystemMetrics(int index) {
    switch (index) {
        case platform::SM_CXICON:
        case platform::SM_CYICON:
            return 32;
        case platform::SM_CXSMICON:
        case platform::SM_CYSMICON:
            return 16;
        default:
            return 0;
    }
}

GdkPixbuf* GtkWindowSystem::loadIcon(int size) {
    std::string path = folder_ + "/icons/whirligigcam-" + std::to_string(size) + ".png";
    if (!g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR)) return nullptr;
    return gdk_pixbuf_new_from_file_at_size(path.c_str(), size, size, nullptr);
}

platform::IconHandle GtkWindowSystem::LoadImageA(const std::string& name, platform::UINT type,
                                                 int cx, int cy, platform::UINT flags) {
    // The program has one icon resource, in several sizes.
    if (type != platform::IMAGE_ICON || name.empty() || cx <= 0 || cy <= 0 || cx > 1024 ||
        cy > 1024)
        return 0;
    auto key = std::make_pair(cx, cy);
    if (flags & platform::LR_SHARED) {
        auto found = shared_.find(key);
        if (found != shared_.end()) return found->second;
    }
    GdkPixbuf* icon = loadIcon(cx);
    if (!icon) return 0;
    if (gdk_pixbuf_get_width(icon) != cx || gdk_pixbuf_get_height(icon) != cy) {
        GdkPixbuf* scaled = gdk_pixbuf_scale_simple(icon, cx, cy, GDK_INTERP_BILINEAR);
        g_object_unref(icon);
        icon = scaled;
    }
    icons_.push_back(icon);
    platform::IconHandle handle = static_cast<platform::IconHandle>(icons_.size());
    if (flags & platform::LR_SHARED) shared_[key] = handle;
    return handle;
}

GdkPixbuf* GtkWindowSystem::pixbuf(platform::IconHandle icon) const {
    if (icon <= 0 || static_cast<size_t>(icon) > icons_.size()) return nullptr;
    return icons_[icon - 1];
}

platform::LRESULT GtkWindowSystem::SendMessageA(platform::WindowHandle window,
                                                platform::UINT message, platform::WPARAM wParam,
                                                platform::LPARAM lParam) {
    if (message != platform::WM_SETICON || window != form_.hWnd() || form_.gone()) return 0;
    platform::IconHandle icon = static_cast<platform::IconHandle>(lParam);
    platform::IconHandle previous = 0;
    if (wParam == platform::ICON_BIG) {
        previous = big_;
        big_ = pixbuf(icon) ? icon : 0;
    } else if (wParam == platform::ICON_SMALL) {
        previous = small_;
        small_ = pixbuf(icon) ? icon : 0;
    } else {
        return 0;
    }
    updateWindowIcons();
    return previous;
}

void GtkWindowSystem::updateWindowIcons() {
    // The window manager picks from the list: the small and the big icon, and
    // a 48 px one for task switchers (from the icon folder, else the big one scaled).
    GList* list = nullptr;
    GdkPixbuf* small = pixbuf(small_);
    GdkPixbuf* big = pixbuf(big_);
    if (small) list = g_list_append(list, g_object_ref(small));
    if (big) list = g_list_append(list, g_object_ref(big));
    GdkPixbuf* large = loadIcon(48);
    if (!large && (big || small))
        large = gdk_pixbuf_scale_simple(big ? big : small, 48, 48, GDK_INTERP_BILINEAR);
    if (large) list = g_list_append(list, large);
    gtk_window_set_icon_list(form_.window(), list);
    g_list_free_full(list, g_object_unref);
}

}  // namespace gtkui
