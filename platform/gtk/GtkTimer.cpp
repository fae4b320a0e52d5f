#include "platform/gtk/GtkTimer.h"

namespace gtkui {

GtkTimer::~GtkTimer() {
    if (source_) g_source_remove(source_);
}

void GtkTimer::setEnabled(bool enabled) {
    if (enabled && !source_) {
        source_ = g_timeout_add(intervalMs_, onTick, this);
    } else if (!enabled && source_) {
        g_source_remove(source_);
        source_ = 0;
    }
}

gboolean GtkTimer::onTick(gpointer data) {
    auto* self = static_cast<GtkTimer*>(data);
    if (self->tickQueued_) return G_SOURCE_CONTINUE;
    self->tickQueued_ = true;
    self->queue_->post([self, alive = self->liveness_.watch()] {
        if (!alive.alive()) return;
        self->tickQueued_ = false;
        // Disabled while the tick waited: no tick.
        if (self->source_ && self->tick_) {
            auto tick = self->tick_;
            tick();
        }
    });
    return G_SOURCE_CONTINUE;
}

}  // namespace gtkui
