#include "platform/gtk/ResourceScheme.h"

#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/gtk/GtkApp.h"

namespace gtkui {
namespace {

std::optional<std::string> realPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved)) return std::nullopt;
    return std::string(resolved);
}

struct SchemeData {
    std::string root;
};

void serve(WebKitURISchemeRequest* request, gpointer userData) {
    auto* data = static_cast<SchemeData*>(userData);
    const gchar* escaped = webkit_uri_scheme_request_get_path(request);
    std::optional<std::string> file = resolveResource(data->root, escaped ? escaped : "");
    gchar* contents = nullptr;
    gsize length = 0;
    if (!file || !g_file_get_contents(file->c_str(), &contents, &length, nullptr)) {
        GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "not found");
        webkit_uri_scheme_request_finish_error(request, error);
        g_error_free(error);
        return;
    }
    gchar* type = g_content_type_guess(file->c_str(), reinterpret_cast<const guchar*>(contents),
                                       length, nullptr);
    gchar* mime = type ? g_content_type_get_mime_type(type) : nullptr;
    GInputStream* stream = g_memory_input_stream_new_from_data(contents, length, g_free);
    webkit_uri_scheme_request_finish(request, stream, length,
                                     mime ? mime : "application/octet-stream");
    g_object_unref(stream);
    g_free(mime);
    g_free(type);
}

}  // namespace

std::optional<std::string> resolveResource(const std::string& root,
                                           const std::string& escapedPath) {
    // Escaped separators and NUL stay refused: unescaping must not create them.
    std::unique_ptr<gchar, decltype(&g_free)> path(g_uri_unescape_string(escapedPath.c_str(), "/"),
                                                   g_free);
    if (!path) return std::nullopt;
    std::string relative = path.get();
    if (relative.find('\\') != std::string::npos) return std::nullopt;
    // No segment may be "..".
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        if (relative.compare(start, end - start, "..") == 0 && end - start == 2)
            return std::nullopt;
        start = end + 1;
    }
    std::optional<std::string> realRoot = realPath(root);
    if (!realRoot) return std::nullopt;
    std::optional<std::string> real = realPath(root + "/" + relative);
    if (!real || real->rfind(*realRoot + "/", 0) != 0) return std::nullopt;
    if (!g_file_test(real->c_str(), G_FILE_TEST_IS_REGULAR)) return std::nullopt;
    return real;
}

void registerResourceScheme(WebKitWebContext* context, const std::string& htmlRoot) {
    webkit_web_context_register_uri_scheme(
        context, ResourceScheme, serve, new SchemeData{htmlRoot},
        [](gpointer data) { delete static_cast<SchemeData*>(data); });
    webkit_security_manager_register_uri_scheme_as_secure(
        webkit_web_context_get_security_manager(context), ResourceScheme);
}

}  // namespace gtkui
