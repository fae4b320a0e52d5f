#pragma once
// A timer of the window: ticks every interval while enabled; each tick joins
// the event queue (a tick still waiting is not queued twice).

#include <glib.h>

#include <functional>
#include <memory>

#include "support/Liveness.h"
#include "platform/Window.h"
#include "platform/gtk/EventQueue.h"

namespace gtkui {

class GtkTimer : public platform::Timer {
public:
    // The form's resize timer.
    static constexpr unsigned IntervalMs = 100;

    explicit GtkTimer(std::shared_ptr<EventQueue> queue, unsigned intervalMs = IntervalMs)
        : queue_(std::move(queue)), intervalMs_(intervalMs) {}
    ~GtkTimer() override;
    GtkTimer(const GtkTimer&) = delete;
    GtkTimer& operator=(const GtkTimer&) = delete;

    void setEnabled(bool enabled) override;
    bool enabled() override { return source_ != 0; }
    void setHandler(std::function<void()> tick) override { tick_ = std::move(tick); }

private:
    static gboolean onTick(gpointer self);

    std::shared_ptr<EventQueue> queue_;
    unsigned intervalMs_;
    std::function<void()> tick_;
    guint source_ = 0;
    bool tickQueued_ = false;
    support::Liveness liveness_;
};

}  // namespace gtkui
