#pragma once
// A field that holds a page object and, while it holds one, routes the
// object's events to the handlers of the subsystem that owns the field.
// Emptying the field ends the routing. Binding an object of the wrong kind
// fails and keeps the previous value.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Page.h"

namespace common {

class EventBoundRef {
public:
    struct Handler {
        platform::PageEvent event;
        std::function<void()> run;
        // Whether the page's default action (a link's navigation, a selection,
        // the context menu) is cancelled. It is decided here, when the field
        // subscribes, and carried out inside the page at the moment the event
        // happens: the page runs in another process and does not wait for the
        // handler, so a handler's result would come too late to cancel anything.
        bool cancelsDefault;
    };

    // requiredTag: the element kind the field takes ("SPAN", "BODY"); empty
    // for a field that holds the document.
    EventBoundRef(std::string requiredTag, std::vector<Handler> handlers);
    EventBoundRef(const EventBoundRef&) = delete;
    EventBoundRef& operator=(const EventBoundRef&) = delete;

    void bind(const platform::ElementRef& element);
    void bind(const platform::DocumentRef& document);
    void clear();

    bool bound() const { return subscription_ != nullptr; }
    const platform::ElementRef& element() const { return element_; }
    const platform::DocumentRef& document() const { return document_; }

private:
    std::unique_ptr<platform::Subscription> subscribe(platform::EventTarget& target);
    void dispatch(platform::PageEvent event);

    std::string requiredTag_;
    std::vector<Handler> handlers_;
    platform::ElementRef element_;
    platform::DocumentRef document_;
    std::unique_ptr<platform::Subscription> subscription_;
};

}  // namespace common
