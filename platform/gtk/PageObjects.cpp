#include "platform/gtk/PageObjects.h"

#include <cstdlib>

#include "support/Split.h"
#include "platform/gtk/BridgeScript.h"

namespace gtkui {
namespace {

using support::split;

int toInt(const std::string& text) {
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0') throw support::Failure("not a number: " + text);
    return static_cast<int>(value);
}

ElementFacts factsFrom(const std::string& description) {
    std::vector<std::string> f = split(description, '\x1f');
    ElementFacts facts;
    facts.tagName = f.size() > 0 ? f[0] : "";
    facts.id = f.size() > 1 ? f[1] : "";
    facts.className = f.size() > 2 ? f[2] : "";
    if (f.size() > 4) {
        facts.name = f[3];
        facts.value = f[4];
    }
    return facts;
}

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace

platform::ElementRef elementFromAnswer(const std::shared_ptr<PageBridge>& bridge,
                                       unsigned generation, const std::string& answer) {
    if (answer.empty()) return {};
    size_t cut = answer.find('\x1e');
    if (cut == std::string::npos) throw support::Failure("malformed answer");
    return platform::ElementRef(std::make_shared<PageElement>(
        bridge, generation, toInt(answer.substr(0, cut)), factsFrom(answer.substr(cut + 1))));
}

platform::ElementCollection collectionFromAnswer(const std::shared_ptr<PageBridge>& bridge,
                                                 unsigned generation, const std::string& answer,
                                                 const std::string& childTag) {
    std::vector<std::string> items = split(answer, '\x1e');
    if (items.size() < 2) throw support::Failure("malformed answer");
    int handle = toInt(items[0]);
    const int count = toInt(items[1]);
    size_t next = 2;
    auto take = [&](int n) {
        if (n < 0 || items.size() - next < static_cast<size_t>(n))
            throw support::Failure("malformed answer");
        platform::ElementCollection taken;
        taken.reserve(n);
        for (int k = 0; k < n; ++k)
            taken.emplace_back(std::make_shared<PageElement>(bridge, generation, handle++,
                                                             factsFrom(items[next++])));
        return taken;
    };
    platform::ElementCollection result = take(count);
    // Then, when asked for, each element's descendants of childTag: a count
    // and their descriptions.
    if (!childTag.empty()) {
        for (const auto& element : result) {
            if (next >= items.size()) throw support::Failure("malformed answer");
            const int children = toInt(items[next++]);
            static_cast<PageElement&>(*element).keepChildren(childTag, take(children));
        }
    }
    if (next != items.size()) throw support::Failure("malformed answer");
    return result;
}

std::string PageHandle::ref() const { return "R.g(" + std::to_string(handle_) + ")"; }

std::string PageHandle::read(const std::string& expression) const {
    return bridge_->read(generation_, expression);
}

void PageHandle::write(const std::string& statement) const {
    bridge_->write(generation_, statement);
}

const ElementFacts& PageElement::facts() {
    const unsigned record = page_.bridge().snapshot().treeMark();
    if (record == 0 || record != factsRecord_) {
        facts_ = factsFrom(page_.read("R.desc(" + page_.ref() + ")"));
        factsRecord_ = page_.bridge().snapshot().treeMark();
    }
    return facts_;
}

std::string PageElement::tagName() {
    // An element keeps its tag for life.
    if (!facts_.tagName.empty()) return facts_.tagName;
    return facts().tagName;
}

std::string PageElement::innerText() { return page_.read(page_.ref() + ".innerText"); }

void PageElement::setInnerText(const std::string& text) {
    page_.write(page_.ref() + ".innerText=" + jsString(text));
    page_.bridge().changed(PageBridge::Change::Tree);
}

void PageElement::offsetSize(std::int32_t& width, std::int32_t& height) {
    PageBridge& bridge = page_.bridge();
    if (root_ && bridge.snapshot().rootSize(width, height)) return;
    const unsigned record = bridge.snapshot().layoutMark();
    if (record == 0 || record != sizeRecord_) {
        std::vector<std::string> size = split(page_.read("R.dims(" + page_.ref() + ")"), '\x1f');
        if (size.size() != 2) throw support::Failure("malformed answer");
        width_ = toInt(size[0]);
        height_ = toInt(size[1]);
        sizeRecord_ = bridge.snapshot().layoutMark();
        if (root_) bridge.snapshot().keepRootSize(width_, height_);
    }
    width = width_;
    height = height_;
}

std::int32_t PageElement::offsetWidth() {
    std::int32_t width = 0, height = 0;
    offsetSize(width, height);
    return width;
}

std::int32_t PageElement::offsetHeight() {
    std::int32_t width = 0, height = 0;
    offsetSize(width, height);
    return height;
}

void PageElement::setStyleProperty(const std::string& name, const std::string& value) {
    page_.bridge().writeStyle(page_.generation(), page_.handle(), name, value);
    page_.bridge().changed(PageBridge::Change::Layout);
}

void PageElement::keepChildren(const std::string& tag, platform::ElementCollection children) {
    childTag_ = tag;
    children_ = std::move(children);
    childrenRecord_ = page_.bridge().snapshot().treeMark();
}

platform::ElementCollection PageElement::getElementsByTagName(const std::string& tag) {
    const unsigned record = page_.bridge().snapshot().treeMark();
    if (record != 0 && record == childrenRecord_ && upper(tag) == childTag_) return children_;
    std::string answer =
        page_.read("R.list(" + page_.ref() + ".getElementsByTagName(" + jsString(tag) + "))");
    return collectionFromAnswer(page_.bridge().shared_from_this(), page_.generation(), answer);
}

void PageElement::insertAdjacentHTML(const std::string& where, const std::string& html) {
    page_.write("R.insert(" + page_.ref() + "," + jsString(where) + "," + jsString(html) + ")");
    page_.bridge().changed(PageBridge::Change::Tree);
}

void PageElement::appendChild(const platform::ElementRef& child) {
    auto* element = dynamic_cast<PageElement*>(child.shared().get());
    if (!element) throw support::Failure("empty or foreign element");
    const PageHandle& other = element->page();
    if (&other.bridge() != &page_.bridge() || other.generation() != page_.generation())
        throw support::Failure("element of another document");
    page_.write(page_.ref() + ".appendChild(" + other.ref() + ")");
    element->detached_ = false;
    // An appended script runs at once and may change anything.
    page_.bridge().changed(PageBridge::Change::Tree);
}

std::string PageElement::name() {
    if (tagName() == "PARAM") return facts().name;
    return page_.read("String(" + page_.ref() + ".getAttribute('name')||'')");
}

std::string PageElement::value() {
    if (tagName() == "PARAM") return facts().value;
    return page_.read("String(" + page_.ref() + ".getAttribute('value')||'')");
}

void PageElement::setType(const std::string& type) {
    page_.write(page_.ref() + ".type=" + jsString(type));
    if (!detached_) page_.bridge().changed(PageBridge::Change::Tree);
}

void PageElement::setText(const std::string& text) {
    page_.write(page_.ref() + ".text=" + jsString(text));
    if (!detached_) page_.bridge().changed(PageBridge::Change::Tree);
}

std::unique_ptr<platform::Subscription> PageElement::subscribe(std::vector<platform::Listen> events,
                                                               platform::PageEventSink sink) {
    return page_.bridge().subscribe(page_.generation(), page_.handle(), events, std::move(sink));
}

void PageStyleSheet::setDisabled(bool disabled) {
    page_.write("R.sheet(" + page_.ref() + ").disabled=" + (disabled ? "true" : "false"));
    page_.bridge().changed(PageBridge::Change::Layout);
}

void PageStyleSheet::setCssText(const std::string& css) {
    page_.write("R.css(" + page_.ref() + "," + jsString(css) + ")");
    page_.bridge().changed(PageBridge::Change::Layout);
}

std::string PageDocument::read(const std::string& expression) const {
    return bridge_->read(generation_, expression);
}

platform::ElementRef PageDocument::one(const std::string& expression) {
    return elementFromAnswer(bridge_, generation_, read("R.one(" + expression + ")"));
}

platform::ElementRef PageDocument::getElementById(const std::string& id) {
    platform::ElementRef element;
    if (bridge_->generation() == generation_ && bridge_->snapshot().lookup(id, element))
        return element;
    element = one("document.getElementById(" + jsString(id) + ")");
    bridge_->snapshot().keepLookup(id, element);
    return element;
}

platform::ElementCollection PageDocument::getElementsByTagName(const std::string& tag) {
    HandlerSnapshot& record = bridge_->snapshot();
    const std::string key = upper(tag);
    platform::ElementCollection items;
    if (bridge_->generation() == generation_ && record.collection(key, items)) {
        record.readCollection(key);
        return items;
    }
    // An object's parameters are read right after the object: they come along.
    auto children = [](const std::string& t) { return t == "OBJECT" ? "PARAM" : ""; };
    auto list = [&](const std::string& t, const std::string& asked) {
        return "R.list(document.getElementsByTagName(" + jsString(asked) + ")," +
               jsString(children(t)) + ")";
    };
    // The collections that followed this one last time come in the same answer.
    const std::vector<std::string> ahead = record.collectionsAfter(key);
    std::string expression = list(key, tag);
    for (const std::string& next : ahead) expression += "+'\x1b'+" + list(next, next);
    const std::string answer = read(expression);
    const std::vector<std::string> parts = split(answer, '\x1b');
    if (parts.size() != ahead.size() + 1) throw support::Failure("malformed answer");
    items = collectionFromAnswer(bridge_, generation_, parts[0], children(key));
    for (size_t k = 0; k < ahead.size(); ++k) {
        try {
            record.keepCollection(ahead[k], collectionFromAnswer(bridge_, generation_,
                                                                 parts[k + 1], children(ahead[k])));
        } catch (const support::Failure&) {
        }
    }
    record.keepCollection(key, items);
    record.readCollection(key);
    return items;
}

platform::ElementRef PageDocument::body() {
    platform::ElementRef element;
    if (bridge_->generation() == generation_ && bridge_->snapshot().body(element)) return element;
    element = one("document.body");
    bridge_->snapshot().keepBody(element);
    return element;
}

platform::ElementRef PageDocument::documentElement() {
    if (!documentElement_) {
        documentElement_ = one("document.documentElement");
        if (documentElement_) static_cast<PageElement&>(*documentElement_).markRoot();
    }
    if (bridge_->generation() != generation_)
        throw support::Failure("the document is no longer current");
    return documentElement_;
}

std::vector<platform::StyleSheetRef> PageDocument::styleSheets() {
    std::vector<std::string> parts = split(read("R.sheets()"), '\x1e');
    if (parts.size() != 2) throw support::Failure("malformed answer");
    int first = toInt(parts[0]);
    int count = toInt(parts[1]);
    std::vector<platform::StyleSheetRef> sheets;
    for (int k = 0; k < count; ++k)
        sheets.emplace_back(std::make_shared<PageStyleSheet>(bridge_, generation_, first + k));
    return sheets;
}

platform::StyleSheetRef PageDocument::createStyleSheet() {
    int handle = bridge_->allocateHandle();
    bridge_->write(generation_,
                   "const s=document.createElement('style');"
                   "(document.head||document.documentElement).appendChild(s);R.set(" +
                       std::to_string(handle) + ",s)");
    // A new STYLE element without an id: no recorded element fact or lookup
    // changes, only the layout.
    bridge_->changed(PageBridge::Change::Layout);
    return platform::StyleSheetRef(std::make_shared<PageStyleSheet>(bridge_, generation_, handle));
}

platform::ElementRef PageDocument::createElement(const std::string& tag) {
    int handle = bridge_->allocateHandle();
    bridge_->write(generation_, "R.set(" + std::to_string(handle) + ",document.createElement(" +
                                    jsString(tag) + "))");
    ElementFacts facts;
    facts.tagName = upper(tag);
    auto element = std::make_shared<PageElement>(bridge_, generation_, handle, std::move(facts));
    element->markDetached();
    return platform::ElementRef(element);
}

std::unique_ptr<platform::Subscription> PageDocument::subscribe(
    std::vector<platform::Listen> events, platform::PageEventSink sink) {
    return bridge_->subscribe(generation_, 0, events, std::move(sink));
}

}  // namespace gtkui
