#pragma once
// The helper's media: VP8 and Opus as the page encodes and decodes them.
// What the page sends arrives as encoded frames for a transceiver (by its
// index in webrtcbin's list) and goes appsrc -> payloader -> webrtcbin; what
// the far end sends goes webrtcbin -> depayloader -> appsink and back to the
// page as encoded frames. The far end's keyframe requests and its reports
// of loss go to the page, whose encoder acts on them.

#include <json-glib/json-glib.h>

#include <string>

namespace callhelper {

struct Peer;

// Listens for the far end's media and watches its reports of loss.
void watchMedia(Peer& peer);
// "transceiver", "direction" and "media"; false for another command.
bool mediaCommand(Peer& peer, const std::string& op, JsonObject* message, gint64 request);
// Transceivers made from the far end's offer get VP8 or Opus as their codec,
// so that an answer never names a codec the page cannot decode.
void preferPageCodecs(Peer& peer);
// A "transceivers" member: [{index, kind, mid, mline, direction, current}].
void addTransceivers(JsonBuilder* b, Peer& peer);
// Drops the send paths.
void endMedia(Peer& peer);
// Reports the far end's loss to the page once a second while it sends.
void watchLoss(Peer& peer);
void endLoss(Peer& peer);

}  // namespace callhelper
