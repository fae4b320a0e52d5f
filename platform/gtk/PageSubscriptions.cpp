#include "platform/gtk/PageSubscriptions.h"

#include <cstdlib>

#include "platform/gtk/EventQueue.h"

namespace gtkui {
namespace {

const char* eventName(platform::PageEvent event) {
    switch (event) {
        case platform::PageEvent::Click:
            return "click";
        case platform::PageEvent::MouseOver:
            return "mouseover";
        case platform::PageEvent::MouseOut:
            return "mouseout";
        case platform::PageEvent::SelectStart:
            return "selectstart";
        case platform::PageEvent::DragStart:
            return "dragstart";
        case platform::PageEvent::ContextMenu:
            return "contextmenu";
    }
    return "";
}

bool eventFromName(const std::string& name, platform::PageEvent& event) {
    for (auto e : {platform::PageEvent::Click, platform::PageEvent::MouseOver,
                   platform::PageEvent::MouseOut, platform::PageEvent::SelectStart,
                   platform::PageEvent::DragStart, platform::PageEvent::ContextMenu}) {
        if (name == eventName(e)) {
            event = e;
            return true;
        }
    }
    return false;
}

}  // namespace

std::string PageSubscriptions::add(int& id, const std::string& target,
                                   const std::vector<platform::Listen>& events,
                                   platform::PageEventSink sink) {
    id = nextId_++;
    std::string list;
    for (const platform::Listen& listen : events) {
        if (!list.empty()) list += ",";
        list += std::string("['") + eventName(listen.event) + "'," +
                (listen.cancelDefault ? "true" : "false") + "]";
    }
    sinks_[id] = std::make_shared<Sink>(Sink{std::move(sink)});
    return "R.listen(" + std::to_string(id) + "," + target + ",[" + list + "])";
}

std::string PageSubscriptions::remove(int id) {
    auto found = sinks_.find(id);
    if (found == sinks_.end()) return {};
    found->second->active = false;
    sinks_.erase(found);
    return "R.unlisten(" + std::to_string(id) + ")";
}

void PageSubscriptions::clear() {
    for (auto& [id, sink] : sinks_) sink->active = false;
    sinks_.clear();
}

void PageSubscriptions::deliver(const std::string& id, const std::string& name) {
    platform::PageEvent event;
    if (!eventFromName(name, event)) return;
    auto found = sinks_.find(std::atoi(id.c_str()));
    if (found == sinks_.end()) return;
    auto queue = queue_.lock();
    if (!queue) return;
    std::weak_ptr<Sink> sink = found->second;
    queue->post([sink, event] {
        auto s = sink.lock();
        if (s && s->active) {
            auto deliver = s->deliver;  // the handler may end this very subscription
            deliver(event);
        }
    });
}

}  // namespace gtkui
