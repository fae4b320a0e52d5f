// A bare WebKitGTK host for a Flash movie: one window, one view, no client
// code. It shows a page read from a file as if it came from an address (so
// the movie on it is of the same origin), adds a script read from a file at
// the end of the page, and serves a folder's files under a URI scheme with the
// headers the player needs (the page's origin may fetch them, WebAssembly
// compiles while it streams). Prints "loaded" when the page's load has
// finished and the page's title whenever it changes; runs until it is killed.
// The Flash benchmark's yardstick for the client.
//
//   gtk_bare_flash_host PAGE_FILE PAGE_ADDRESS SCRIPT_FILE SCHEME FOLDER

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string folder;

bool endsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

void serve(WebKitURISchemeRequest* request, gpointer) {
    const std::string path = webkit_uri_scheme_request_get_path(request);
    gchar* contents = nullptr;
    gsize length = 0;
    if (path.find("..") != std::string::npos ||
        !g_file_get_contents((folder + path).c_str(), &contents, &length, nullptr)) {
        g_autoptr(GError) error =
            g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, path.c_str());
        webkit_uri_scheme_request_finish_error(request, error);
        return;
    }
    const char* type = endsWith(path, ".wasm") ? "application/wasm"
                       : endsWith(path, ".js") ? "text/javascript"
                                               : "application/octet-stream";
    g_autoptr(GInputStream) stream = g_memory_input_stream_new_from_data(contents, length, g_free);
    g_autoptr(WebKitURISchemeResponse) response = webkit_uri_scheme_response_new(stream, length);
    SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    soup_message_headers_append(headers, "Access-Control-Allow-Origin", "*");
    soup_message_headers_append(headers, "Content-Type", type);
    webkit_uri_scheme_response_set_http_headers(response, headers);
    webkit_uri_scheme_request_finish_with_response(request, response);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    gdk_set_allowed_backends("x11");
    if (argc < 6 || !gtk_init_check(&argc, &argv)) return 1;
    g_autofree gchar* page = nullptr;
    g_autofree gchar* script = nullptr;
    if (!g_file_get_contents(argv[1], &page, nullptr, nullptr) ||
        !g_file_get_contents(argv[3], &script, nullptr, nullptr)) {
        std::fprintf(stderr, "cannot read %s or %s\n", argv[1], argv[3]);
        return 1;
    }
    folder = argv[5];

    WebKitWebContext* context = webkit_web_context_get_default();
    // The player's locale set-up throws on a language such as "C".
    const gchar* languages[] = {"en-US", nullptr};
    webkit_web_context_set_preferred_languages(context, languages);
    webkit_web_context_register_uri_scheme(context, argv[4], serve, nullptr, nullptr);
    webkit_security_manager_register_uri_scheme_as_secure(
        webkit_web_context_get_security_manager(context), argv[4]);

    WebKitUserContentManager* content = webkit_user_content_manager_new();
    g_autoptr(WebKitUserScript) player =
        webkit_user_script_new(script, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, player);

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 698, 558);
    // Sound on: the movie's sound starts without a click.
    g_autoptr(WebKitWebsitePolicies) policies =
        webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr);
    GtkWidget* view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                              "user-content-manager", content, "website-policies",
                                              policies, nullptr));
    gtk_container_add(GTK_CONTAINER(window), view);
    g_signal_connect(view, "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent e, gpointer) {
                         if (e != WEBKIT_LOAD_FINISHED) return;
                         std::printf("loaded\n");
                         std::fflush(stdout);
                     }),
                     nullptr);
    g_signal_connect(view, "notify::title",
                     G_CALLBACK(+[](WebKitWebView* v, GParamSpec*, gpointer) {
                         const gchar* title = webkit_web_view_get_title(v);
                         std::printf("%s\n", title ? title : "");
                         std::fflush(stdout);
                     }),
                     nullptr);
    webkit_web_view_load_html(WEBKIT_WEB_VIEW(view), page, argv[2]);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
