#include "TestSite.h"

#include <stdexcept>

namespace guitest {

TestSite::TestSite() {
    server_ = soup_server_new(nullptr, nullptr);
    soup_server_add_handler(server_, nullptr, handle, this, nullptr);
    GError* error = nullptr;
    if (!soup_server_listen_local(server_, 0, SOUP_SERVER_LISTEN_IPV4_ONLY, &error)) {
        std::string message = error ? error->message : "cannot listen";
        g_clear_error(&error);
        throw std::runtime_error(message);
    }
    GSList* uris = soup_server_get_uris(server_);
    port_ = g_uri_get_port(static_cast<GUri*>(uris->data));
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
}

TestSite::~TestSite() {
    soup_server_disconnect(server_);
    g_object_unref(server_);
}

std::string TestSite::address(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int TestSite::requests(const std::string& path) const {
    auto found = counts_.find(path);
    return found == counts_.end() ? 0 : found->second;
}

void TestSite::handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*,
                      gpointer data) {
    auto* self = static_cast<TestSite*>(data);
    ++self->counts_[path];
    auto found = self->routes_.find(path);
    if (found == self->routes_.end()) {
        soup_server_message_set_status(message, 404, nullptr);
        soup_server_message_set_response(message, "text/plain", SOUP_MEMORY_COPY, "missing", 7);
        return;
    }
    const Reply& reply = found->second;
    soup_server_message_set_status(message, reply.status, nullptr);
    soup_server_message_set_response(message, reply.contentType.c_str(), SOUP_MEMORY_COPY,
                                     reply.body.data(), reply.body.size());
    if (reply.delayMs) {
        soup_server_message_pause(message);
        g_object_ref(message);
        g_timeout_add(reply.delayMs, [](gpointer m) -> gboolean {
            soup_server_message_unpause(static_cast<SoupServerMessage*>(m));
            g_object_unref(m);
            return G_SOURCE_REMOVE;
        }, message);
    }
}

}  // namespace guitest
