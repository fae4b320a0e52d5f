// The far end's reports of loss (RTCP receiver reports, as webrtcbin's
// statistics give them), once a second while the page sends media: the page's
// encoders lower their bitrate on loss and raise it again when it is gone.

#include "Media.h"
#include "Peer.h"

namespace callhelper {
namespace {

struct LossTarget {
    Peers* peers;
    int pc;
};

void onStatistics(GstPromise* promise, gpointer data) {
    auto* target = static_cast<LossTarget*>(data);
    if (gst_promise_wait(promise) != GST_PROMISE_RESULT_REPLIED) return;
    const GstStructure* stats = gst_promise_get_reply(promise);
    double worst = -1;
    for (int i = 0; stats && i < gst_structure_n_fields(stats); ++i) {
        const GValue* value =
            gst_structure_get_value(stats, gst_structure_nth_field_name(stats, i));
        if (!value || G_VALUE_TYPE(value) != GST_TYPE_STRUCTURE) continue;
        const GstStructure* entry = gst_value_get_structure(value);
        GstWebRTCStatsType type = GST_WEBRTC_STATS_CODEC;
        double lost = 0;
        if (gst_structure_get(entry, "type", GST_TYPE_WEBRTC_STATS_TYPE, &type, nullptr) &&
            type == GST_WEBRTC_STATS_REMOTE_INBOUND_RTP &&
            gst_structure_get_double(entry, "fraction-lost", &lost) && lost > worst)
            worst = lost;
    }
    if (worst < 0) return;
    target->peers->event(target->pc, "loss", [&](JsonBuilder* b) {
        json_builder_set_member_name(b, "value");
        json_builder_add_string_value(b, std::to_string(static_cast<int>(worst * 100)).c_str());
    });
}

gboolean askForLoss(gpointer data) {
    auto* peer = static_cast<Peer*>(data);
    if (peer->senders.empty()) return G_SOURCE_CONTINUE;
    GstPromise* promise =
        gst_promise_new_with_change_func(onStatistics, new LossTarget{peer->owner, peer->id},
                                         [](gpointer p) { delete static_cast<LossTarget*>(p); });
    g_signal_emit_by_name(peer->webrtc, "get-stats", nullptr, promise);
    gst_promise_unref(promise);
    return G_SOURCE_CONTINUE;
}

}  // namespace

void watchLoss(Peer& peer) { peer.statsTimer = g_timeout_add(1000, askForLoss, &peer); }

void endLoss(Peer& peer) {
    if (peer.statsTimer) g_source_remove(peer.statsTimer);
    peer.statsTimer = 0;
}

}  // namespace callhelper
