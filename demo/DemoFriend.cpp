#include "demo/DemoFriend.h"

#define GST_USE_UNSTABLE_API
#include <cairo.h>
#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#include <gst/webrtc/webrtc.h>

#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace site {

namespace {

// The page's description and candidates are small; these bound what is
// passed to the SDP parser and the ICE agent.
constexpr gsize MaxDescriptionBytes = 64 * 1024;
constexpr gsize MaxCandidateBytes = 1024;
constexpr int MaxCandidates = 64;
// The friend's m-lines: video, then sound.
constexpr gint64 MediaLines = 2;
// A page that has not connected by then has gone.
constexpr guint ConnectLimitSeconds = 30;

// The friend's media: the bars move sideways and a clock is drawn over them.
const char* const Pipeline =
    "webrtcbin name=friend bundle-policy=max-bundle "
    "videotestsrc is-live=true pattern=smpte horizontal-speed=2 "
    "! video/x-raw,width=640,height=480,framerate=30/1 ! videoconvert "
    "! cairooverlay name=clock ! videoconvert ! queue max-size-buffers=2 leaky=downstream "
    "! vp8enc deadline=1 cpu-used=8 target-bitrate=800000 keyframe-max-dist=60 "
    "! rtpvp8pay pt=96 picture-id-mode=2 "
    "! application/x-rtp,media=video,encoding-name=VP8,payload=96 ! friend. "
    "audiotestsrc is-live=true wave=sine volume=0.4 name=tone ! audioconvert ! audioresample "
    "! opusenc ! rtpopuspay pt=111 "
    "! application/x-rtp,media=audio,encoding-name=OPUS,payload=111 ! friend.";

std::string jsonText(const std::function<void(JsonBuilder*)>& fill) {
    g_autoptr(JsonBuilder) builder = json_builder_new();
    json_builder_begin_object(builder);
    fill(builder);
    json_builder_end_object(builder);
    g_autoptr(JsonNode) root = json_builder_get_root(builder);
    g_autofree gchar* text = json_to_string(root, FALSE);
    return text;
}

// The wall clock, as a viewer reads it, in a dark box at the bottom left.
void drawClock(GstElement*, cairo_t* cr, guint64, guint64, gpointer) {
    g_autoptr(GDateTime) now = g_date_time_new_now_local();
    g_autofree gchar* seconds = g_date_time_format(now, "%H:%M:%S");
    g_autofree gchar* text =
        g_strdup_printf("%s.%03d", seconds, g_date_time_get_microsecond(now) / 1000);
    cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
    cairo_rectangle(cr, 16, 404, 330, 60);
    cairo_fill(cr);
    cairo_select_font_face(cr, "monospace", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 40);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_move_to(cr, 26, 448);
    cairo_show_text(cr, text);
}

// A member's text or number, when it is one (anything else: the default).
const char* textMember(JsonObject* o, const char* name) {
    JsonNode* node = json_object_get_member(o, name);
    return node && JSON_NODE_HOLDS_VALUE(node) && json_node_get_value_type(node) == G_TYPE_STRING
               ? json_node_get_string(node)
               : "";
}

gint64 numberMember(JsonObject* o, const char* name) {
    JsonNode* node = json_object_get_member(o, name);
    return node && JSON_NODE_HOLDS_VALUE(node) && json_node_get_value_type(node) == G_TYPE_INT64
               ? json_node_get_int(node)
               : -1;
}

}  // namespace

struct DemoFriend::State {
    enum class Kind { Send, Log, End };
    Send send;
    Ended ended;
    Log log;
    GstElement* pipeline = nullptr;
    GstElement* webrtc = nullptr;
    guint busWatch = 0;
    guint connectTimer = 0;
    bool answered = false;
    int candidates = 0;
    // The page's candidates that came before its answer (its engine may tell
    // them first), added after it.
    std::vector<std::pair<guint, std::string>> early;

