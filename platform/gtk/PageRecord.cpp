#include "platform/gtk/PageRecord.h"

#include <algorithm>
#include <cstdio>

#include "platform/Split.h"
#include "platform/gtk/BridgeScript.h"
#include "platform/gtk/EventQueue.h"

namespace gtkui {

bool PageRecord::recording() const {
    auto queue = queue_.lock();
    return queue && queue->running();
}

void PageRecord::changed(Change change) {
    layout_ = ++marks_;
    if (change == Change::Tree) tree_ = ++marks_;
}

void PageRecord::end() {
    changed(Change::Tree);
    rootPrimed_ = false;
    // The recorded elements release their handles as they go.
    std::map<std::string, platform::ElementRef> dropped;
    dropped.swap(lookups_);
}

void PageRecord::newDocument() {
    end();
    knowsRootSize_ = false;
}

bool PageRecord::lookup(const std::string& id, platform::ElementRef& element) const {
    if (!recording() || lookupsTree_ != tree_) return false;
    auto found = lookups_.find(id);
    if (found == lookups_.end()) return false;
    element = found->second;
    return true;
}

void PageRecord::keepLookup(const std::string& id, platform::ElementRef element) {
    if (knownIds_.size() < 64 &&
        std::find(knownIds_.begin(), knownIds_.end(), id) == knownIds_.end())
        knownIds_.push_back(id);
    if (!recording()) return;
    if (lookupsTree_ != tree_) {
        std::map<std::string, platform::ElementRef> dropped;
        dropped.swap(lookups_);
        lookupsTree_ = tree_;
    }
    lookups_[id] = std::move(element);
}

bool PageRecord::rootSize(int& width, int& height) const {
    if (!recording() || rootLayout_ != layout_) return false;
    width = rootWidth_;
    height = rootHeight_;
    return true;
}

void PageRecord::keepRootSize(int width, int height) {
    knowsRootSize_ = true;
    if (!recording()) return;
    rootWidth_ = width;
    rootHeight_ = height;
    rootLayout_ = layout_;
}

std::string PageRecord::primeScript() {
    if (!recording() || primedTree_ == tree_) return {};
    // The document element's size only with the handler's first read: later
    // in a handler it would force a layout of the page's pending changes.
    const bool root = knowsRootSize_ && !rootPrimed_;
    if (!root && knownIds_.empty()) return {};
    std::string script = "R.prime([";
    for (size_t k = 0; k < knownIds_.size(); ++k) {
        if (k) script += ",";
        script += jsString(knownIds_[k]);
    }
    return script + "]," + (root ? "true" : "false") + ")";
}

void PageRecord::takePrime(
    const std::string& answer,
    const std::function<platform::ElementRef(const std::string&)>& elementOf) {
    const unsigned tree = tree_, layout = layout_;
    const std::vector<std::string> parts = platform::split(answer, '\x1c');
    if (parts.size() != knownIds_.size() + 1) return;
    primedTree_ = tree;
    int width = 0, height = 0;
    if (!parts[0].empty() && std::sscanf(parts[0].c_str(), "%d\x1f%d", &width, &height) == 2) {
        rootPrimed_ = true;
        rootWidth_ = width;
        rootHeight_ = height;
        rootLayout_ = layout;
    }
    for (size_t k = 0; k < knownIds_.size(); ++k) {
        try {
            keepLookup(knownIds_[k], elementOf(parts[k + 1]));
        } catch (const platform::Failure&) {
        }
    }
}

}  // namespace gtkui
