// What a data channel reports, as events of its connection for the client,
// tagged with the channel's key.

#include "Peers.h"

namespace callhelper {
namespace {

struct ChannelTag {
    Peers* peers;
    int pc, key;
};

ChannelTag* tagOf(GstWebRTCDataChannel* channel) {
    return static_cast<ChannelTag*>(g_object_get_data(G_OBJECT(channel), "whirligig-tag"));
}

void channelEvent(GstWebRTCDataChannel* channel, const char* name,
                  const std::function<void(JsonBuilder*)>& more = {}) {
    ChannelTag* tag = tagOf(channel);
    if (!tag) return;
    tag->peers->event(tag->pc, name, [&](JsonBuilder* b) {
        json_builder_set_member_name(b, "channel");
        json_builder_add_int_value(b, tag->key);
        if (more) more(b);
    });
}

void onChannelOpen(GstWebRTCDataChannel* channel, gpointer) {
    channelEvent(channel, "open", [&](JsonBuilder* b) {
        gint id = -1;
        g_object_get(channel, "id", &id, nullptr);
        json_builder_set_member_name(b, "id");
        json_builder_add_int_value(b, id);
    });
}
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

void Peers::watchChannel(int pc, GstWebRTCDataChannel* channel, int key) {
    g_object_set_data_full(G_OBJECT(channel), "whirligig-tag", new ChannelTag{this, pc, key},
                           [](gpointer t) { delete static_cast<ChannelTag*>(t); });
    g_signal_connect(channel, "on-open", G_CALLBACK(onChannelOpen), nullptr);
    g_signal_connect(channel, "on-close", G_CALLBACK(onChannelClose), nullptr);
    g_signal_connect(channel, "on-error", G_CALLBACK(onChannelError), nullptr);
    g_signal_connect(channel, "on-buffered-amount-low", G_CALLBACK(onChannelLow), nullptr);
    g_signal_connect(channel, "on-message-string", G_CALLBACK(onChannelText), nullptr);
    g_signal_connect(channel, "on-message-data", G_CALLBACK(onChannelData), nullptr);
}

}  // namespace callhelper
