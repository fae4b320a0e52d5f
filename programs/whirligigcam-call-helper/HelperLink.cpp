#include "HelperLink.h"

#include <glib-unix.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace callhelper {

HelperLink::HelperLink(int fd, OnMessage onMessage, std::function<void()> onClosed)
    : fd_(fd), onMessage_(std::move(onMessage)), onClosed_(std::move(onClosed)) {
    g_unix_fd_add(fd_, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onReadable, this);
}

gboolean HelperLink::onReadable(gint, GIOCondition, gpointer self) {
    auto* link = static_cast<HelperLink*>(self);
    if (link->readAvailable()) return G_SOURCE_CONTINUE;
    link->onClosed_();
    return G_SOURCE_REMOVE;
}

bool HelperLink::readAvailable() {
    char chunk[65536];
    const ssize_t got = read(fd_, chunk, sizeof chunk);
    if (got < 0) return errno == EINTR || errno == EAGAIN;
    if (got == 0) return false;
    input_.append(chunk, static_cast<size_t>(got));
    bool tooLarge = false;
    while (const std::optional<std::string> text = support::takeMessage(input_, tooLarge)) {
        g_autoptr(JsonParser) parser = json_parser_new();
        const bool parsed = json_parser_load_from_data(parser, text->data(),
                                                       static_cast<gssize>(text->size()), nullptr);
        JsonNode* root = parsed ? json_parser_get_root(parser) : nullptr;
        if (!root || !JSON_NODE_HOLDS_OBJECT(root)) return false;
        onMessage_(json_node_get_object(root));
    }
    return !tooLarge;
}

void HelperLink::send(JsonNode* message) {
    g_autoptr(JsonGenerator) generator = json_generator_new();
    json_generator_set_root(generator, message);
    gsize length = 0;
    g_autofree gchar* text = json_generator_to_data(generator, &length);
    if (length > MaxMessageBytes) {
        g_warning("a message of %zu bytes for the client was dropped", static_cast<size_t>(length));
        return;
    }
    std::string frame(4, '\0');
    frame[0] = static_cast<char>(length >> 24);
    frame[1] = static_cast<char>(length >> 16);
    frame[2] = static_cast<char>(length >> 8);
    frame[3] = static_cast<char>(length);
    frame.append(text, length);
    std::lock_guard<std::mutex> lock(writing_);
    size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(fd_, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the client is gone; the read side notices
        sent += static_cast<size_t>(n);
    }
}

}  // namespace callhelper
