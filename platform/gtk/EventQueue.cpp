#include "platform/gtk/EventQueue.h"

#include <exception>
#include <string>

#include "platform/Failure.h"
#include "platform/Log.h"

namespace gtkui {

void EventQueue::post(Event event) {
    uiThread_.check("EventQueue::post");
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
            platform::logWarning(std::string("an event ended early: ") + failure.what());
        } catch (const std::exception& error) {
            // Nothing a page or the network sends may end the program: an
            // exception (out of memory, a broken invariant) ends only this event.
            platform::logWarning(std::string("an event ended by an exception: ") + error.what());
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
