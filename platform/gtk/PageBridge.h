#pragma once
// The bridge between the window's handlers and one view's page. The page runs
// in another process and is reached only by script, in the client's isolated
// world:
// - writes are queued and sent in order without waiting, each wrapped so that
//   its own failure skips only itself;
// - reads send the queued writes and then wait for their answer in a nested
//   main loop, with a time limit; a read that does not answer in time throws
//   platform::Failure, and further reads fail at once until the page answers
//   a cheap ping again;
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

namespace gtkui {

// Whether the web process answers. Shared by the views of one web process:
// a page that loops blocks them all.
struct PageHealth {
    bool unresponsive = false;
    bool pinging = false;
    // The window is asked to close: a waiting read gives up at once, so that
    // the close request does not wait for a page that does not answer.
    bool closing = false;
    GMainLoop* waiting = nullptr;

    void setClosing(bool value) {
        closing = value;
        if (value && waiting) g_main_loop_quit(waiting);
    }
};

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

    void setReadTimeout(std::chrono::milliseconds limit) { readTimeout_ = limit; }

    // The record of the page kept for the running handler. The first read of
    // a handler also brings back what the handler will likely read next (the
    // document element's size, the elements of ids looked up on this page
    // before); facts that reads and collections told are answered from it
    // until the handler returns. A write that could change a recorded value
    // ends that part of the record: Layout for sizes, Tree for everything.
    // Outside a handler nothing is recorded and every read asks the page.
    enum class Change { Layout, Tree };
    void changed(Change change);
    // The handler has returned.
    void endRecord();
    // Record marks to compare with: 0 (never current) outside a handler.
    unsigned treeRecord() const { return recording() ? tree_ : 0; }
    unsigned layoutRecord() const { return recording() ? layout_ : 0; }
    // A lookup by id in the current record. Every id looked up is learned,
    // so that the first read of a later handler brings its element along.
    bool recordedLookup(const std::string& id, platform::ElementRef& element) const;
    void recordLookup(const std::string& id, platform::ElementRef element);
    // The document element's offset size in the current record.
    bool recordedRootSize(int& width, int& height) const;
    void recordRootSize(int width, int height);

    // Reads that waited for the page, by every bridge of the process (benchmarks
    // count them per handler).
    static unsigned long roundTrips();

private:
    struct Sink {
        platform::PageEventSink deliver;
        bool active = true;
    };
    class SubscriptionImpl;

    struct Write {
        std::string statement;
        // A run of style assignments: handle, property and value as text indexes.
        std::vector<std::string> styles;
    };

    bool recording() const;
    std::string primeScript();
    void takePrime(const std::string& answer);
    void check(unsigned generation) const;
    void unsubscribe(int id);
    void scheduleFlush();
    std::string takeWrites();
    std::string evaluate(const std::string& script);
    void ping();

    WebKitWebView* view_;
    std::weak_ptr<EventQueue> queue_;
    std::shared_ptr<PageHealth> health_;
    unsigned generation_ = 0;
    bool committed_ = false;
    std::string token_;
    platform::DocumentRef document_;
    std::vector<Write> writes_;
    // The record (see changed()); marks are never reused.
    unsigned marks_ = 0;
    unsigned tree_ = ++marks_, layout_ = ++marks_;
    unsigned primedTree_ = 0;
    bool rootPrimed_ = false;
    std::map<std::string, platform::ElementRef> lookups_;
    unsigned lookupsTree_ = 0;
    int rootWidth_ = 0, rootHeight_ = 0;
    unsigned rootLayout_ = 0;
    // Learned on this view: ids looked up and whether the document element's
    // size is read. Hints only: a wrong guess costs a lookup in the page.
    std::vector<std::string> knownIds_;
    bool knowsRootSize_ = false;
    std::vector<int> releases_;
    bool flushScheduled_ = false;
    int nextClientHandle_ = -1;
    int nextSubscription_ = 1;
    std::map<int, std::shared_ptr<Sink>> sinks_;
    std::function<void(int, int)> onViewport_;
    // Long enough for a page that runs a script for ten seconds: meanwhile the
    // window still redraws and takes input (queued), and a close request ends
    // the wait. Only the first read waits; the next ones fail at once.
    std::chrono::milliseconds readTimeout_{15000};
};

}  // namespace gtkui
