#include "Peers.h"

#include <mutex>
#include <string>

#include "Media.h"
#include "Peer.h"
#include "Translate.h"

namespace callhelper {

namespace {

// What a promise's answer goes back to.
struct Pending {
    Peers* peers;
    int pc;
    gint64 request;
    const char* kind;  // "offer", "answer", "describe", "stats"
};

void onPromise(GstPromise* promise, gpointer data) {
    auto* pending = static_cast<Pending*>(data);
    const GstStructure* answer = gst_promise_get_reply(promise);
    GError* error = nullptr;
    if (gst_promise_wait(promise) != GST_PROMISE_RESULT_REPLIED)
        error = g_error_new_literal(GST_LIBRARY_ERROR, GST_LIBRARY_ERROR_FAILED, "no answer");
    else if (answer && gst_structure_has_field(answer, "error"))
        gst_structure_get(answer, "error", G_TYPE_ERROR, &error, nullptr);
    const std::string kind = pending->kind;
    if (!error && (kind == "offer" || kind == "answer")) {
        GstWebRTCSessionDescription* description = nullptr;
        if (answer)
            gst_structure_get(answer, kind.c_str(), GST_TYPE_WEBRTC_SESSION_DESCRIPTION,
                              &description, nullptr);
        if (!description) {
            error = g_error_new_literal(GST_LIBRARY_ERROR, GST_LIBRARY_ERROR_FAILED,
                                        "no description was made");
        } else {
            g_autofree gchar* sdp = gst_sdp_message_as_text(description->sdp);
            pending->peers->reply(pending->pc, pending->request, nullptr, [&](JsonBuilder* b) {
                json_builder_set_member_name(b, "type");
                json_builder_add_string_value(b, kind.c_str());
                json_builder_set_member_name(b, "sdp");
                json_builder_add_string_value(b, sdp);
            });
            gst_webrtc_session_description_free(description);
            return;
        }
    }
    if (!error && kind == "stats" && pending->request < 0) {
        // Statistics name the pair in use only where media flows; otherwise
        // the kinds the far end offered tell what it can be.
        std::string remote = remoteKind(answer);
        if (remote.empty()) remote = pending->peers->offeredKinds(pending->pc);
        pending->peers->event(pending->pc, "remote", [&](JsonBuilder* b) {
            json_builder_set_member_name(b, "kind");
            json_builder_add_string_value(b, remote.c_str());
        });
        return;
    }
    if (!error && kind == "stats") {
        pending->peers->reply(pending->pc, pending->request, nullptr, [&](JsonBuilder* b) {
            addStats(b, answer, pending->peers->streamKinds(pending->pc));
        });
        return;
    }
    pending->peers->reply(pending->pc, pending->request, error);
    if (error) g_error_free(error);
}

GstPromise* promiseFor(Peers* peers, int pc, gint64 request, const char* kind) {
    return gst_promise_new_with_change_func(onPromise, new Pending{peers, pc, request, kind},
                                            [](gpointer p) { delete static_cast<Pending*>(p); });
}

void onNegotiationNeeded(GstElement*, gpointer data) {
    auto* peer = static_cast<Peer*>(data);
    peer->owner->event(peer->id, "negotiationneeded");
}

void onIceCandidate(GstElement*, guint mline, gchar* candidate, gpointer data) {
    auto* peer = static_cast<Peer*>(data);
    peer->owner->event(peer->id, "candidate", [&](JsonBuilder* b) {
        json_builder_set_member_name(b, "candidate");
        json_builder_add_string_value(b, candidate);
        json_builder_set_member_name(b, "mline");
        json_builder_add_int_value(b, mline);
    });
}

void onStateChanged(GObject* webrtc, GParamSpec* property, gpointer data) {
    auto* peer = static_cast<Peer*>(data);
    const std::string state = enumNick(webrtc, property->name);
    peer->owner->event(peer->id, "state", [&](JsonBuilder* b) {
        json_builder_set_member_name(b, "which");
        json_builder_add_string_value(b, property->name);
        json_builder_set_member_name(b, "value");
        json_builder_add_string_value(b, state.c_str());
    });
    if (std::string(property->name) == "connection-state" && state == "connected") {
        // The kind of the far end's address, for the client's log.
        g_signal_emit_by_name(webrtc, "get-stats", nullptr,
                              promiseFor(peer->owner, peer->id, -1, "stats"));
    }
}

// A jitterbuffer holds the first packet for its whole latency (200 ms in
// webrtcbin) before it passes anything on; with a fast start it passes the
// stream on once a few packets came in order, so the first picture and sound
// come that much sooner. Later packets are still reordered within the latency.
void onNewJitterbuffer(GstElement*, GstElement* jitterbuffer, guint, guint, gpointer) {
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(jitterbuffer), "faststart-min-packets"))
        g_object_set(jitterbuffer, "faststart-min-packets", 3u, nullptr);
}

