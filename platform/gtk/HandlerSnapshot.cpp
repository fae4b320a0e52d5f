#include "platform/gtk/HandlerSnapshot.h"

#include <algorithm>
#include <cstdio>

#include "support/Split.h"
#include "platform/gtk/BridgeScript.h"
#include "platform/gtk/EventQueue.h"

namespace gtkui {

bool HandlerSnapshot::snapshotOpen() const {
    auto queue = queue_.lock();
    return queue && queue->running();
}

void HandlerSnapshot::changed(Change change) {
    layout_ = ++marks_;
    if (change == Change::Tree) tree_ = ++marks_;
}

void HandlerSnapshot::end() {
    // The handler's last collection was followed by none.
    if (!lastCollection_.empty()) nextCollection_.erase(lastCollection_);
    lastCollection_.clear();
    changed(Change::Tree);
    rootPrimed_ = false;
    // The snapshot's elements release their handles as they go.
    std::map<std::string, platform::ElementRef> dropped;
    dropped.swap(lookups_);
    std::map<std::string, platform::ElementCollection> droppedCollections;
    droppedCollections.swap(collections_);
    body_ = {};
}

void HandlerSnapshot::newDocument() {
    end();
    knowsRootSize_ = false;
}

bool HandlerSnapshot::body(platform::ElementRef& element) const {
    if (!snapshotOpen() || bodyTree_ != tree_ || !body_) return false;
    element = body_;
    return true;
}

void HandlerSnapshot::keepBody(platform::ElementRef element) {
    knowsBody_ = true;
    if (!snapshotOpen()) return;
    body_ = std::move(element);
    bodyTree_ = tree_;
}

bool HandlerSnapshot::collection(const std::string& tag, platform::ElementCollection& items) {
    if (!snapshotOpen() || collectionsTree_ != tree_) return false;
    auto found = collections_.find(tag);
    if (found == collections_.end()) return false;
    items = found->second;
    return true;
}

std::vector<std::string> HandlerSnapshot::collectionsAfter(const std::string& tag) const {
    std::vector<std::string> after;
    if (!snapshotOpen()) return after;
    std::string at = tag;
    for (auto next = nextCollection_.find(at); next != nextCollection_.end() && after.size() < 8;
         next = nextCollection_.find(at)) {
        at = next->second;
        if (at == tag || std::find(after.begin(), after.end(), at) != after.end()) break;
        after.push_back(at);
    }
    return after;
}

void HandlerSnapshot::keepCollection(const std::string& tag, platform::ElementCollection items) {
    if (!snapshotOpen()) return;
    if (collectionsTree_ != tree_) {
        std::map<std::string, platform::ElementCollection> dropped;
        dropped.swap(collections_);
        collectionsTree_ = tree_;
    }
    collections_[tag] = std::move(items);
}

void HandlerSnapshot::readCollection(const std::string& tag) {
    if (!snapshotOpen()) return;
    if (!lastCollection_.empty()) {
        if (lastCollectionTree_ == tree_)
            nextCollection_[lastCollection_] = tag;
        else
            nextCollection_.erase(lastCollection_);
    }
    lastCollection_ = tag;
    lastCollectionTree_ = tree_;
}

bool HandlerSnapshot::lookup(const std::string& id, platform::ElementRef& element) const {
    if (!snapshotOpen() || lookupsTree_ != tree_) return false;
    auto found = lookups_.find(id);
    if (found == lookups_.end()) return false;
    element = found->second;
    return true;
}

void HandlerSnapshot::keepLookup(const std::string& id, platform::ElementRef element) {
    if (knownIds_.size() < 64 &&
        std::find(knownIds_.begin(), knownIds_.end(), id) == knownIds_.end())
        knownIds_.push_back(id);
    if (!snapshotOpen()) return;
    if (lookupsTree_ != tree_) {
        std::map<std::string, platform::ElementRef> dropped;
        dropped.swap(lookups_);
        lookupsTree_ = tree_;
    }
    lookups_[id] = std::move(element);
}

bool HandlerSnapshot::rootSize(int& width, int& height) const {
    if (!snapshotOpen() || rootLayout_ != layout_) return false;
    width = rootWidth_;
    height = rootHeight_;
    return true;
}

void HandlerSnapshot::keepRootSize(int width, int height) {
    knowsRootSize_ = true;
    if (!snapshotOpen()) return;
    rootWidth_ = width;
    rootHeight_ = height;
    rootLayout_ = layout_;
}

std::string HandlerSnapshot::primeScript() {
    if (!snapshotOpen() || primedTree_ == tree_) return {};
    // The document element's size only with the handler's first read: later
    // in a handler it would force a layout of the page's pending changes.
    const bool root = knowsRootSize_ && !rootPrimed_;
    if (!root && knownIds_.empty() && !knowsBody_) return {};
    primedBody_ = knowsBody_;
    // null stands for the body.
    std::string script = std::string("R.prime([") + (primedBody_ ? "null" : "");
    for (size_t k = 0; k < knownIds_.size(); ++k) {
        if (k || primedBody_) script += ",";
        script += jsString(knownIds_[k]);
    }
    return script + "]," + (root ? "true" : "false") + ")";
}

void HandlerSnapshot::takePrime(
    const std::string& answer,
    const std::function<platform::ElementRef(const std::string&)>& elementOf) {
    const unsigned tree = tree_, layout = layout_;
    const std::vector<std::string> parts = support::split(answer, '\x1c');
    const size_t first = primedBody_ ? 2 : 1;
    if (parts.size() != knownIds_.size() + first) return;
    primedTree_ = tree;
    if (primedBody_) {
        try {
            keepBody(elementOf(parts[1]));
        } catch (const support::Failure&) {
        }
    }
    int width = 0, height = 0;
    if (!parts[0].empty() && std::sscanf(parts[0].c_str(), "%d\x1f%d", &width, &height) == 2) {
        rootPrimed_ = true;
        rootWidth_ = width;
        rootHeight_ = height;
        rootLayout_ = layout;
    }
    for (size_t k = 0; k < knownIds_.size(); ++k) {
        try {
            keepLookup(knownIds_[k], elementOf(parts[k + first]));
        } catch (const support::Failure&) {
        }
    }
}

}  // namespace gtkui
