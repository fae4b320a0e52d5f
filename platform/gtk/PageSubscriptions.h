#pragma once
// The page events that handlers subscribed to: the statements that make the
// page's listeners, and the delivery of the page's event messages to the
// event queue. The page decides at subscription whether an event's default
// action is cancelled: it runs in another process and does not wait for the
// client's handler.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Page.h"

namespace gtkui {

class EventQueue;

class PageSubscriptions {
public:
    explicit PageSubscriptions(std::weak_ptr<EventQueue> queue) : queue_(std::move(queue)) {}

    // Keeps sink under a new id and returns the page statement that listens
    // on target (a page expression) for events.
    std::string add(int& id, const std::string& target, const std::vector<platform::Listen>& events,
                    platform::PageEventSink sink);
    // Ends a subscription; the statement that ends the page's listeners, or
    // "" when there was none.
    std::string remove(int id);
    // A new document: no subscription of the old one delivers any more.
    void clear();
    // Queues the event of one page message ("<id>" and the event's name).
    void deliver(const std::string& id, const std::string& eventName);

private:
    struct Sink {
        platform::PageEventSink deliver;
        bool active = true;
    };

    std::weak_ptr<EventQueue> queue_;
    int nextId_ = 1;
    std::map<int, std::shared_ptr<Sink>> sinks_;
};

}  // namespace gtkui