void onDataChannel(GstElement*, GstWebRTCDataChannel* channel, gpointer data) {
    auto* peer = static_cast<Peer*>(data);
    peer->owner->addRemoteChannel(*peer, channel);
}

}  // namespace

Peers::Peers(HelperLink& link) : link_(link) {}

Peers::~Peers() {
    while (!peers_.empty()) close(peers_.begin()->first);
}

void Peers::event(int pc, const char* name, const std::function<void(JsonBuilder*)>& fields) {
    g_autoptr(JsonBuilder) b = json_builder_new();
    json_builder_begin_object(b);
    json_builder_set_member_name(b, "event");
    json_builder_add_string_value(b, name);
    json_builder_set_member_name(b, "pc");
    json_builder_add_int_value(b, pc);
    if (fields) fields(b);
    json_builder_end_object(b);
    g_autoptr(JsonNode) root = json_builder_get_root(b);
    link_.send(root);
}

void Peers::reply(int pc, gint64 request, const GError* error,
                  const std::function<void(JsonBuilder*)>& fields) {
    g_autoptr(JsonBuilder) b = json_builder_new();
    json_builder_begin_object(b);
    json_builder_set_member_name(b, "reply");
    json_builder_add_int_value(b, request);
    json_builder_set_member_name(b, "pc");
    json_builder_add_int_value(b, pc);
    if (error) {
        json_builder_set_member_name(b, "error");
        json_builder_add_string_value(b, error->message);
    } else if (fields) {
        fields(b);
    }
    json_builder_end_object(b);
    g_autoptr(JsonNode) root = json_builder_get_root(b);
    link_.send(root);
}

void Peers::addRemoteChannel(Peer& peer, GstWebRTCDataChannel* channel) {
    int key;
    {
        std::lock_guard<std::mutex> lock(peer.channelsLock);
        key = peer.nextRemote--;
        peer.channels[key] = GST_WEBRTC_DATA_CHANNEL(g_object_ref(channel));
    }
    // The page makes the channel from this event; a message told before it
    // would have no channel to go to.
    watchChannel(peer.id, channel, key, [&] {
        event(peer.id, "datachannel", [&](JsonBuilder* b) {
            json_builder_set_member_name(b, "channel");
            json_builder_add_int_value(b, key);
            addChannelFields(b, channel);
        });
    });
}

std::string Peers::offeredKinds(int pc) {
    std::lock_guard<std::mutex> lock(kindsLock_);
    std::string kinds;
    for (const std::string& kind : remoteKinds_[pc]) kinds += (kinds.empty() ? "" : ", ") + kind;
    return kinds;
}

void Peers::noteStreamKind(int pc, guint ssrc, const char* kind) {
    std::lock_guard<std::mutex> lock(kindsLock_);
    if (streamKinds_[pc].size() < 64) streamKinds_[pc][ssrc] = kind;
}

std::map<guint, std::string> Peers::streamKinds(int pc) {
    std::lock_guard<std::mutex> lock(kindsLock_);
    return streamKinds_[pc];
}

// Notes the "typ" of each candidate in the text (one candidate or a whole SDP).
void Peers::noteRemoteKinds(int pc, const std::string& candidates) {
    std::lock_guard<std::mutex> lock(kindsLock_);
    for (size_t at = candidates.find(" typ "); at != std::string::npos;
         at = candidates.find(" typ ", at + 5)) {
        const size_t end = candidates.find_first_of(" \r\n", at + 5);
        const std::string kind =
            candidates.substr(at + 5, end == std::string::npos ? end : end - at - 5);
        if (!kind.empty() && kind.size() <= 8 && remoteKinds_[pc].size() < 8)
            remoteKinds_[pc].insert(kind);
    }
}

