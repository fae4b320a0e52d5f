#include "Media.h"

#include <string>

#include "Peer.h"
#include "Translate.h"

namespace callhelper {

namespace {

// Encoded frames larger than this are not passed on (a keyframe of a 1080p
// picture is well under it).
constexpr gsize MaxFrameBytes = 180 * 1024;

const char* const VideoCodec =
    "application/x-rtp, media=video, encoding-name=VP8, clock-rate=90000, payload=96, "
    "rtcp-fb-nack=(boolean)true, rtcp-fb-nack-pli=(boolean)true, rtcp-fb-ccm-fir=(boolean)true";
const char* const AudioCodec =
    "application/x-rtp, media=audio, encoding-name=OPUS, clock-rate=48000, payload=111, "
    "encoding-params=(string)2, minptime=(string)10, useinbandfec=(string)1";

GArray* transceiversOf(GstElement* webrtc) {
    GArray* list = nullptr;
    g_signal_emit_by_name(webrtc, "get-transceivers", &list);
    return list;
}

GstWebRTCRTPTransceiver* transceiverAt(GArray* list, int index) {
    if (!list || index < 0 || static_cast<guint>(index) >= list->len) return nullptr;
    return g_array_index(list, GstWebRTCRTPTransceiver*, index);
}

int indexOf(GstElement* webrtc, GstWebRTCRTPTransceiver* transceiver) {
    GArray* list = transceiversOf(webrtc);
    int found = -1;
    for (guint i = 0; list && i < list->len; ++i)
        if (g_array_index(list, GstWebRTCRTPTransceiver*, i) == transceiver)
            found = static_cast<int>(i);
    if (list) g_array_unref(list);
    return found;
}

GstWebRTCRTPTransceiverDirection directionNamed(const std::string& name) {
    if (name == "sendonly") return GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDONLY;
    if (name == "recvonly") return GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_RECVONLY;
    if (name == "inactive") return GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_INACTIVE;
    return GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDRECV;
}

bool sends(GstWebRTCRTPTransceiverDirection direction) {
    return direction == GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDONLY ||
           direction == GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDRECV;
}

// The far end asked for a keyframe (a PLI or FIR reaches the payloader as
// an upstream force-key-unit event).
GstPadProbeReturn onUpstreamEvent(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    const GstStructure* s = event ? gst_event_get_structure(event) : nullptr;
    if (s && gst_structure_has_name(s, "GstForceKeyUnit")) {
        auto* peer = static_cast<Peer*>(data);
        const int index =
            GPOINTER_TO_INT(g_object_get_data(G_OBJECT(GST_PAD_PARENT(pad)), "whirligig-index"));
        peer->owner->event(peer->id, "keyframe", [&](JsonBuilder* b) {
            json_builder_set_member_name(b, "index");
            json_builder_add_int_value(b, index);
        });
    }
    return GST_PAD_PROBE_OK;
}

// Builds appsrc -> payloader into the webrtcbin pad named padName (a new
// transceiver when it is "sink_%u").
bool addSendPath(Peer& peer, int index, bool video, const char* padName) {
    GstElement* source = gst_element_factory_make("appsrc", nullptr);
    GstElement* pay = gst_element_factory_make(video ? "rtpvp8pay" : "rtpopuspay", nullptr);
    if (!source || !pay) {
        g_warning("the %s payloader is missing", video ? "VP8" : "Opus");
        if (source) gst_object_unref(source);
        if (pay) gst_object_unref(pay);
        return false;
    }
    GstCaps* caps = gst_caps_from_string(
        video ? "video/x-vp8" : "audio/x-opus, rate=48000, channels=1, channel-mapping-family=0");
    // A page that sends faster than the network takes loses its oldest frames.
    g_object_set(source, "caps", caps, "format", GST_FORMAT_TIME, "is-live", TRUE, "do-timestamp",
                 TRUE, "max-bytes", static_cast<guint64>(4 << 20), "leaky-type", 2, nullptr);
    gst_caps_unref(caps);
    const guint ssrc = g_random_int();
    g_object_set(pay, "pt", video ? 96 : 111, "ssrc", ssrc, nullptr);
    peer.owner->noteStreamKind(peer.id, ssrc, video ? "video" : "audio");
    if (video) g_object_set(pay, "picture-id-mode", 2, nullptr);
    gst_bin_add_many(GST_BIN(peer.pipeline), source, pay, nullptr);
    GstPad* sink = gst_element_request_pad_simple(peer.webrtc, padName);
    GstPad* out = gst_element_get_static_pad(pay, "src");
    const bool linked =
        sink && gst_element_link(source, pay) && gst_pad_link(out, sink) == GST_PAD_LINK_OK;
    gst_object_unref(out);
    if (sink) gst_object_unref(sink);
    if (!linked) {
        g_warning("the media of transceiver %d could not be linked", index);
        gst_bin_remove_many(GST_BIN(peer.pipeline), source, pay, nullptr);
        return false;
    }
    g_object_set_data(G_OBJECT(source), "whirligig-index", GINT_TO_POINTER(index));
    GstPad* sourcePad = gst_element_get_static_pad(source, "src");
    gst_pad_add_probe(sourcePad, GST_PAD_PROBE_TYPE_EVENT_UPSTREAM, onUpstreamEvent, &peer,
                      nullptr);
    gst_object_unref(sourcePad);
    gst_element_sync_state_with_parent(pay);
    gst_element_sync_state_with_parent(source);
    peer.senders[index] = std::make_unique<SendPath>(SendPath{source, video});
    return true;
}

void setCodec(GstWebRTCRTPTransceiver* transceiver, bool video) {
    GstCaps* caps = gst_caps_from_string(video ? VideoCodec : AudioCodec);
    g_object_set(transceiver, "codec-preferences", caps, nullptr);
    gst_caps_unref(caps);
}

int addTransceiver(Peer& peer, JsonObject* message) {
    const bool video = memberString(message, "kind") == "video";
    const auto direction = directionNamed(memberString(message, "direction"));
    GArray* before = transceiversOf(peer.webrtc);
    const int index = before ? static_cast<int>(before->len) : 0;
    if (before) g_array_unref(before);
    if (sends(direction)) {
        // A sink pad without a name makes a new transceiver at the end.
        if (!addSendPath(peer, index, video, "sink_%u")) return -1;
    } else {
        GstWebRTCRTPTransceiver* made = nullptr;
        g_signal_emit_by_name(peer.webrtc, "add-transceiver", direction, nullptr, &made);
        if (made) gst_object_unref(made);
    }
    GArray* list = transceiversOf(peer.webrtc);
    GstWebRTCRTPTransceiver* transceiver = transceiverAt(list, index);
    if (transceiver) {
        g_object_set(transceiver, "direction", direction, nullptr);
        setCodec(transceiver, video);
    }
    if (list) g_array_unref(list);
    return transceiver ? index : -1;
}

void setDirection(Peer& peer, int index, const std::string& name) {
    GArray* list = transceiversOf(peer.webrtc);
    GstWebRTCRTPTransceiver* transceiver = transceiverAt(list, index);
    if (transceiver) {
        const auto direction = directionNamed(name);
        g_object_set(transceiver, "direction", direction, nullptr);
        guint mline = G_MAXUINT;
        GstWebRTCKind kind = GST_WEBRTC_KIND_UNKNOWN;
        g_object_get(transceiver, "mlineindex", &mline, "kind", &kind, nullptr);
        // A transceiver the far end offered starts sending once the page gives it a track.
        if (sends(direction) && !peer.senders.count(index) && mline != G_MAXUINT) {
            const std::string pad = "sink_" + std::to_string(mline);
            addSendPath(peer, index, kind == GST_WEBRTC_KIND_VIDEO, pad.c_str());
        }
    }
    if (list) g_array_unref(list);
}

void pushFrame(Peer& peer, int index, JsonObject* message) {
    auto found = peer.senders.find(index);
    if (found == peer.senders.end()) return;
    const std::string data = memberString(message, "data");
    gsize size = 0;
    guchar* bytes = g_base64_decode(data.c_str(), &size);
    if (size == 0 || size > MaxFrameBytes) {
        g_free(bytes);
        return;
    }
    GstBuffer* buffer = gst_buffer_new_wrapped(bytes, size);
    if (!memberInt(message, "key", 0)) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    if (!found->second->video) GST_BUFFER_DURATION(buffer) = 20 * GST_MSECOND;
    GstFlowReturn flow = GST_FLOW_OK;
    g_signal_emit_by_name(found->second->source, "push-buffer", buffer, &flow);
    gst_buffer_unref(buffer);
}

GstFlowReturn onSample(GstElement* sink, gpointer data) {
    auto* peer = static_cast<Peer*>(data);
    GstSample* sample = nullptr;
    g_signal_emit_by_name(sink, "pull-sample", &sample);
    if (!sample) return GST_FLOW_OK;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        if (map.size > 0 && map.size <= MaxFrameBytes) {
            g_autofree gchar* text = g_base64_encode(map.data, map.size);
            const int index = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(sink), "whirligig-index"));
            const bool key = !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
            peer->owner->event(peer->id, "frame", [&](JsonBuilder* b) {
                json_builder_set_member_name(b, "index");
                json_builder_add_int_value(b, index);
                json_builder_set_member_name(b, "key");
                json_builder_add_boolean_value(b, key);
                json_builder_set_member_name(b, "data");
                json_builder_add_string_value(b, text);
            });
        }
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

// The far end's SSRC of a stream, from its first RTP packet, for statistics.
GstPadProbeReturn noteSsrc(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    auto* peer = static_cast<Peer*>(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    guint8 header[12];
    if (!buffer || gst_buffer_extract(buffer, 0, header, sizeof header) != sizeof header)
        return GST_PAD_PROBE_OK;
    const guint ssrc = (guint(header[8]) << 24) | (guint(header[9]) << 16) |
                       (guint(header[10]) << 8) | guint(header[11]);
    const auto* kind = static_cast<const char*>(g_object_get_data(G_OBJECT(pad), "whirligig-kind"));
    peer->owner->noteStreamKind(peer->id, ssrc, kind ? kind : "audio");
    return GST_PAD_PROBE_REMOVE;
}

// A stream from the far end: depayload it and hand its frames to the page.
void onPadAdded(GstElement* webrtc, GstPad* pad, gpointer data) {
    auto* peer = static_cast<Peer*>(data);
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC) return;
    GstCaps* caps = gst_pad_get_current_caps(pad);
    const GstStructure* s = caps ? gst_caps_get_structure(caps, 0) : nullptr;
    const std::string codec = s && gst_structure_get_string(s, "encoding-name")
                                  ? gst_structure_get_string(s, "encoding-name")
                                  : "";
    const bool video = codec == "VP8";
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, noteSsrc, peer, nullptr);
    g_object_set_data(G_OBJECT(pad), "whirligig-kind",
                      const_cast<char*>(video ? "video" : "audio"));
    if (caps) gst_caps_unref(caps);
    GstWebRTCRTPTransceiver* transceiver = nullptr;
    g_object_get(pad, "transceiver", &transceiver, nullptr);
    const int index = transceiver ? indexOf(webrtc, transceiver) : -1;
    if (transceiver) gst_object_unref(transceiver);
    GstElement* depay = nullptr;
    if (codec == "VP8" || codec == "OPUS")
        depay = gst_element_factory_make(video ? "rtpvp8depay" : "rtpopusdepay", nullptr);
    GstElement* sink = depay ? gst_element_factory_make("appsink", nullptr) : nullptr;
    if (!sink || index < 0) {
        // Not ours to decode: it goes nowhere, and the log says so.
        g_message("a stream of codec '%s' from the far end is not played", codec.c_str());
        if (depay) gst_object_unref(depay);
        GstElement* drop = gst_element_factory_make("fakesink", nullptr);
        gst_bin_add(GST_BIN(peer->pipeline), drop);
        gst_element_sync_state_with_parent(drop);
        GstPad* in = gst_element_get_static_pad(drop, "sink");
        gst_pad_link(pad, in);
        gst_object_unref(in);
        return;
    }
    if (video) g_object_set(depay, "request-keyframe", TRUE, "wait-for-keyframe", TRUE, nullptr);
    g_object_set(sink, "emit-signals", TRUE, "sync", FALSE, "max-buffers", 30, "drop", TRUE,
                 nullptr);
    g_object_set_data(G_OBJECT(sink), "whirligig-index", GINT_TO_POINTER(index));
    g_signal_connect(sink, "new-sample", G_CALLBACK(onSample), peer);
    gst_bin_add_many(GST_BIN(peer->pipeline), depay, sink, nullptr);
    gst_element_link(depay, sink);
    gst_element_sync_state_with_parent(sink);
    gst_element_sync_state_with_parent(depay);
    GstPad* in = gst_element_get_static_pad(depay, "sink");
    if (gst_pad_link(pad, in) != GST_PAD_LINK_OK)
        g_message("the far end's %s stream could not be linked", codec.c_str());
    gst_object_unref(in);
}

