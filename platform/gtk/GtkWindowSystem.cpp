#include "platform/gtk/GtkWindowSystem.h"

#include <gdk/gdkx.h>

#include <vector>

namespace gtkui {

namespace {

constexpr int kLargeIcon = 32;
constexpr int kSmallIcon = 16;
// Task switchers show a bigger icon still: from its own file, else the large one scaled.
constexpr int kSwitcherIcon = 48;

platform::WindowHandle handleOf(GtkWindow* window) {
    GdkWindow* gdkWindow = window ? gtk_widget_get_window(GTK_WIDGET(window)) : nullptr;
    if (!gdkWindow || !GDK_IS_X11_WINDOW(gdkWindow)) return 0;
    return static_cast<platform::WindowHandle>(GDK_WINDOW_XID(gdkWindow));
}

}  // namespace

GtkWindowSystem::GtkWindowSystem(GtkForm& form, std::string appFolder)
    : form_(form), folder_(std::move(appFolder)) {}

GtkWindowSystem::~GtkWindowSystem() {
    for (auto& [size, icon] : icons_)
        if (icon) g_object_unref(icon);
}

void GtkWindowSystem::setMinimumOuterSize(platform::WindowHandle window,
                                          platform::OuterSize minimum) {
    if (window == 0 || window != form_.hWnd() || form_.gone())
        throw support::Failure("no such window");
    form_.setMinimumOuterSize(minimum);
}

platform::WindowHandle GtkWindowSystem::ownerOf(platform::WindowHandle window) {
    if (window != form_.hWnd() || form_.gone()) return 0;
    return handleOf(gtk_window_get_transient_for(form_.window()));
}

GtkWindow* GtkWindowSystem::windowOf(platform::WindowHandle window) {
    if (form_.gone() || window == 0) return nullptr;
    if (window == form_.hWnd()) return form_.window();
    GtkWindow* owner = gtk_window_get_transient_for(form_.window());
    return window == handleOf(owner) ? owner : nullptr;
}

GdkPixbuf* GtkWindowSystem::icon(int size) {
    auto found = icons_.find(size);
    if (found != icons_.end()) return found->second;
    const std::string path = folder_ + "/icons/whirligigcam-" + std::to_string(size) + ".png";
    GdkPixbuf* loaded = nullptr;
    if (g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR))
        loaded = gdk_pixbuf_new_from_file_at_size(path.c_str(), size, size, nullptr);
    if (loaded && (gdk_pixbuf_get_width(loaded) != size || gdk_pixbuf_get_height(loaded) != size)) {
        GdkPixbuf* scaled = gdk_pixbuf_scale_simple(loaded, size, size, GDK_INTERP_BILINEAR);
        g_object_unref(loaded);
        loaded = scaled;
    }
    if (!loaded && size == kSwitcherIcon) {
        if (GdkPixbuf* large = icon(kLargeIcon))
            loaded = gdk_pixbuf_scale_simple(large, size, size, GDK_INTERP_BILINEAR);
    }
    icons_[size] = loaded;
    return loaded;
}

// The window manager picks from the window's icon list: each call replaces
// only the entries of its own icon (the large one comes in two sizes).
void GtkWindowSystem::setWindowIcon(platform::WindowHandle window, platform::IconSize size,
                                    const std::string& iconName) {
    GtkWindow* target = windowOf(window);
    if (!target) throw support::Failure("no such window");
    if (iconName.empty()) throw support::Failure("no icon name");
    const bool large = size == platform::IconSize::Large;
    auto replaced = [&](int width) {
        return large ? width == kLargeIcon || width == kSwitcherIcon : width == kSmallIcon;
    };
    GList* list = nullptr;
    GList* current = gtk_window_get_icon_list(target);
    for (GList* i = current; i; i = i->next)
        if (!replaced(gdk_pixbuf_get_width(GDK_PIXBUF(i->data))))
            list = g_list_append(list, g_object_ref(i->data));
    g_list_free(current);
    const std::vector<int> sizes =
        large ? std::vector<int>{kLargeIcon, kSwitcherIcon} : std::vector<int>{kSmallIcon};
    for (int pixels : sizes)
        if (GdkPixbuf* found = icon(pixels)) list = g_list_append(list, g_object_ref(found));
    gtk_window_set_icon_list(target, list);
    g_list_free_full(list, g_object_unref);
}

}  // namespace gtkui
