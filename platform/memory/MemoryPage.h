#pragma once
// An in-memory page: a small document object model that runs the client's
// page logic in unit tests. Tests build pages from mark-up, set layout
// sizes, fire events and inspect the result.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Page.h"
#include "platform/memory/Journal.h"

namespace memory {

class MemoryDocument;

// Listeners of one event target; firing copies them so that a handler may
// end its own subscription.
class Listeners {
public:
    // onEnd runs when the subscription ends.
    std::unique_ptr<platform::Subscription> add(std::vector<platform::Listen> events,
                                                platform::PageEventSink sink,
                                                std::function<void()> onEnd = nullptr);
    // Delivers the event; returns true when a listener cancelled the default action.
    bool deliver(platform::PageEvent event);
    size_t size() const;

private:
    struct Entry {
        std::vector<platform::Listen> events;
        platform::PageEventSink sink;
        bool alive = true;
    };
    class Handle;
    std::vector<std::shared_ptr<Entry>> entries_;
};

class MemoryElement : public platform::Element {
public:
    MemoryElement(std::shared_ptr<World> world, std::string tag);

    // platform::Element
    std::string tagName() override;
    std::string id() override;
    std::string className() override;
    std::string innerText() override;
    void setInnerText(const std::string& text) override;
    std::int32_t offsetWidth() override;
    std::int32_t offsetHeight() override;
    void setStyleProperty(const std::string& name, const std::string& value) override;
    platform::ElementCollection getElementsByTagName(const std::string& tag) override;
    void insertAdjacentHTML(const std::string& where, const std::string& html) override;
    void appendChild(const platform::ElementRef& child) override;
    std::string name() override;
    std::string value() override;
    void setType(const std::string& type) override;
    void setText(const std::string& text) override;
    std::unique_ptr<platform::Subscription> subscribe(std::vector<platform::Listen> events,
                                                      platform::PageEventSink sink) override;

    // For tests and the model itself.
    std::string tag;  // upper case; "#text" for a text node
    std::map<std::string, std::string> attributes;
    std::map<std::string, std::string> styles;
    std::string text;  // text nodes and script text
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::shared_ptr<MemoryElement>> children;
    std::weak_ptr<MemoryElement> parent;
    std::weak_ptr<MemoryDocument> document;  // set once attached to a document
    Listeners listeners;

    std::string attribute(const std::string& name) const;
    std::string style(const std::string& name) const;
    void append(std::shared_ptr<MemoryElement> child);
    // Descendants in document order (this element excluded), text nodes skipped.
    void collect(const std::string& tag, std::vector<std::shared_ptr<MemoryElement>>& out);
    // Fires an event here; it bubbles to the ancestors and the document.
    // Returns true when the default action was cancelled.
    bool fire(platform::PageEvent event);

private:
    std::string label() const;
    std::shared_ptr<MemoryElement> self() {
        return std::static_pointer_cast<MemoryElement>(shared_from_this());
    }
    void check(const std::string& op, const std::string& arg) const;
    void adopt(const std::shared_ptr<MemoryElement>& node);
    std::shared_ptr<World> world_;
};

class MemoryStyleSheet : public platform::StyleSheet {
public:
    MemoryStyleSheet(std::shared_ptr<World> world, std::string origin)
        : origin(std::move(origin)), world_(std::move(world)) {}
    void setDisabled(bool value) override;
    void setCssText(const std::string& css) override;

    std::string origin;  // what created it: "link", "style", "created"
    bool disabled = false;
    std::string cssText;

private:
    std::shared_ptr<World> world_;
};

class MemoryDocument : public platform::Document,
                       public std::enable_shared_from_this<MemoryDocument> {
public:
    // A document from mark-up. Without an HTML element the content goes into
    // the BODY of a generated HTML > HEAD + BODY skeleton.
    static std::shared_ptr<MemoryDocument> fromHtml(std::shared_ptr<World> world,
                                                    const std::string& html);

    // platform::Document
    platform::ElementRef getElementById(const std::string& id) override;
    platform::ElementCollection getElementsByTagName(const std::string& tag) override;
    platform::ElementRef body() override;
    platform::ElementRef documentElement() override;
    std::vector<platform::StyleSheetRef> styleSheets() override;
    platform::StyleSheetRef createStyleSheet() override;
    platform::ElementRef createElement(const std::string& tag) override;
    std::unique_ptr<platform::Subscription> subscribe(std::vector<platform::Listen> events,
                                                      platform::PageEventSink sink) override;

    // For tests.
    std::shared_ptr<MemoryElement> byId(const std::string& id);
    std::shared_ptr<MemoryElement> root;
    std::vector<std::shared_ptr<MemoryStyleSheet>> sheets;
    std::vector<std::string> executedScripts;  // texts of scripts that ran, in order
    Listeners listeners;
    std::shared_ptr<World> world;

    void attach(const std::shared_ptr<MemoryElement>& node);

private:
    explicit MemoryDocument(std::shared_ptr<World> w) : world(std::move(w)) {}
};

}  // namespace memory
