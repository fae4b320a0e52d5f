#pragma once
// The helper's end of its socket to the client's window process: messages
// are JSON objects, each preceded by its length (4 bytes, big-endian).
// Writes may come from GStreamer's threads and are serialised here.

#include <json-glib/json-glib.h>

#include <functional>
#include <mutex>
#include <string>

#include "support/MessageFrames.h"

namespace callhelper {

// The longest message either side sends: a 256 kB data-channel message in
// base64 with its envelope fits.
using support::MaxMessageBytes;

class HelperLink {
public:
    using OnMessage = std::function<void(JsonObject* message)>;
    // fd: the socket, owned from now on. onMessage runs on the main loop;
    // onClosed when the client's end is gone or sent what is not a message.
    HelperLink(int fd, OnMessage onMessage, std::function<void()> onClosed);
    // Sends one message (a JSON object built with a JsonBuilder).
    void send(JsonNode* message);

private:
    static gboolean onReadable(gint fd, GIOCondition condition, gpointer self);
    bool readAvailable();

    int fd_;
    OnMessage onMessage_;
    std::function<void()> onClosed_;
    std::string input_;
    std::mutex writing_;
};

}  // namespace callhelper
