#include "platform/gtk/PageBridge.h"

#include <algorithm>
#include <cstdio>

#include "platform/Split.h"
#include "platform/gtk/BridgeScript.h"
#include "platform/gtk/PageObjects.h"

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

unsigned long waitedReads = 0;

// One evaluation waited for in a nested loop. Shared with the completion,
// which may arrive after the wait has given up.
struct PendingRead {
    GMainLoop* loop = nullptr;
    bool done = false;
    bool failed = false;
    bool timedOut = false;
    std::string value;
};

void readFinished(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::shared_ptr<PendingRead>> holder(
        static_cast<std::shared_ptr<PendingRead>*>(data));
    PendingRead& pending = **holder;
    g_autoptr(GError) error = nullptr;
    g_autoptr(JSCValue) value =
        webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (value) {
        g_autofree gchar* text = jsc_value_to_string(value);
        pending.value = text ? text : "";
    } else {
        pending.failed = true;
        pending.value = error ? error->message : "script failed";
    }
    pending.done = true;
    if (pending.loop) g_main_loop_quit(pending.loop);
}

}  // namespace

class PageBridge::SubscriptionImpl : public platform::Subscription {
public:
    SubscriptionImpl(std::weak_ptr<PageBridge> bridge, int id)
        : bridge_(std::move(bridge)), id_(id) {}
    ~SubscriptionImpl() override {
        if (auto bridge = bridge_.lock()) bridge->unsubscribe(id_);
    }

private:
    std::weak_ptr<PageBridge> bridge_;
    int id_;
};

PageBridge::PageBridge(WebKitWebView* view, std::weak_ptr<EventQueue> queue,
                       std::shared_ptr<PageHealth> health)
    : view_(view), queue_(std::move(queue)), health_(std::move(health)) {}

PageBridge::~PageBridge() = default;

void PageBridge::detach() {
    view_ = nullptr;
    pageCommitted();
}

void PageBridge::pageCommitted() {
    ++generation_;
    committed_ = view_ != nullptr;
    token_.clear();
    document_.reset();
    writes_.clear();
    releases_.clear();
    endRecord();
    knowsRootSize_ = false;
    for (auto& [id, sink] : sinks_) sink->active = false;
    sinks_.clear();
}

void PageBridge::check(unsigned generation) const {
    if (!view_) throw platform::Failure("the view is gone");
    if (generation != generation_ || token_.empty())
        throw platform::Failure("the document is no longer current");
}

platform::DocumentRef PageBridge::document() {
    if (!view_ || !committed_) return {};
    if (document_) return document_;
    // Installs the runtime in this page and learns its token.
    std::string answer;
    try {
        answer = evaluate(std::string(RuntimeScript) +
                          ";document instanceof HTMLDocument ? __wgR.token : ''");
    } catch (const platform::Failure&) {
        return {};
    }
    if (answer.empty() || answer == "undefined") return {};
    token_ = answer;
    document_ =
        platform::DocumentRef(std::make_shared<PageDocument>(shared_from_this(), generation_));
    return document_;
}

bool PageBridge::recording() const {
    auto queue = queue_.lock();
    return queue && queue->running();
}

void PageBridge::changed(Change change) {
    layout_ = ++marks_;
    if (change == Change::Tree) tree_ = ++marks_;
}

void PageBridge::endRecord() {
    changed(Change::Tree);
    rootPrimed_ = false;
    // The recorded elements release their handles as they go.
    std::map<std::string, platform::ElementRef> dropped;
    dropped.swap(lookups_);
}

bool PageBridge::recordedLookup(const std::string& id, platform::ElementRef& element) const {
    if (!recording() || lookupsTree_ != tree_) return false;
    auto found = lookups_.find(id);
    if (found == lookups_.end()) return false;
    element = found->second;
    return true;
}

void PageBridge::recordLookup(const std::string& id, platform::ElementRef element) {
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

bool PageBridge::recordedRootSize(int& width, int& height) const {
    if (!recording() || rootLayout_ != layout_) return false;
    width = rootWidth_;
    height = rootHeight_;
    return true;
}

void PageBridge::recordRootSize(int width, int height) {
    knowsRootSize_ = true;
    if (!recording()) return;
    rootWidth_ = width;
    rootHeight_ = height;
    rootLayout_ = layout_;
}

std::string PageBridge::primeScript() {
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
    return script + "]," + (root ? "true" : "false") + ")+'\x1d'+";
}

void PageBridge::takePrime(const std::string& answer) {
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
            recordLookup(knownIds_[k],
                         elementFromAnswer(shared_from_this(), generation_, parts[k + 1]));
        } catch (const platform::Failure&) {
        }
    }
}

