#include "platform/linux/DesktopShell.h"

#include <gtk/gtk.h>
#include <strings.h>

#include <utility>

namespace desktop {

namespace {

bool launchWithGio(const std::string& uri) {
    // A launch context from the display lets the desktop show startup feedback.
    GAppLaunchContext* context = nullptr;
    if (GdkDisplay* display = gdk_display_get_default()) {
        context = G_APP_LAUNCH_CONTEXT(gdk_display_get_app_launch_context(display));
    }
    const gboolean launched = g_app_info_launch_default_for_uri(uri.c_str(), context, nullptr);
    g_clear_object(&context);
    return launched;
}

}  // namespace

DesktopShell::DesktopShell() : DesktopShell(launchWithGio) {}

DesktopShell::DesktopShell(Launcher launcher) : launcher_(std::move(launcher)) {}

std::string DesktopShell::uriFor(const std::string& file, const std::string& directory) {
    if (file.empty() || file.find('\0') != std::string::npos) return "";
    g_autofree gchar* scheme = g_uri_parse_scheme(file.c_str());
    if (scheme) return file;
    g_autofree gchar* path =
        g_path_is_absolute(file.c_str())
            ? g_strdup(file.c_str())
            : g_build_filename(directory.empty() ? "." : directory.c_str(), file.c_str(), nullptr);
    g_autofree gchar* absolute = g_canonicalize_filename(path, nullptr);
    g_autofree gchar* uri = g_filename_to_uri(absolute, nullptr, nullptr);
    return uri ? uri : "";
}

std::intptr_t DesktopShell::ShellExecuteA(platform::WindowHandle window,
                                          const std::string& operation, const std::string& file,
                                          const char* parameters, const std::string& directory,
                                          int showCommand) {
    if (!operation.empty() && strcasecmp(operation.c_str(), "open") != 0) return kNoAssociation;
    const std::string uri = uriFor(file, directory);
    if (uri.empty()) return kFileNotFound;
    return launcher_(uri) ? kOpened : kFileNotFound;
}

}  // namespace desktop