    // What GStreamer's threads hand to the main context.
    std::mutex lock;
    std::vector<std::pair<Kind, std::string>> outbox;
    guint flushSource = 0;

    void post(Kind kind, std::string text);
    void flush();
    void end(const std::string& why) { post(Kind::End, why); }
    void offer();
    void onOffer(GstPromise* promise);
    void onRemoteSet(GstPromise* promise);
    void onIceState();
    void onIncoming(GstPad* pad);
    gboolean onBus(GstMessage* message);
};

void DemoFriend::State::post(Kind kind, std::string text) {
    std::lock_guard<std::mutex> hold(lock);
    outbox.emplace_back(kind, std::move(text));
    if (!flushSource)
        flushSource = g_idle_add(
            [](gpointer self) {
                static_cast<State*>(self)->flush();
                return G_SOURCE_REMOVE;
            },
            this);
}

void DemoFriend::State::flush() {
    std::vector<std::pair<Kind, std::string>> taken;
    {
        std::lock_guard<std::mutex> hold(lock);
        taken.swap(outbox);
        flushSource = 0;
    }
    for (const auto& [kind, text] : taken) {
        if (kind == Kind::Send) send(text);
        if (kind == Kind::Log) log(text);
        if (kind == Kind::End) return ended(text);
    }
}

void DemoFriend::State::offer() {
    GstPromise* promise = gst_promise_new_with_change_func(
        [](GstPromise* p, gpointer self) { static_cast<State*>(self)->onOffer(p); }, this, nullptr);
    g_signal_emit_by_name(webrtc, "create-offer", nullptr, promise);
}

void DemoFriend::State::onOffer(GstPromise* promise) {
    GstWebRTCSessionDescription* description = nullptr;
    const GstStructure* reply = gst_promise_get_reply(promise);
    if (reply)
        gst_structure_get(reply, "offer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &description,
                          nullptr);
    gst_promise_unref(promise);
    if (!description) return end("the friend could not make an offer");
    g_signal_emit_by_name(webrtc, "set-local-description", description, nullptr);
    g_autofree gchar* sdp = gst_sdp_message_as_text(description->sdp);
    gst_webrtc_session_description_free(description);
    post(Kind::Send, jsonText([&](JsonBuilder* b) {
             json_builder_set_member_name(b, "sdp");
             json_builder_begin_object(b);
             json_builder_set_member_name(b, "type");
             json_builder_add_string_value(b, "offer");
             json_builder_set_member_name(b, "sdp");
             json_builder_add_string_value(b, sdp);
             json_builder_end_object(b);
         }));
}

void DemoFriend::State::onRemoteSet(GstPromise* promise) {
    const GstStructure* reply = gst_promise_get_reply(promise);
    GError* error = nullptr;
    if (reply && gst_structure_has_field(reply, "error"))
        gst_structure_get(reply, "error", G_TYPE_ERROR, &error, nullptr);
    if (error) {
        end(std::string("the friend refused the answer: ") + error->message);
        g_error_free(error);
    }
    gst_promise_unref(promise);
}

void DemoFriend::State::onIceState() {
    GstWebRTCICEConnectionState state = GST_WEBRTC_ICE_CONNECTION_STATE_NEW;
    g_object_get(webrtc, "ice-connection-state", &state, nullptr);
    if (state == GST_WEBRTC_ICE_CONNECTION_STATE_CONNECTED) post(Kind::Log, "connected");
    if (state == GST_WEBRTC_ICE_CONNECTION_STATE_FAILED) end("the connection failed");
}