std::string PageBridge::takeWrites() {
    if (writes_.empty() && releases_.empty()) return {};
    std::string batch = "const w=f=>{try{f()}catch(e){}};";
    // The texts of the batch's style assignments, each once.
    std::map<std::string, int> index;
    std::string texts;
    auto text = [&](const std::string& t) {
        auto [it, added] = index.emplace(t, static_cast<int>(index.size()));
        if (added) texts += (texts.empty() ? "" : ",") + jsString(t);
        return std::to_string(it->second);
    };
    for (const Write& write : writes_) {
        if (write.styles.empty()) {
            batch += "w(()=>{" + write.statement + "});";
            continue;
        }
        batch += "R.styles(T,[";
        for (size_t k = 0; k < write.styles.size(); k += 3) {
            if (k) batch += ",";
            batch +=
                write.styles[k] + "," + text(write.styles[k + 1]) + "," + text(write.styles[k + 2]);
        }
        batch += "]);";
    }
    if (!texts.empty()) batch = "const T=[" + texts + "];" + batch;
    writes_.clear();
    // Handles are never reused, so releasing after this batch's writes is safe.
    if (!releases_.empty()) {
        batch += "w(()=>R.rel([";
        for (size_t k = 0; k < releases_.size(); ++k) {
            if (k) batch += ",";
            batch += std::to_string(releases_[k]);
        }
        batch += "]));";
        releases_.clear();
    }
    return batch;
}

void PageBridge::flush() {
    std::string batch = takeWrites();
    if (batch.empty() || !view_) return;
    std::string script = "(()=>{const R=globalThis.__wgR;if(!R||R.token!==" + jsString(token_) +
                         ")return;" + batch + "})();undefined";
    webkit_web_view_evaluate_javascript(view_, script.c_str(), static_cast<gssize>(script.size()),
                                        ScriptWorld, nullptr, nullptr, nullptr, nullptr);
}

void PageBridge::scheduleFlush() {
    if (flushScheduled_) return;
    flushScheduled_ = true;
    auto* weak = new std::weak_ptr<PageBridge>(weak_from_this());
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            auto* w = static_cast<std::weak_ptr<PageBridge>*>(data);
            if (auto bridge = w->lock()) {
                bridge->flushScheduled_ = false;
                bridge->flush();
            }
            return G_SOURCE_REMOVE;
        },
        weak, [](gpointer data) { delete static_cast<std::weak_ptr<PageBridge>*>(data); });
}

void PageBridge::write(unsigned generation, const std::string& statement) {
    check(generation);
    writes_.push_back({statement, {}});
    scheduleFlush();
}

void PageBridge::writeStyle(unsigned generation, int handle, const std::string& property,
                            const std::string& value) {
    check(generation);
    if (writes_.empty() || writes_.back().styles.empty()) writes_.push_back({});
    auto& run = writes_.back().styles;
    run.push_back(std::to_string(handle));
    run.push_back(property);
    run.push_back(value);
    scheduleFlush();
}

void PageBridge::release(unsigned generation, int handle) {
    if (!view_ || generation != generation_) return;
    releases_.push_back(handle);
    // Releases ride along with the next batch; a lone batch of them waits for
    // a few hundred so that dropping a large collection costs one message.
    if (releases_.size() >= 512) scheduleFlush();
}

std::string PageBridge::read(unsigned generation, const std::string& expression) {
    check(generation);
    if (health_->unresponsive) {
        flush();
        throw platform::Failure("the page does not answer");
    }
    const std::string prime = primeScript();
    std::string script = "(()=>{const R=globalThis.__wgR;if(!R||R.token!==" + jsString(token_) +
                         ")throw new Error('stale document');" + takeWrites() + "return " + prime +
                         "String(" + expression + ");})()";
    std::string answer = evaluate(script);
    if (prime.empty()) return answer;
    size_t cut = answer.find('\x1d');
    if (cut == std::string::npos) throw platform::Failure("malformed answer");
    takePrime(answer.substr(0, cut));
    return answer.substr(cut + 1);
}

