#include "platform/gtk/GtkApp.h"

#include <glib.h>

namespace gtkui {

std::string executableFolder() {
    g_autofree gchar* target = g_file_read_link("/proc/self/exe", nullptr);
    if (!target) return ".";
    g_autofree gchar* folder = g_path_get_dirname(target);
    return folder;
}

std::string GtkApp::resourcePath(const std::string& relative) { return folder_ + "/" + relative; }

std::string GtkApp::resourceUrl(const std::string& relative) {
    std::string path = relative;
    // The scheme serves the HTML folder itself.
    if (g_ascii_strncasecmp(path.c_str(), "HTML/", 5) == 0) path = path.substr(5);
    g_autofree gchar* escaped = g_uri_escape_string(path.c_str(), "/", FALSE);
    return std::string(ResourceScheme) + ":///" + escaped;
}

}  // namespace gtkui