void Peers::create(int pc, JsonObject* message) {
    if (peers_.count(pc)) return;
    auto peer = std::make_unique<Peer>();
    peer->owner = this;
    peer->id = pc;
    peer->pipeline = gst_pipeline_new(nullptr);
    peer->webrtc = gst_element_factory_make("webrtcbin", nullptr);
    if (!peer->webrtc) {
        g_warning("webrtcbin is missing (gstreamer1.0-plugins-bad and gstreamer1.0-nice)");
        gst_object_unref(peer->pipeline);
        event(pc, "state", [](JsonBuilder* b) {
            json_builder_set_member_name(b, "which");
            json_builder_add_string_value(b, "connection-state");
            json_builder_set_member_name(b, "value");
            json_builder_add_string_value(b, "failed");
        });
        return;
    }
    gst_bin_add(GST_BIN(peer->pipeline), peer->webrtc);
    g_object_set(peer->webrtc, "bundle-policy", GST_WEBRTC_BUNDLE_POLICY_MAX_BUNDLE, nullptr);
    applyConfiguration(peer->webrtc, message);
    Peer* p = peer.get();
    g_signal_connect(p->webrtc, "on-negotiation-needed", G_CALLBACK(onNegotiationNeeded), p);
    g_signal_connect(p->webrtc, "on-ice-candidate", G_CALLBACK(onIceCandidate), p);
    g_signal_connect(p->webrtc, "on-data-channel", G_CALLBACK(onDataChannel), p);
    if (GstElement* rtpbin = gst_bin_get_by_name(GST_BIN(p->webrtc), "rtpbin")) {
        g_signal_connect(rtpbin, "new-jitterbuffer", G_CALLBACK(onNewJitterbuffer), nullptr);
        gst_object_unref(rtpbin);
    } else {
        g_message("webrtcbin has no rtpbin: the first frames wait for the jitterbuffer's latency");
    }
    watchMedia(*p);
    watchLoss(*p);
    for (const char* state : {"notify::ice-gathering-state", "notify::ice-connection-state",
                              "notify::connection-state", "notify::signaling-state"})
        g_signal_connect(p->webrtc, state, G_CALLBACK(onStateChanged), p);
    gst_element_set_state(p->pipeline, GST_STATE_PLAYING);
    peers_[pc] = std::move(peer);
}

void Peers::close(int pc) {
    auto found = peers_.find(pc);
    if (found == peers_.end()) return;
    Peer& peer = *found->second;
    g_signal_handlers_disconnect_by_data(peer.webrtc, &peer);
    endLoss(peer);
    {
        std::lock_guard<std::mutex> lock(peer.channelsLock);
        for (auto& [key, channel] : peer.channels) {
            g_object_set_data(G_OBJECT(channel), "whirligig-tag", nullptr);
            gst_webrtc_data_channel_close(channel);
            g_object_unref(channel);
        }
        peer.channels.clear();
    }
    gst_element_set_state(peer.pipeline, GST_STATE_NULL);
    endMedia(peer);
    gst_object_unref(peer.pipeline);
    peers_.erase(found);
    std::lock_guard<std::mutex> lock(kindsLock_);
    remoteKinds_.erase(pc);
    streamKinds_.erase(pc);
}

void Peers::describe(Peer& peer, JsonObject* message, bool local, gint64 request) {
    const std::string type = memberString(message, "type");
    const std::string sdp = memberString(message, "sdp");
    if (!local) noteRemoteKinds(peer.id, sdp);
    GstSDPMessage* parsed = nullptr;
    // A rollback carries no description.
    const GstSDPResult made = type == "rollback"
                                  ? gst_sdp_message_new(&parsed)
                                  : gst_sdp_message_new_from_text(sdp.c_str(), &parsed);
    if (made != GST_SDP_OK || !parsed) {
        GError error{GST_LIBRARY_ERROR, 0, const_cast<gchar*>("the description does not parse")};
        if (parsed) gst_sdp_message_free(parsed);
        return reply(peer.id, request, &error);
    }
    const GstWebRTCSDPType sdpType = type == "offer"      ? GST_WEBRTC_SDP_TYPE_OFFER
                                     : type == "pranswer" ? GST_WEBRTC_SDP_TYPE_PRANSWER
                                     : type == "answer"   ? GST_WEBRTC_SDP_TYPE_ANSWER
                                                          : GST_WEBRTC_SDP_TYPE_ROLLBACK;
    GstWebRTCSessionDescription* description = gst_webrtc_session_description_new(sdpType, parsed);
    g_signal_emit_by_name(peer.webrtc, local ? "set-local-description" : "set-remote-description",
                          description, promiseFor(this, peer.id, request, "describe"));
    gst_webrtc_session_description_free(description);
}

