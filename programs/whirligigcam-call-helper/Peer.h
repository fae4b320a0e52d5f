#pragma once
// One peer connection of the helper: its pipeline, its webrtcbin, its data
// channels and the media paths of its transceivers.

#include <map>
#include <memory>
#include <mutex>

#include "Peers.h"

namespace callhelper {

// One transceiver's outgoing media: appsrc -> rtpvp8pay or rtpopuspay.
struct SendPath {
    GstElement* source = nullptr;
    bool video = false;
};

struct Peer {
    Peers* owner = nullptr;
    int id = 0;
    GstElement* pipeline = nullptr;
    GstElement* webrtc = nullptr;
    std::mutex channelsLock;  // remote channels arrive on GStreamer's threads
    std::map<int, GstWebRTCDataChannel*> channels;
    int nextRemote = -1;
    // What the page sends, by transceiver index (the main loop's only).
    std::map<int, std::unique_ptr<SendPath>> senders;
    guint statsTimer = 0;
};

}  // namespace callhelper