// The page's media: counted once in the log, then dropped.
void DemoFriend::State::onIncoming(GstPad* pad) {
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC) return;
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (!sink) return end("GStreamer's fakesink is missing");
    g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add(GST_BIN(pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    GstPad* in = gst_element_get_static_pad(sink, "sink");
    if (gst_pad_link(pad, in) != GST_PAD_LINK_OK) post(Kind::Log, "the page's media not linked");
    gst_object_unref(in);
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad* p, GstPadProbeInfo*, gpointer self) {
            g_autoptr(GstCaps) caps = gst_pad_get_current_caps(p);
            const GstStructure* s = caps ? gst_caps_get_structure(caps, 0) : nullptr;
            const char* media = s ? gst_structure_get_string(s, "media") : nullptr;
            static_cast<State*>(self)->post(
                Kind::Log, std::string("receives the page's ") + (media ? media : "media"));
            return GST_PAD_PROBE_REMOVE;
        },
        this, nullptr);
}

gboolean DemoFriend::State::onBus(GstMessage* message) {
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        g_autoptr(GError) error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        end(std::string("the friend's media failed: ") + (error ? error->message : "?"));
    }
    return G_SOURCE_CONTINUE;
}

DemoFriend::DemoFriend(Send send, Ended ended, Log log) : state_(std::make_unique<State>()) {
    state_->send = std::move(send);
    state_->ended = std::move(ended);
    state_->log = std::move(log);
}

DemoFriend::~DemoFriend() {
    State* s = state_.get();
    if (s->connectTimer) g_source_remove(s->connectTimer);
    if (s->busWatch) g_source_remove(s->busWatch);
    if (s->pipeline) {
        // Stopping joins GStreamer's threads: nothing posts after this.
        gst_element_set_state(s->pipeline, GST_STATE_NULL);
        g_signal_handlers_disconnect_by_data(s->webrtc, s);
        gst_object_unref(s->webrtc);
        gst_object_unref(s->pipeline);
    }
    std::lock_guard<std::mutex> hold(s->lock);
    if (s->flushSource) g_source_remove(s->flushSource);
}

bool DemoFriend::start(std::string& error) {
    State* s = state_.get();
    g_autoptr(GError) failure = nullptr;
    if (!gst_init_check(nullptr, nullptr, &failure)) {
        error = std::string("GStreamer does not start: ") + failure->message;
        return false;
    }
    GstElement* pipeline = gst_parse_launch(Pipeline, &failure);
    if (!pipeline || failure) {
        error = std::string("the friend's pipeline cannot be built: ") +
                (failure ? failure->message : "?");
        if (pipeline) gst_object_unref(pipeline);
        return false;
    }
    s->pipeline = GST_ELEMENT(gst_object_ref_sink(pipeline));
    s->webrtc = gst_bin_get_by_name(GST_BIN(pipeline), "friend");
    GstElement* clock = gst_bin_get_by_name(GST_BIN(pipeline), "clock");
    GstElement* tone = gst_bin_get_by_name(GST_BIN(pipeline), "tone");
    g_signal_connect(clock, "draw", G_CALLBACK(drawClock), nullptr);
    g_object_set(tone, "freq", static_cast<double>(ToneHertz), nullptr);
    gst_object_unref(clock);
    gst_object_unref(tone);

    g_signal_connect_swapped(s->webrtc, "on-negotiation-needed",
                             G_CALLBACK(+[](State* st) { st->offer(); }), s);
    g_signal_connect(s->webrtc, "on-ice-candidate",
                     G_CALLBACK(+[](GstElement*, guint line, gchar* candidate, State* st) {
                         st->post(State::Kind::Send, jsonText([&](JsonBuilder* b) {
                                      json_builder_set_member_name(b, "ice");
                                      json_builder_begin_object(b);
                                      json_builder_set_member_name(b, "candidate");
                                      json_builder_add_string_value(b, candidate);
                                      json_builder_set_member_name(b, "sdpMLineIndex");
                                      json_builder_add_int_value(b, line);
                                      json_builder_end_object(b);
                                  }));
                     }),
                     s);
    g_signal_connect_swapped(s->webrtc, "notify::ice-connection-state",
                             G_CALLBACK(+[](State* st) { st->onIceState(); }), s);
    g_signal_connect(s->webrtc, "pad-added",
                     G_CALLBACK(+[](GstElement*, GstPad* pad, State* st) { st->onIncoming(pad); }),
                     s);
    g_autoptr(GstBus) bus = gst_element_get_bus(pipeline);
    s->busWatch = gst_bus_add_watch(
        bus, [](GstBus*, GstMessage* m, gpointer st) { return static_cast<State*>(st)->onBus(m); },
        s);
    s->connectTimer = g_timeout_add_seconds(
        ConnectLimitSeconds,
        [](gpointer st) {
            auto* self = static_cast<State*>(st);
            self->connectTimer = 0;
            GstWebRTCICEConnectionState state = GST_WEBRTC_ICE_CONNECTION_STATE_NEW;
            g_object_get(self->webrtc, "ice-connection-state", &state, nullptr);
            if (state != GST_WEBRTC_ICE_CONNECTION_STATE_CONNECTED &&
                state != GST_WEBRTC_ICE_CONNECTION_STATE_COMPLETED)
                self->end("the page did not connect within 30 s");
            return G_SOURCE_REMOVE;
        },
        s);
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        error = "the friend's pipeline does not play";
        return false;
    }
    return true;
}

