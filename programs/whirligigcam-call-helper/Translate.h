#pragma once
// Between the client's JSON and GStreamer's values: the configuration of a
// connection, a data channel's options and fields, and statistics in the
// names that pages read.

#define GST_USE_UNSTABLE_API
#include <gst/gst.h>
#include <gst/webrtc/webrtc.h>
#include <json-glib/json-glib.h>

#include <map>
#include <string>

namespace callhelper {

std::string memberString(JsonObject* object, const char* name);
gint64 memberInt(JsonObject* object, const char* name, gint64 otherwise);
// The nick of an enum property ("have-local-offer", "connected").
std::string enumNick(GObject* object, const char* property);
// iceServers (STUN and TURN) and iceTransportPolicy of the message's "config".
void applyConfiguration(GstElement* webrtc, JsonObject* message);
GstStructure* channelOptions(JsonObject* message);
void addChannelFields(JsonBuilder* b, GstWebRTCDataChannel* channel);
// A "stats" member: an object of reports by id, in camelCase field names;
// an RTP stream's kind ("audio", "video") from kinds by its SSRC.
void addStats(JsonBuilder* b, const GstStructure* stats, const std::map<guint, std::string>& kinds);
// host, srflx, prflx or relay: the far end's address in use ("" if unknown).
std::string remoteKind(const GstStructure* stats);

}  // namespace callhelper