const char* directionText(GstWebRTCRTPTransceiverDirection direction) {
    switch (direction) {
        case GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDONLY:
            return "sendonly";
        case GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_RECVONLY:
            return "recvonly";
        case GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDRECV:
            return "sendrecv";
        case GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_INACTIVE:
            return "inactive";
        default:
            return "";
    }
}

}  // namespace

void watchMedia(Peer& peer) {
    g_signal_connect(peer.webrtc, "pad-added", G_CALLBACK(onPadAdded), &peer);
}

bool mediaCommand(Peer& peer, const std::string& op, JsonObject* message, gint64 request) {
    const int index = static_cast<int>(memberInt(message, "index", -1));
    if (op == "media") {
        pushFrame(peer, index, message);
    } else if (op == "direction") {
        setDirection(peer, index, memberString(message, "direction"));
    } else if (op == "transceiver") {
        const int made = addTransceiver(peer, message);
        peer.owner->reply(peer.id, request, nullptr, [&](JsonBuilder* b) {
            json_builder_set_member_name(b, "index");
            json_builder_add_int_value(b, made);
        });
    } else {
        return false;
    }
    return true;
}

void preferPageCodecs(Peer& peer) {
    GArray* list = transceiversOf(peer.webrtc);
    for (guint i = 0; list && i < list->len; ++i) {
        GstWebRTCRTPTransceiver* transceiver = g_array_index(list, GstWebRTCRTPTransceiver*, i);
        GstCaps* preferred = nullptr;
        GstWebRTCKind kind = GST_WEBRTC_KIND_UNKNOWN;
        g_object_get(transceiver, "codec-preferences", &preferred, "kind", &kind, nullptr);
        if (!preferred && kind != GST_WEBRTC_KIND_UNKNOWN) {
            // Without a payload number: the offer's is kept.
            GstCaps* caps = gst_caps_from_string(
                kind == GST_WEBRTC_KIND_VIDEO
                    ? "application/x-rtp, media=video, encoding-name=VP8, clock-rate=90000"
                    : "application/x-rtp, media=audio, encoding-name=OPUS, clock-rate=48000");
            g_object_set(transceiver, "codec-preferences", caps, nullptr);
            gst_caps_unref(caps);
        }
        if (preferred) gst_caps_unref(preferred);
    }
    if (list) g_array_unref(list);
}

