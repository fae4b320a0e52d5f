#include "platform/desktop/DesktopShell.h"

#include <gtk/gtk.h>

#include <utility>

#include "platform/desktop/MailAddress.h"

namespace desktop {

namespace {

void launchWithGio(const std::string& uri) {
    // A launch context from the display lets the desktop show startup feedback.
    GAppLaunchContext* context = nullptr;
    if (GdkDisplay* display = gdk_display_get_default()) {
        context = G_APP_LAUNCH_CONTEXT(gdk_display_get_app_launch_context(display));
    }
    GError* error = nullptr;
    const gboolean launched = g_app_info_launch_default_for_uri(uri.c_str(), context, &error);
    g_clear_object(&context);
    if (launched) return;
    const std::string why = error ? error->message : "the desktop has no handler for it";
    g_clear_error(&error);
    throw support::Failure(why);
}

}  // namespace

DesktopShell::DesktopShell() : DesktopShell(launchWithGio) {}

DesktopShell::DesktopShell(Launcher launcher) : launcher_(std::move(launcher)) {}

std::string DesktopShell::uriFor(const std::string& target) {
    if (target.empty() || target.find('\0') != std::string::npos) return "";
    g_autofree gchar* scheme = g_uri_parse_scheme(target.c_str());
    if (scheme) return target;
    if (!g_path_is_absolute(target.c_str())) return "";
    g_autofree gchar* absolute = g_canonicalize_filename(target.c_str(), nullptr);
    g_autofree gchar* uri = g_filename_to_uri(absolute, nullptr, nullptr);
    return uri ? uri : "";
}

void DesktopShell::openWithDefaultHandler(const std::string& target) {
    std::string uri = uriFor(target);
    if (uri.empty()) throw support::Failure("nothing to open in \"" + target + "\"");
    if (g_strcmp0(g_uri_peek_scheme(uri.c_str()), "mailto") == 0) {
        uri = mailAddressToOpen(uri);
        if (uri.empty()) throw support::Failure("the mail address is too long");
    }
    launcher_(uri);
}

}  // namespace desktop
