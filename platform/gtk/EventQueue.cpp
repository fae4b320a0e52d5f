#include "platform/gtk/EventQueue.h"

#include "platform/gtk/StepTrace.h"
#include "support/Failure.h"

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
        // The rule of support/Failure.h: a Failure skips this event as one
        // step; anything else is a fault, which ends only this event.
        TimedStep step("a window event (a handler and what it posted)");
        try {
            support::attempt(next);
        } catch (...) {
            support::reportFault(support::currentExceptionText());
        }
        const auto hooks = afterEvent_;  // a hook may remove one
        for (const auto& [hook, call] : hooks) call();
    }
    running_ = false;
}

EventQueue::Hook EventQueue::addAfterEvent(std::function<void()> hook) {
    afterEvent_.emplace(++lastHook_, std::move(hook));
    return lastHook_;
}

void EventQueue::removeAfterEvent(Hook hook) { afterEvent_.erase(hook); }

void EventQueue::close() {
    closed_ = true;
    queue_.clear();
}

}  // namespace gtkui
