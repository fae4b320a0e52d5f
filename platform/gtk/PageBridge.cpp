#include "platform/gtk/PageBridge.h"

#include <cstdio>

#include "platform/gtk/BridgeScript.h"
#include "platform/gtk/PageObjects.h"

namespace gtkui {

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
    : view_(view),
      queue_(queue),
      health_(std::move(health)),
      snapshot_(queue),
      subscriptions_(queue) {
    // The writes a handler queued go out as soon as it returns, and what its
    // reads took of the page ends with it.
    if (auto events = queue_.lock()) afterEvent_ = events->addAfterEvent([this] {
        flush();
        endHandler();
    });
}

PageBridge::~PageBridge() {
    if (auto events = queue_.lock()) events->removeAfterEvent(afterEvent_);
}

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
    snapshot_.newDocument();
    subscriptions_.clear();
}

void PageBridge::check(unsigned generation) const {
    if (!view_) throw support::Failure("the view is gone");
    if (generation != generation_ || token_.empty())
        throw support::Failure("the document is no longer current");
}

platform::DocumentRef PageBridge::document() {
    if (!view_ || !committed_) return {};
    if (document_) return document_;
    // Installs the runtime in this page and learns its token.
    std::string answer;
    try {
        answer = evaluate(std::string(RuntimeScript) +
                              ";document instanceof HTMLDocument ? __wgR.token : ''",
                          "the runtime");
    } catch (const support::Failure&) {
        return {};
    }
    if (answer.empty() || answer == "undefined") return {};
    token_ = answer;
    document_ =
        platform::DocumentRef(std::make_shared<PageDocument>(shared_from_this(), generation_));
    return document_;
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
    std::string script = inRuntime(batch, "return") + ";undefined";
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
        throw support::Failure("the page does not answer");
    }
    const std::string prime = snapshot_.primeScript();
    std::string answer =
        evaluate(inRuntime(takeWrites() + "return " + (prime.empty() ? "" : prime + "+'\x1d'+") +
                               "String(" + expression + ");",
                           "throw new Error('stale document')"),
                 expression);
    if (prime.empty()) return answer;
    size_t cut = answer.find('\x1d');
    if (cut == std::string::npos) throw support::Failure("malformed answer");
    snapshot_.takePrime(answer.substr(0, cut), [this](const std::string& one) {
        return elementFromAnswer(shared_from_this(), generation_, one);
    });
    return answer.substr(cut + 1);
}

std::string PageBridge::inRuntime(const std::string& body, const char* failure) const {
    return "(()=>{const R=globalThis.__wgR;if(!R||R.token!==" + jsString(token_) + ")" + failure +
           ";" + body + "})()";
}

std::string PageBridge::evaluate(const std::string& script, std::string_view what) {
    // Outside a handler (a test's own reads) each read has its full limit.
    auto queue = queue_.lock();
    const bool inHandler = queue && queue->running();
    const gint64 limit = std::chrono::microseconds(readTimeout_).count();
    const gint64 left = inHandler ? limit - waitedInHandler_ : limit;
    if (left <= 0) throw support::Failure("the page has answered too slowly for this handler");
    const gint64 start = g_get_monotonic_time();
    const auto count = [&] {
        if (inHandler) waitedInHandler_ += g_get_monotonic_time() - start;
    };
    try {
        std::string answer =
            evaluateWaiting(view_, script, health_, std::chrono::milliseconds((left + 999) / 1000), what);
        count();
        return answer;
    } catch (const support::Failure&) {
        count();
        throw;
    }
}

unsigned long PageBridge::roundTrips() { return waitedEvaluations(); }

std::unique_ptr<platform::Subscription> PageBridge::subscribe(
    unsigned generation, int target, const std::vector<platform::Listen>& events,
    platform::PageEventSink sink) {
    check(generation);
    int id = 0;
    std::string targetRef = target == 0 ? "document" : "R.g(" + std::to_string(target) + ")";
    write(generation, subscriptions_.add(id, targetRef, events, std::move(sink)));
    return std::make_unique<SubscriptionImpl>(weak_from_this(), id);
}

void PageBridge::unsubscribe(int id) {
    std::string statement = subscriptions_.remove(id);
    if (!statement.empty() && view_ && !token_.empty()) {
        writes_.push_back({statement, {}});
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
    if (message.compare(first + 1, second - first - 1, "gone") == 0) {
        if (onDocumentReplaced_) onDocumentReplaced_();
        return;
    }
    subscriptions_.deliver(message.substr(first + 1, second - first - 1),
                           message.substr(second + 1));
}

}  // namespace gtkui
