#pragma once
// The helper's peer connections: one webrtcbin each, in a pipeline of its
// own, driven by the client's commands; what webrtcbin reports goes back to
// the client as events.

#define GST_USE_UNSTABLE_API
#include <gst/gst.h>
#include <gst/webrtc/webrtc.h>
#include <json-glib/json-glib.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "HelperLink.h"

namespace callhelper {

struct Peer;

class Peers {
public:
    explicit Peers(HelperLink& link);
    ~Peers();
    // One command of the client ({"op": ..., "pc": id, ...}).
    void command(JsonObject* message);

    // What the signal handlers use.
    void event(int pc, const char* name, const std::function<void(JsonBuilder*)>& fields = {});
    void reply(int pc, gint64 request, const GError* error,
               const std::function<void(JsonBuilder*)>& fields = {});
    // Keeps a channel the far end opened and tells the client of it; its
    // messages, from webrtcbin's threads, are told only after that.
    void addRemoteChannel(Peer& peer, GstWebRTCDataChannel* channel);
    // The kinds of address (host, srflx, relay) the far end offered, as
    // "host" or "host, srflx"; from any thread.
    std::string offeredKinds(int pc);
    // Held while a channel's event is told (see watchChannel).
    std::mutex& channelEventsLock() { return channelEvents_; }
    // announce, when given, is told before any event of the channel.
    void watchChannel(int pc, GstWebRTCDataChannel* channel, int key,
                      const std::function<void()>& announce = {});
    // The kind of each RTP stream by its SSRC, for statistics; from any thread.
    void noteStreamKind(int pc, guint ssrc, const char* kind);
    std::map<guint, std::string> streamKinds(int pc);

private:
    void create(int pc, JsonObject* message);
    void close(int pc);
    void describe(Peer& peer, JsonObject* message, bool local, gint64 request);
    void channelCommand(Peer& peer, const char* op, JsonObject* message, gint64 request);

    HelperLink& link_;
    void noteRemoteKinds(int pc, const std::string& candidates);

    std::map<int, std::unique_ptr<Peer>> peers_;
    std::mutex kindsLock_;
    std::mutex channelEvents_;  // a channel's announcement before its events
    std::map<int, std::set<std::string>> remoteKinds_;
    std::map<int, std::map<guint, std::string>> streamKinds_;
};

}  // namespace callhelper
