#include "platform/gtk/EventQueue.h"

#include <cstdio>

#include "platform/Failure.h"

namespace gtkui {

void EventQueue::post(Event event) {
    if (closed_ || !event) return;
    queue_.push_back(std::move(event));
    if (running_) return;
    running_ = true;
    while (!queue_.empty() && !closed_) {
        Event next = std::move(queue_.front());
        queue_.pop_front();
        try {
            next();
        } catch (const platform::Failure& failure) {
            // Handlers skip their own failed steps; one that escapes ends only that event.
            std::fprintf(stderr, "whirligigcam: event ended by a failure: %s\n", failure.what());
        } catch (...) {
            running_ = false;
            throw;
        }
        if (afterEvent_) afterEvent_();
    }
    running_ = false;
}

void EventQueue::close() {
    closed_ = true;
    queue_.clear();
}

}  // namespace gtkui
