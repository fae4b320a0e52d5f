#pragma once
// The page document object model as the client uses it: documents, elements,
// their inline styles, style sheets and element collections, and the page
// events that bound references receive. Every operation may throw Failure.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Ref.h"

namespace platform {

class Element;
class Document;
class StyleSheet;

using ElementRef = Ref<Element>;
using DocumentRef = Ref<Document>;
using StyleSheetRef = Ref<StyleSheet>;
// A collection is walked in document order; its items are taken as they were
// when it was read.
using ElementCollection = std::vector<ElementRef>;

enum class PageEvent { Click, MouseOver, MouseOut, SelectStart, DragStart, ContextMenu };

// What a subscriber asks of the page for one event kind.
struct Listen {
    PageEvent event;
    // True when the handler returns False, so the page's default action is
    // cancelled inside the page at the moment the event happens.
    bool cancelDefault;
};

// The subscriber's side of a subscription. Events are delivered on the
// user-interface thread, one at a time.
using PageEventSink = std::function<void(PageEvent)>;

// Ends its subscription when destroyed; no event is delivered afterwards.
class Subscription {
public:
    virtual ~Subscription() = default;
};

class EventTarget {
public:
    virtual ~EventTarget() = default;
    virtual std::unique_ptr<Subscription> subscribe(std::vector<Listen> events,
                                                    PageEventSink sink) = 0;
};

// Inline style of one element. Properties are set from texts. A Style holds
// its element, so it stays usable after the reference it came from is gone
// (`document->getElementById(id)->style()` outlives the lookup's temporary).
class Style {
public:
    explicit Style(std::shared_ptr<Element> element) : element_(std::move(element)) {}
    void display(const std::string& value);
    void background(const std::string& value);
    void borderStyle(const std::string& value);
    void width(const std::string& value);
    void height(const std::string& value);
    void overflow(const std::string& value);

private:
    std::shared_ptr<Element> element_;
};

// Elements are always owned by shared pointers (ElementRef).
class Element : public EventTarget, public std::enable_shared_from_this<Element> {
public:
    // Tag names come in upper case ("SPAN"), as HTML documents report them.
    virtual std::string tagName() = 0;
    virtual std::string id() = 0;
    virtual std::string className() = 0;
    virtual std::string innerText() = 0;
    virtual void setInnerText(const std::string& text) = 0;
    virtual std::int32_t offsetWidth() = 0;
    virtual std::int32_t offsetHeight() = 0;
    // Sets an inline style property; the name is the script form ("borderStyle").
    virtual void setStyleProperty(const std::string& name, const std::string& value) = 0;
    virtual ElementCollection getElementsByTagName(const std::string& tag) = 0;
    virtual void insertAdjacentHTML(const std::string& where, const std::string& html) = 0;
    virtual void appendChild(const ElementRef& child) = 0;
    // PARAM elements.
    virtual std::string name() = 0;
    virtual std::string value() = 0;
    // SCRIPT elements.
    virtual void setType(const std::string& type) = 0;
    virtual void setText(const std::string& text) = 0;

    Style style();
};

class StyleSheet {
public:
    virtual ~StyleSheet() = default;
    virtual void setDisabled(bool disabled) = 0;
    virtual void setCssText(const std::string& css) = 0;
};

class Document : public EventTarget {
public:
    // An element with that id, or an empty reference.
    virtual ElementRef getElementById(const std::string& id) = 0;
    // "*" gives every element.
    virtual ElementCollection getElementsByTagName(const std::string& tag) = 0;
    virtual ElementRef body() = 0;
    virtual ElementRef documentElement() = 0;
    virtual std::vector<StyleSheetRef> styleSheets() = 0;
    // A new, empty style sheet that comes after every sheet the page has.
    virtual StyleSheetRef createStyleSheet() = 0;
    virtual ElementRef createElement(const std::string& tag) = 0;
};

inline Style Element::style() {
    std::shared_ptr<Element> self = weak_from_this().lock();
    if (!self) throw std::logic_error("an element not owned by an ElementRef");
    return Style(std::move(self));
}

inline void Style::display(const std::string& v) { element_->setStyleProperty("display", v); }
inline void Style::background(const std::string& v) { element_->setStyleProperty("background", v); }
inline void Style::borderStyle(const std::string& v) { element_->setStyleProperty("borderStyle", v); }
inline void Style::width(const std::string& v) { element_->setStyleProperty("width", v); }
inline void Style::height(const std::string& v) { element_->setStyleProperty("height", v); }
inline void Style::overflow(const std::string& v) { element_->setStyleProperty("overflow", v); }

}  // namespace platform
