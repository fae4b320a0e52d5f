// What a data channel reports, as events of its connection for the client,
// tagged with the channel's key.

#include <cstring>

#include "Peers.h"

namespace callhelper {
namespace {

struct ChannelTag {
    Peers* peers;
    int pc, key;
    bool openTold = false;  // under the peers' channel-events lock
};

ChannelTag* tagOf(GstWebRTCDataChannel* channel) {
    return static_cast<ChannelTag*>(g_object_get_data(G_OBJECT(channel), "whirligig-tag"));
}

void tell(ChannelTag* tag, const char* name, const std::function<void(JsonBuilder*)>& more) {
    tag->peers->event(tag->pc, name, [&](JsonBuilder* b) {
        json_builder_set_member_name(b, "channel");
        json_builder_add_int_value(b, tag->key);
        if (more) more(b);
    });
}

void tellOpen(ChannelTag* tag, GstWebRTCDataChannel* channel) {
    tag->openTold = true;
    tell(tag, "open", [&](JsonBuilder* b) {
        gint id = -1;
        g_object_get(channel, "id", &id, nullptr);
        json_builder_set_member_name(b, "id");
        json_builder_add_int_value(b, id);
    });
}

// webrtcbin tells a channel's opening from a task of its own and its messages
// from the SCTP thread, so the far end's first messages may come first: the
// page, which takes messages only on an open channel, is told of the opening
// before them.
void channelEvent(GstWebRTCDataChannel* channel, const char* name,
                  const std::function<void(JsonBuilder*)>& more = {}) {
    ChannelTag* tag = tagOf(channel);
    if (!tag) return;
    std::lock_guard<std::mutex> order(tag->peers->channelEventsLock());
    const bool open = std::strcmp(name, "open") == 0;
    if (open && tag->openTold) return;
    if (open || (std::strcmp(name, "message") == 0 && !tag->openTold)) tellOpen(tag, channel);
    if (!open) tell(tag, name, more);
}

void onChannelOpen(GstWebRTCDataChannel* channel, gpointer) { channelEvent(channel, "open"); }
void onChannelClose(GstWebRTCDataChannel* channel, gpointer) { channelEvent(channel, "close"); }
void onChannelError(GstWebRTCDataChannel* channel, GError* error, gpointer) {
    channelEvent(channel, "channelerror", [&](JsonBuilder* b) {
        json_builder_set_member_name(b, "message");
        json_builder_add_string_value(b, error ? error->message : "");
    });
}
void onChannelLow(GstWebRTCDataChannel* channel, gpointer) { channelEvent(channel, "low"); }
void onChannelText(GstWebRTCDataChannel* channel, gchar* text, gpointer) {
    channelEvent(channel, "message", [&](JsonBuilder* b) {
        json_builder_set_member_name(b, "text");
        json_builder_add_string_value(b, text ? text : "");
    });
}
void onChannelData(GstWebRTCDataChannel* channel, GBytes* bytes, gpointer) {
    channelEvent(channel, "message", [&](JsonBuilder* b) {
        gsize size = 0;
        const void* data = bytes ? g_bytes_get_data(bytes, &size) : nullptr;
        g_autofree gchar* encoded = g_base64_encode(static_cast<const guchar*>(data), size);
        json_builder_set_member_name(b, "data");
        json_builder_add_string_value(b, encoded);
    });
}

}  // namespace

void Peers::watchChannel(int pc, GstWebRTCDataChannel* channel, int key,
                         const std::function<void()>& announce) {
    // A message may come on another thread as soon as its handler is connected.
    std::lock_guard<std::mutex> order(channelEvents_);
    // A channel the far end opened is announced open.
    g_object_set_data_full(G_OBJECT(channel), "whirligig-tag",
                           new ChannelTag{this, pc, key, static_cast<bool>(announce)},
                           [](gpointer t) { delete static_cast<ChannelTag*>(t); });
    g_signal_connect(channel, "on-open", G_CALLBACK(onChannelOpen), nullptr);
    g_signal_connect(channel, "on-close", G_CALLBACK(onChannelClose), nullptr);
    g_signal_connect(channel, "on-error", G_CALLBACK(onChannelError), nullptr);
    g_signal_connect(channel, "on-buffered-amount-low", G_CALLBACK(onChannelLow), nullptr);
    g_signal_connect(channel, "on-message-string", G_CALLBACK(onChannelText), nullptr);
    g_signal_connect(channel, "on-message-data", G_CALLBACK(onChannelData), nullptr);
    if (announce) announce();
}

}  // namespace callhelper
