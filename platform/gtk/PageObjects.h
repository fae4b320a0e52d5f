#pragma once
// The page's document, elements and style sheets as handles into the
// client's registry inside the page (see PageBridge).

#include <memory>
#include <string>

#include "platform/Page.h"
#include "platform/gtk/PageBridge.h"

namespace gtkui {

// What a read told about an element; kept in its handle and trusted while
// the bridge's record that it was read in lasts (the tag name always).
struct ElementFacts {
    std::string tagName, id, className, name, value;
};

// One handle of the page's registry; released when the client drops it.
class PageHandle {
public:
    PageHandle(std::shared_ptr<PageBridge> bridge, unsigned generation, int handle)
        : bridge_(std::move(bridge)), generation_(generation), handle_(handle) {}
    ~PageHandle() { bridge_->release(generation_, handle_); }
    PageHandle(const PageHandle&) = delete;
    PageHandle& operator=(const PageHandle&) = delete;

    PageBridge& bridge() const { return *bridge_; }
    unsigned generation() const { return generation_; }
    int handle() const { return handle_; }
    // "R.g(<handle>)": the object in the page's registry.
    std::string ref() const;
    std::string read(const std::string& expression) const;
    void write(const std::string& statement) const;

private:
    std::shared_ptr<PageBridge> bridge_;
    unsigned generation_;
    int handle_;
};

class PageElement : public platform::Element {
public:
    PageElement(std::shared_ptr<PageBridge> bridge, unsigned generation, int handle,
                ElementFacts facts)
        : page_(std::move(bridge), generation, handle),
          facts_(std::move(facts)),
          factsRecord_(page_.bridge().snapshot().treeMark()) {}

    const PageHandle& page() const { return page_; }
    // This is the document element, whose size the bridge's record may hold.
    void markRoot() { root_ = true; }
    // Made by the client and not in the document yet: writes to it change
    // nothing that a read of the document could have recorded.
    void markDetached() { detached_ = true; }
    // Its descendants of tag, as read with it; answered while the record lasts.
    void keepChildren(const std::string& tag, platform::ElementCollection children);

    std::string tagName() override;
    std::string id() override { return facts().id; }
    std::string className() override { return facts().className; }
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

private:
    const ElementFacts& facts();
    void offsetSize(std::int32_t& width, std::int32_t& height);

    PageHandle page_;
    ElementFacts facts_;
    unsigned factsRecord_;
    std::int32_t width_ = 0, height_ = 0;
    unsigned sizeRecord_ = 0;
    bool root_ = false;
    bool detached_ = false;
    std::string childTag_;
    platform::ElementCollection children_;
    unsigned childrenRecord_ = 0;
};

class PageStyleSheet : public platform::StyleSheet {
public:
    PageStyleSheet(std::shared_ptr<PageBridge> bridge, unsigned generation, int handle)
        : page_(std::move(bridge), generation, handle) {}
    void setDisabled(bool disabled) override;
    void setCssText(const std::string& css) override;

private:
    PageHandle page_;
};

class PageDocument : public platform::Document {
public:
    PageDocument(std::shared_ptr<PageBridge> bridge, unsigned generation)
        : bridge_(std::move(bridge)), generation_(generation) {}

    platform::ElementRef getElementById(const std::string& id) override;
    platform::ElementCollection getElementsByTagName(const std::string& tag) override;
    platform::ElementRef body() override;
    platform::ElementRef documentElement() override;
    std::vector<platform::StyleSheetRef> styleSheets() override;
    platform::StyleSheetRef createStyleSheet() override;
    platform::ElementRef createElement(const std::string& tag) override;
    std::unique_ptr<platform::Subscription> subscribe(std::vector<platform::Listen> events,
                                                      platform::PageEventSink sink) override;

private:
    std::string read(const std::string& expression) const;
    platform::ElementRef one(const std::string& expression);

    std::shared_ptr<PageBridge> bridge_;
    unsigned generation_;
    // The root element of an HTML document stays the same for the document's
    // life (only explicit surgery on the document replaces it); the resize
    // handler asks for it twice on every resize.
    platform::ElementRef documentElement_;
};

// Builds elements from the runtime's answers (R.one, R.list).
platform::ElementRef elementFromAnswer(const std::shared_ptr<PageBridge>& bridge,
                                       unsigned generation, const std::string& answer);
// childTag: the answer also holds each element's descendants of that tag.
platform::ElementCollection collectionFromAnswer(const std::shared_ptr<PageBridge>& bridge,
                                                 unsigned generation, const std::string& answer,
                                                 const std::string& childTag = "");

}  // namespace gtkui
