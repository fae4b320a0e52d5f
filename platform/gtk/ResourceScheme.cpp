#include "platform/gtk/ResourceScheme.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "support/Split.h"
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
    std::string playerRoot;
};

bool endsWith(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void fail(WebKitURISchemeRequest* request) {
    g_autoptr(GError) error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "not found");
    webkit_uri_scheme_request_finish_error(request, error);
}

void serve(WebKitURISchemeRequest* request, gpointer userData) {
    auto* data = static_cast<SchemeData*>(userData);
    const gchar* escapedPath = webkit_uri_scheme_request_get_path(request);
    std::string escaped = escapedPath ? escapedPath : "";
    // The Flash player's files live in a folder of their own, under a path prefix.
    const bool player = escaped.rfind(PlayerPathPrefix, 0) == 0;
    std::optional<std::string> file =
        player ? resolveResource(data->playerRoot, escaped.substr(std::strlen(PlayerPathPrefix)))
               : resolveResource(data->root, escaped);
    gchar* contents = nullptr;
    gsize length = 0;
    if (!file || !g_file_get_contents(file->c_str(), &contents, &length, nullptr)) {
        fail(request);
        return;
    }
    std::string mime = resourceMimeType(*file);
    if (mime.empty()) {
        g_autofree gchar* type = g_content_type_guess(
            file->c_str(), reinterpret_cast<const guchar*>(contents), length, nullptr);
        g_autofree gchar* guessed = type ? g_content_type_get_mime_type(type) : nullptr;
        mime = guessed ? guessed : "application/octet-stream";
    }
    g_autoptr(GInputStream) stream = g_memory_input_stream_new_from_data(contents, length, g_free);
    g_autoptr(WebKitURISchemeResponse) response = webkit_uri_scheme_response_new(stream, length);
    webkit_uri_scheme_response_set_content_type(response, mime.c_str());
    if (player) {
        // The player fetches its WebAssembly from the page's origin (the chat
        // site, over http): without this header the fetch is refused. Only
        // the response can carry it; registering the scheme as CORS-enabled
        // does not make WebKit accept the fetch.
        SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
        soup_message_headers_append(headers, "Access-Control-Allow-Origin", "*");
        // The headers given here replace the type set above in what the page
        // sees of them: the player passes the response on through a stream of
        // its own, and WebAssembly compiles while it downloads only when that
        // copy still says application/wasm (else it waits for the whole file).
        soup_message_headers_append(headers, "Content-Type", mime.c_str());
        // The player's files change only with the client: the page may keep them.
        soup_message_headers_append(headers, "Cache-Control", "max-age=31536000, immutable");
        webkit_uri_scheme_response_set_http_headers(response, headers);  // takes the headers
    }
    webkit_uri_scheme_request_finish_with_response(request, response);
}

}  // namespace

std::optional<std::string> resolveResource(const std::string& root,
                                           const std::string& escapedPath) {
    // Escaped separators and NUL stay refused: unescaping must not create them.
    g_autofree gchar* path = g_uri_unescape_string(escapedPath.c_str(), "/");
    if (!path) return std::nullopt;
    std::string relative = path;
    if (relative.find('\\') != std::string::npos) return std::nullopt;
    // No segment may be "..".
    for (const std::string& segment : support::split(relative, '/'))
        if (segment == "..") return std::nullopt;
    std::optional<std::string> realRoot = realPath(root);
    if (!realRoot) return std::nullopt;
    std::optional<std::string> real = realPath(root + "/" + relative);
    if (!real || real->rfind(*realRoot + "/", 0) != 0) return std::nullopt;
    if (!g_file_test(real->c_str(), G_FILE_TEST_IS_REGULAR)) return std::nullopt;
    return real;
}

std::string resourceMimeType(const std::string& file) {
    // WebAssembly compiles while streaming only when it comes as application/wasm.
    if (endsWith(file, ".wasm")) return "application/wasm";
    if (endsWith(file, ".js")) return "text/javascript";
    return {};
}

void registerResourceScheme(WebKitWebContext* context, const std::string& htmlRoot,
                            const std::string& playerRoot) {
    webkit_web_context_register_uri_scheme(
        context, ResourceScheme, serve, new SchemeData{htmlRoot, playerRoot},
        [](gpointer data) { delete static_cast<SchemeData*>(data); });
    webkit_security_manager_register_uri_scheme_as_secure(
        webkit_web_context_get_security_manager(context), ResourceScheme);
}

}  // namespace gtkui
