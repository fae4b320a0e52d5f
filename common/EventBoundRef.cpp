#include "common/EventBoundRef.h"

namespace common {

using support::Failure;

EventBoundRef::EventBoundRef(std::string requiredTag, std::vector<Handler> handlers)
    : requiredTag_(std::move(requiredTag)), handlers_(std::move(handlers)) {}

std::unique_ptr<platform::Subscription> EventBoundRef::subscribe(platform::EventTarget& target) {
    std::vector<platform::Listen> listens;
    for (const Handler& h : handlers_) listens.push_back({h.event, h.cancelsDefault});
    return target.subscribe(std::move(listens), [this](platform::PageEvent e) { dispatch(e); });
}

void EventBoundRef::bind(const platform::ElementRef& element) {
    if (requiredTag_.empty()) throw Failure("this field holds a document");
    if (element->tagName() != requiredTag_) throw Failure("element of the wrong kind");
    auto subscription = subscribe(*element);
    subscription_ = std::move(subscription);
    element_ = element;
    document_.reset();
}

void EventBoundRef::bind(const platform::DocumentRef& document) {
    if (!requiredTag_.empty()) throw Failure("this field holds an element");
    auto subscription = subscribe(*document);
    subscription_ = std::move(subscription);
    document_ = document;
    element_.reset();
}

void EventBoundRef::clear() {
    subscription_.reset();
    element_.reset();
    document_.reset();
}

void EventBoundRef::dispatch(platform::PageEvent event) {
    for (const Handler& h : handlers_) {
        if (h.event == event) {
            // Copy: the handler may empty this very field while it runs.
            auto run = h.run;
            run();
            return;
        }
    }
}

}  // namespace common