void addTransceivers(JsonBuilder* b, Peer& peer) {
    json_builder_set_member_name(b, "transceivers");
    json_builder_begin_array(b);
    GArray* list = transceiversOf(peer.webrtc);
    for (guint i = 0; list && i < list->len; ++i) {
        GstWebRTCRTPTransceiver* transceiver = g_array_index(list, GstWebRTCRTPTransceiver*, i);
        guint mline = G_MAXUINT;
        GstWebRTCKind kind = GST_WEBRTC_KIND_UNKNOWN;
        GstWebRTCRTPTransceiverDirection direction, current;
        gchar* mid = nullptr;
        g_object_get(transceiver, "mlineindex", &mline, "kind", &kind, "direction", &direction,
                     "current-direction", &current, "mid", &mid, nullptr);
        json_builder_begin_object(b);
        json_builder_set_member_name(b, "index");
        json_builder_add_int_value(b, i);
        json_builder_set_member_name(b, "kind");
        json_builder_add_string_value(b, kind == GST_WEBRTC_KIND_VIDEO   ? "video"
                                         : kind == GST_WEBRTC_KIND_AUDIO ? "audio"
                                                                         : "");
        json_builder_set_member_name(b, "mid");
        json_builder_add_string_value(b, mid ? mid : "");
        json_builder_set_member_name(b, "mline");
        json_builder_add_int_value(b, mline == G_MAXUINT ? -1 : static_cast<gint64>(mline));
        json_builder_set_member_name(b, "direction");
        json_builder_add_string_value(b, directionText(direction));
        json_builder_set_member_name(b, "current");
        json_builder_add_string_value(b, directionText(current));
        json_builder_end_object(b);
        g_free(mid);
    }
    if (list) g_array_unref(list);
    json_builder_end_array(b);
}

void endMedia(Peer& peer) { peer.senders.clear(); }

}  // namespace callhelper