std::string PageBridge::evaluate(const std::string& script) {
    if (!view_) throw platform::Failure("the view is gone");
    if (health_->unresponsive) throw platform::Failure("the page does not answer");
    if (health_->closing) throw platform::Failure("the window is closing");
    ++waitedReads;
    auto pending = std::make_shared<PendingRead>();
    webkit_web_view_evaluate_javascript(view_, script.c_str(), static_cast<gssize>(script.size()),
                                        ScriptWorld, nullptr, nullptr, readFinished,
                                        new std::shared_ptr<PendingRead>(pending));
    if (!pending->done) {
        g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
        pending->loop = loop;
        guint timer = g_timeout_add_full(
            G_PRIORITY_HIGH, static_cast<guint>(readTimeout_.count()),
            [](gpointer data) -> gboolean {
                auto* p = static_cast<PendingRead*>(data);
                p->timedOut = true;
                if (p->loop) g_main_loop_quit(p->loop);
                return G_SOURCE_REMOVE;
            },
            pending.get(), nullptr);
        // The completion, the time limit or a close request ends the wait;
        // other sources dispatched meanwhile only queue their events.
        health_->waiting = loop;
        while (!pending->done && !pending->timedOut && !health_->closing) g_main_loop_run(loop);
        health_->waiting = nullptr;
        pending->loop = nullptr;
        if (!pending->timedOut) g_source_remove(timer);
        if (!pending->done && !pending->timedOut) throw platform::Failure("the window is closing");
        if (!pending->done) {
            health_->unresponsive = true;
            ping();
            throw platform::Failure("the page did not answer in time");
        }
    }
    if (pending->failed) throw platform::Failure(pending->value);
    return pending->value;
}

unsigned long PageBridge::roundTrips() { return waitedReads; }

void PageBridge::ping() {
    if (health_->pinging || !view_) return;
    health_->pinging = true;
    auto* health = new std::shared_ptr<PageHealth>(health_);
    webkit_web_view_evaluate_javascript(
        view_, "0", -1, ScriptWorld, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<std::shared_ptr<PageHealth>> h(
                static_cast<std::shared_ptr<PageHealth>*>(data));
            g_autoptr(JSCValue) value = webkit_web_view_evaluate_javascript_finish(
                WEBKIT_WEB_VIEW(source), result, nullptr);
            (*h)->pinging = false;
            (*h)->unresponsive = false;
        },
        health);
}

std::unique_ptr<platform::Subscription> PageBridge::subscribe(
    unsigned generation, int target, const std::vector<platform::Listen>& events,
    platform::PageEventSink sink) {
    check(generation);
    int id = nextSubscription_++;
    std::string list;
    for (const platform::Listen& listen : events) {
        if (!list.empty()) list += ",";
        list += std::string("['") + eventName(listen.event) + "'," +
                (listen.cancelDefault ? "true" : "false") + "]";
    }
    std::string targetRef = target == 0 ? "document" : "R.g(" + std::to_string(target) + ")";
    write(generation, "R.listen(" + std::to_string(id) + "," + targetRef + ",[" + list + "])");
    sinks_[id] = std::make_shared<Sink>(Sink{std::move(sink)});
    return std::make_unique<SubscriptionImpl>(weak_from_this(), id);
}

void PageBridge::unsubscribe(int id) {
    auto found = sinks_.find(id);
    if (found == sinks_.end()) return;
    found->second->active = false;
    sinks_.erase(found);
    if (view_ && !token_.empty()) {
        writes_.push_back({"R.unlisten(" + std::to_string(id) + ")", {}});
        scheduleFlush();
    }
}

void PageBridge::onEventMessage(const std::string& message) {
    size_t first = message.find('\x1f');
    size_t second = first == std::string::npos ? first : message.find('\x1f', first + 1);
    if (second == std::string::npos || token_.empty()) return;
    if (message.compare(0, first, token_) != 0 || first != token_.size()) return;
    if (message.compare(first + 1, second - first - 1, "size") == 0) {
        int width = 0, height = 0;
        if (std::sscanf(message.c_str() + second + 1, "%dx%d", &width, &height) == 2 && onViewport_)
            onViewport_(width, height);
        return;
    }
    int id = std::atoi(message.substr(first + 1, second - first - 1).c_str());
    platform::PageEvent event;
    if (!eventFromName(message.substr(second + 1), event)) return;
    auto found = sinks_.find(id);
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