void Peers::channelCommand(Peer& peer, const char* op, JsonObject* message, gint64 request) {
    const int key = static_cast<int>(memberInt(message, "channel", 0));
    const std::string what = op;
    if (what == "channel") {
        GstStructure* options = channelOptions(message);
        GstWebRTCDataChannel* channel = nullptr;
        const std::string label = memberString(message, "label");
        g_signal_emit_by_name(peer.webrtc, "create-data-channel", label.c_str(), options, &channel);
        gst_structure_free(options);
        if (!channel) {
            GError error{GST_LIBRARY_ERROR, 0, const_cast<gchar*>("the channel was not made")};
            reply(peer.id, request, &error);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(peer.channelsLock);
            peer.channels[key] = channel;
        }
        watchChannel(peer.id, channel, key);
        reply(peer.id, request, nullptr, [&](JsonBuilder* b) { addChannelFields(b, channel); });
        return;
    }
    GstWebRTCDataChannel* channel = nullptr;
    {
        std::lock_guard<std::mutex> lock(peer.channelsLock);
        auto found = peer.channels.find(key);
        if (found != peer.channels.end()) channel = found->second;
    }
    if (!channel) return;
    if (what == "send") {
        GError* error = nullptr;
        if (json_object_has_member(message, "text")) {
            gst_webrtc_data_channel_send_string_full(channel, memberString(message, "text").c_str(),
                                                     &error);
        } else {
            gsize size = 0;
            guchar* data = g_base64_decode(memberString(message, "data").c_str(), &size);
            g_autoptr(GBytes) bytes = g_bytes_new_take(data, size);
            gst_webrtc_data_channel_send_data_full(channel, bytes, &error);
        }
        guint64 buffered = 0;
        g_object_get(channel, "buffered-amount", &buffered, nullptr);
        reply(peer.id, request, error, [&](JsonBuilder* b) {
            json_builder_set_member_name(b, "buffered");
            json_builder_add_int_value(b, static_cast<gint64>(buffered));
        });
        if (error) g_error_free(error);
    } else if (what == "threshold") {
        g_object_set(channel, "buffered-amount-low-threshold",
                     static_cast<guint64>(memberInt(message, "value", 0)), nullptr);
    } else if (what == "closechannel") {
        gst_webrtc_data_channel_close(channel);
    }
}

void Peers::command(JsonObject* message) {
    const std::string op = memberString(message, "op");
    const int pc = static_cast<int>(memberInt(message, "pc", 0));
    const gint64 request = memberInt(message, "request", 0);
    if (op == "create") return create(pc, message);
    if (op == "close") return close(pc);
    auto found = peers_.find(pc);
    if (found == peers_.end()) return;
    Peer& peer = *found->second;
    if (mediaCommand(peer, op, message, request)) return;
    if (op == "transceivers") {
        reply(pc, request, nullptr, [&](JsonBuilder* b) { addTransceivers(b, peer); });
    } else if (op == "offer" || op == "answer") {
        preferPageCodecs(peer);
        g_signal_emit_by_name(peer.webrtc, op == "offer" ? "create-offer" : "create-answer",
                              nullptr,
                              promiseFor(this, pc, request, op == "offer" ? "offer" : "answer"));
    } else if (op == "local" || op == "remote") {
        describe(peer, message, op == "local", request);
    } else if (op == "candidate") {
        const std::string candidate = memberString(message, "candidate");
        noteRemoteKinds(pc, candidate);
        g_signal_emit_by_name(peer.webrtc, "add-ice-candidate",
                              static_cast<guint>(memberInt(message, "mline", 0)),
                              candidate.empty() ? nullptr : candidate.c_str());
        reply(pc, request, nullptr);
    } else if (op == "stats") {
        g_signal_emit_by_name(peer.webrtc, "get-stats", nullptr,
                              promiseFor(this, pc, request, "stats"));
    } else {
        channelCommand(peer, op.c_str(), message, request);
    }
}

}  // namespace callhelper