bool DemoFriend::take(JsonObject* message, std::string& error) {
    State* s = state_.get();
    JsonNode* sdp = json_object_get_member(message, "sdp");
    JsonNode* ice = json_object_get_member(message, "ice");
    if (sdp && JSON_NODE_HOLDS_OBJECT(sdp)) {
        JsonObject* o = json_node_get_object(sdp);
        const char* type = textMember(o, "type");
        const char* text = textMember(o, "sdp");
        if (g_strcmp0(type, "answer") != 0) return error = "only an answer is taken", false;
        if (s->answered) return error = "a second answer", false;
        if (strlen(text) > MaxDescriptionBytes) return error = "the answer is too long", false;
        GstSDPMessage* parsed = nullptr;
        gst_sdp_message_new_from_text(text, &parsed);
        if (!parsed || gst_sdp_message_medias_len(parsed) == 0) {
            if (parsed) gst_sdp_message_free(parsed);
            return error = "the answer is no session description", false;
        }
        s->answered = true;
        GstWebRTCSessionDescription* answer =
            gst_webrtc_session_description_new(GST_WEBRTC_SDP_TYPE_ANSWER, parsed);
        GstPromise* promise = gst_promise_new_with_change_func(
            [](GstPromise* p, gpointer self) { static_cast<State*>(self)->onRemoteSet(p); }, s,
            nullptr);
        g_signal_emit_by_name(s->webrtc, "set-remote-description", answer, promise);
        gst_webrtc_session_description_free(answer);
        for (const auto& [line, candidate] : s->early)
            g_signal_emit_by_name(s->webrtc, "add-ice-candidate", line, candidate.c_str());
        s->early.clear();
        return true;
    }
    if (ice && JSON_NODE_HOLDS_NULL(ice)) return true;  // the page has no more candidates
    if (ice && JSON_NODE_HOLDS_OBJECT(ice)) {
        JsonObject* o = json_node_get_object(ice);
        const char* candidate = textMember(o, "candidate");
        const gint64 line = numberMember(o, "sdpMLineIndex");
        if (++s->candidates > MaxCandidates) return error = "too many candidates", false;
        if (strlen(candidate) > MaxCandidateBytes || line < 0 || line >= MediaLines)
            return error = "a malformed candidate", false;
        if (*candidate == '\0') return true;  // the end of the candidates, in the older form
        if (!s->answered)
            s->early.emplace_back(static_cast<guint>(line), candidate);
        else
            g_signal_emit_by_name(s->webrtc, "add-ice-candidate", static_cast<guint>(line),
                                  candidate);
        return true;
    }
    error = "an unknown message";
    return false;
}

}  // namespace site
