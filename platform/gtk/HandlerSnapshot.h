#pragma once
// A snapshot of one view's page, kept for the running handler.
//
// A handler's first read also brings back what the handler will likely read
// next: the document element's size, and the elements of ids looked up on
// this view before. Facts that reads and collections told are answered from
// the snapshot until the handler returns. A write of the handler that could
// change a value in it ends that part of the snapshot: Layout for sizes,
// Tree for everything. Outside a handler no snapshot is open and every read
// asks the page.
//
// Answering from one snapshot also gives a handler the one consistent page it
// expects: the page's own scripts may run between two round trips.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Page.h"

namespace gtkui {

class EventQueue;

class HandlerSnapshot {
public:
    enum class Change { Layout, Tree };

    // A handler runs while the queue runs an event.
    explicit HandlerSnapshot(std::weak_ptr<EventQueue> queue) : queue_(std::move(queue)) {}

    void changed(Change change);
    // The handler has returned.
    void end();
    // A new document: nothing learned about the old one's size holds.
    void newDocument();

    // Marks to compare with: 0 (never current) outside a handler.
    unsigned treeMark() const { return snapshotOpen() ? tree_ : 0; }
    unsigned layoutMark() const { return snapshotOpen() ? layout_ : 0; }

    // A lookup by id in the current snapshot. Every id looked up is learned,
    // so that the first read of a later handler brings its element along.
    bool lookup(const std::string& id, platform::ElementRef& element) const;
    void keepLookup(const std::string& id, platform::ElementRef element);
    // The document element's offset size in the current snapshot.
    bool rootSize(int& width, int& height) const;
    void keepRootSize(int width, int height);
    // The document's body in the current snapshot; once read, later handlers'
    // first reads bring it along.
    bool body(platform::ElementRef& element) const;
    void keepBody(platform::ElementRef element);

    // The document's collections by tag (upper case). A handler that reads a
    // collection and then, with no change of the tree between, another one,
    // is likely to do so again: the first read of such a run also brings the
    // collections that followed it last time (collectionsAfter), and they are
    // answered from the snapshot while the tree stays as it was.
    bool collection(const std::string& tag, platform::ElementCollection& items);
    std::vector<std::string> collectionsAfter(const std::string& tag) const;
    void keepCollection(const std::string& tag, platform::ElementCollection items);
    // The handler has read tag's collection (from the page or the snapshot).
    void readCollection(const std::string& tag);

    // The expression to send ahead of a read's own ("" when nothing is due),
    // and the use of its answer; elementOf builds an element from R.one's answer.
    std::string primeScript();
    void takePrime(const std::string& answer,
                   const std::function<platform::ElementRef(const std::string&)>& elementOf);

private:
    bool snapshotOpen() const;

    std::weak_ptr<EventQueue> queue_;
    // Marks are never reused.
    unsigned marks_ = 0;
    unsigned tree_ = ++marks_, layout_ = ++marks_;
    unsigned primedTree_ = 0;
    bool rootPrimed_ = false;
    std::map<std::string, platform::ElementRef> lookups_;
    unsigned lookupsTree_ = 0;
    int rootWidth_ = 0, rootHeight_ = 0;
    unsigned rootLayout_ = 0;
    platform::ElementRef body_;
    unsigned bodyTree_ = 0;
    bool knowsBody_ = false;
    std::map<std::string, platform::ElementCollection> collections_;
    unsigned collectionsTree_ = 0;
    // Learned: the collection read after each one with the tree unchanged.
    std::map<std::string, std::string> nextCollection_;
    std::string lastCollection_;
    unsigned lastCollectionTree_ = 0;
    // Learned on this view: ids looked up and whether the document element's
    // size is read. Hints only: a wrong guess costs a lookup in the page.
    std::vector<std::string> knownIds_;
    bool knowsRootSize_ = false;
    bool primedBody_ = false;  // the pending prime brings the body
};

}  // namespace gtkui
