#pragma once
// The one queue through which every call into the window's handlers passes.
//
// Handlers run one at a time and to their end: an event posted while a
// handler runs (from a nested main loop of a page read or a modal dialog, a
// page script, a timer) waits until that handler has returned. After close()
// queued and newly posted events are dropped, so nothing reaches a window
// that is gone. An exception escaping an event is dealt with as
// support/Failure.h says. Used on the user-interface thread only.

#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "support/ThreadOwner.h"

namespace gtkui {

class EventQueue {
public:
    using Event = std::function<void()>;

    // Runs the event now when no handler is running, else after the running
    // one (and everything queued before it) has returned.
    void post(Event event);
    // Drops every queued event and every event posted from now on.
    void close();
    // Whether a handler is running now.
    bool running() const { return running_; }
    // Calls hook after each event has run, until removed: each page bridge
    // sends the writes the handler queued and ends its handler snapshot.
    using Hook = unsigned;
    Hook addAfterEvent(std::function<void()> hook);
    void removeAfterEvent(Hook hook);

private:
    support::ThreadOwner uiThread_;
    std::deque<Event> queue_;
    std::map<Hook, std::function<void()>> afterEvent_;  // in the order added
    Hook lastHook_ = 0;
    bool running_ = false;
    bool closed_ = false;
};

}  // namespace gtkui
