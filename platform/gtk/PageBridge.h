#pragma once
// The bridge between the window's handlers and one view's page. The page runs
// in another process and is reached only by script, in the client's isolated
// world:
// - writes are queued and sent in order without waiting, each wrapped so that
//   its own failure skips only itself;
// - reads send the queued writes and then wait for their answer in a nested
//   main loop, with a time limit; a read that does not answer in time throws
//   support::Failure, and further reads fail at once until the page answers
//   a cheap ping again. One handler's reads wait for the page no longer than
//   one read's limit in all, so that a page that answers each read slowly
//   holds the window's events back no longer than one that does not answer;
// - page events of subscribed objects arrive on a message channel and join
//   the event queue.
// Every handle carries the generation of the document it came from; a new
// document makes the handles of the old one fail.
// Used on the user-interface thread only.

#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Page.h"
#include "platform/gtk/EventQueue.h"
#include "platform/gtk/PageRead.h"
#include "platform/gtk/HandlerSnapshot.h"
#include "platform/gtk/PageSubscriptions.h"

namespace gtkui {

class PageBridge : public std::enable_shared_from_this<PageBridge> {
public:
    PageBridge(WebKitWebView* view, std::weak_ptr<EventQueue> queue,
               std::shared_ptr<PageHealth> health);
    ~PageBridge();

    // The view the bridge works on, when it is made after the bridge.
    void attach(WebKitWebView* view) { view_ = view; }
    // The view is gone: every operation fails from now on.
    void detach();
    // A new top-level document has been committed.
    void pageCommitted();
    unsigned generation() const { return generation_; }

    // The current top-level HTML document, or an empty reference.
    platform::DocumentRef document();

    // Runs expression (after the queued writes) and returns its value as text.
    std::string read(unsigned generation, const std::string& expression);
    // Queues one statement.
    void write(unsigned generation, const std::string& statement);
    // Queues one inline style assignment of a registry handle; sent as data,
    // with each text once per batch, since a page's theming makes thousands.
    void writeStyle(unsigned generation, int handle, const std::string& property,
                    const std::string& value);
    // Sends the queued writes now.
    void flush();
    // The handle is no longer held by the client.
    void release(unsigned generation, int handle);
    int allocateHandle() { return nextClientHandle_--; }

    // target 0 is the document.
    std::unique_ptr<platform::Subscription> subscribe(unsigned generation, int target,
                                                      const std::vector<platform::Listen>& events,
                                                      platform::PageEventSink sink);
    // A message from the page's event channel.
    void onEventMessage(const std::string& message);

    // Called with the page's viewport size (page pixels) whenever it changes,
    // once the page's document has been asked for.
    void setOnViewport(std::function<void(int width, int height)> report) {
        onViewport_ = std::move(report);
    }
    // Called when the page replaced its whole document after the client's
    // mark-up went into it (document.open): the mark-up is gone.
    void setOnDocumentReplaced(std::function<void()> report) {
        onDocumentReplaced_ = std::move(report);
    }

    void setReadTimeout(std::chrono::milliseconds limit) { readTimeout_ = limit; }

    // What the running handler has read of the page (see HandlerSnapshot).
    using Change = HandlerSnapshot::Change;
    void changed(Change change) { snapshot_.changed(change); }
    // The running handler has returned: what its reads recorded of the page
    // ends, and the next handler may wait for the page again.
    void endHandler() {
        snapshot_.end();
        waitedInHandler_ = 0;
    }
    HandlerSnapshot& snapshot() { return snapshot_; }

    // Reads that waited for the page, by every bridge of the process (benchmarks
    // count them per handler).
    static unsigned long roundTrips();

private:
    class SubscriptionImpl;

    struct Write {
        std::string statement;
        // A run of style assignments: handle, property and value as text indexes.
        std::vector<std::string> styles;
    };

    void check(unsigned generation) const;
    void unsubscribe(int id);
    void scheduleFlush();
    std::string takeWrites();
    // The runtime's object in this page, or `failure` when the document changed.
    std::string inRuntime(const std::string& body, const char* failure) const;
    // Waits for script within what is left of the running handler's time.
    std::string evaluate(const std::string& script, std::string_view what);

    WebKitWebView* view_;
    std::weak_ptr<EventQueue> queue_;
    unsigned afterEvent_ = 0;  // this bridge's hook in the queue
    std::shared_ptr<PageHealth> health_;
    unsigned generation_ = 0;
    bool committed_ = false;
    std::string token_;
    platform::DocumentRef document_;
    std::vector<Write> writes_;
    HandlerSnapshot snapshot_;
    std::vector<int> releases_;
    bool flushScheduled_ = false;
    int nextClientHandle_ = -1;
    PageSubscriptions subscriptions_;
    std::function<void(int, int)> onViewport_;
    std::function<void()> onDocumentReplaced_;
    // Long enough for a page that runs a script for ten seconds: meanwhile the
    // window still redraws and takes input (queued), and a close request ends
    // the wait. Only the first read waits; the next ones fail at once.
    std::chrono::milliseconds readTimeout_{15000};
    gint64 waitedInHandler_ = 0;  // microseconds
};

}  // namespace gtkui
