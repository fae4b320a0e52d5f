#include "platform/memory/MemoryPage.h"

#include <algorithm>
#include <cctype>

#include "platform/memory/MarkupParser.h"

namespace memory {

using platform::ElementCollection;
using platform::ElementRef;
using support::Failure;

namespace {
std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}
}  // namespace

// ---- Listeners ----

class Listeners::Handle : public platform::Subscription {
public:
    Handle(std::shared_ptr<Entry> entry, std::function<void()> onEnd)
        : entry_(std::move(entry)), onEnd_(std::move(onEnd)) {}
    ~Handle() override {
        entry_->alive = false;
        if (onEnd_) onEnd_();
    }

private:
    std::shared_ptr<Entry> entry_;
    std::function<void()> onEnd_;
};

std::unique_ptr<platform::Subscription> Listeners::add(std::vector<platform::Listen> events,
                                                       platform::PageEventSink sink,
                                                       std::function<void()> onEnd) {
    auto entry = std::make_shared<Entry>();
    entry->events = std::move(events);
    entry->sink = std::move(sink);
    entries_.push_back(entry);
    return std::make_unique<Handle>(entry, std::move(onEnd));
}

bool Listeners::deliver(platform::PageEvent event) {
    std::erase_if(entries_, [](const auto& e) { return !e->alive; });
    auto snapshot = entries_;
    bool cancelled = false;
    for (const auto& entry : snapshot) {
        if (!entry->alive) continue;
        for (const auto& listen : entry->events) {
            if (listen.event != event) continue;
            cancelled = cancelled || listen.cancelDefault;
            auto sink = entry->sink;  // the sink may end its own subscription
            sink(event);
            break;
        }
    }
    return cancelled;
}

size_t Listeners::size() const {
    return std::count_if(entries_.begin(), entries_.end(), [](const auto& e) { return e->alive; });
}

// ---- MemoryElement ----

MemoryElement::MemoryElement(std::shared_ptr<World> world, std::string t)
    : tag(std::move(t)), world_(std::move(world)) {}

std::string MemoryElement::label() const {
    auto it = attributes.find("id");
    return it != attributes.end() && !it->second.empty() ? "#" + it->second : tag;
}

void MemoryElement::check(const std::string& op, const std::string& arg) const {
    world_->faults.check(op, arg);
}

std::string MemoryElement::attribute(const std::string& n) const {
    auto it = attributes.find(n);
    return it == attributes.end() ? std::string() : it->second;
}

std::string MemoryElement::style(const std::string& n) const {
    auto it = styles.find(n);
    return it == styles.end() ? std::string() : it->second;
}

std::string MemoryElement::tagName() {
    check("tagName", label());
    return tag;
}
std::string MemoryElement::id() {
    check("id", label());
    return attribute("id");
}
std::string MemoryElement::className() {
    check("className", label());
    return attribute("class");
}

std::string MemoryElement::innerText() {
    check("innerText", label());
    if (tag == "#text") return text;
    std::string out;
    for (const auto& c : children) out += c->innerText();
    return out;
}

void MemoryElement::setInnerText(const std::string& value) {
    check("setInnerText", label());
    world_->journal.record(label() + ".innerText=" + value);
    children.clear();
    auto node = std::make_shared<MemoryElement>(world_, "#text");
    node->text = value;
    append(node);
}

std::int32_t MemoryElement::offsetWidth() {
    check("offsetWidth", label());
    return width;
}
std::int32_t MemoryElement::offsetHeight() {
    check("offsetHeight", label());
    return height;
}

void MemoryElement::setStyleProperty(const std::string& n, const std::string& value) {
    check("style", label() + "." + n);
    world_->journal.record(label() + ".style." + n + "=" + value);
    styles[n] = value;
}

void MemoryElement::collect(const std::string& t, std::vector<std::shared_ptr<MemoryElement>>& out) {
    for (const auto& c : children) {
        if (c->tag == "#text") continue;
        if (t == "*" || c->tag == t) out.push_back(c);
        c->collect(t, out);
    }
}

ElementCollection MemoryElement::getElementsByTagName(const std::string& t) {
    check("getElementsByTagName", upper(t));
    world_->journal.record(label() + ".getElementsByTagName(" + t + ")");
    std::vector<std::shared_ptr<MemoryElement>> found;
    collect(upper(t), found);
    return ElementCollection(found.begin(), found.end());
}

void MemoryElement::adopt(const std::shared_ptr<MemoryElement>& node) {
    auto doc = document.lock();
    if (doc) doc->attach(node);
}

void MemoryElement::append(std::shared_ptr<MemoryElement> child) {
    child->parent = self();
    children.push_back(child);
    adopt(child);
}

void MemoryElement::insertAdjacentHTML(const std::string& where, const std::string& html) {
    check("insertAdjacentHTML", label());
    if (where != "beforeEnd" && where != "beforeend") throw Failure("position not supported");
    world_->journal.record(label() + ".insertAdjacentHTML(" + where + ")");
    for (auto& node : parseMarkup(world_, html)) append(node);
}

void MemoryElement::appendChild(const ElementRef& child) {
    check("appendChild", label());
    auto node = std::dynamic_pointer_cast<MemoryElement>(child.shared());
    if (!node) throw Failure("not an element of this page");
    world_->journal.record(label() + ".appendChild(" + node->label() + ")");
    append(node);
}

std::string MemoryElement::name() {
    check("name", label());
    return attribute("name");
}
std::string MemoryElement::value() {
    check("value", label());
    return attribute("value");
}
void MemoryElement::setType(const std::string& type) {
    check("setType", label());
    if (tag != "SCRIPT") throw Failure("not a script element");
    attributes["type"] = type;
}
void MemoryElement::setText(const std::string& value) {
    check("setText", label());
    if (tag != "SCRIPT") throw Failure("not a script element");
    text = value;
}

std::unique_ptr<platform::Subscription> MemoryElement::subscribe(
    std::vector<platform::Listen> events, platform::PageEventSink sink) {
    check("subscribe", label());
    world_->journal.record("subscribe(" + label() + ")");
    return listeners.add(std::move(events), std::move(sink),
                         [world = world_, l = label()] { world->journal.record("unsubscribe(" + l + ")"); });
}

bool MemoryElement::fire(platform::PageEvent event) {
    bool cancelled = false;
    for (auto node = self(); node; node = node->parent.lock())
        cancelled = node->listeners.deliver(event) || cancelled;
    if (auto doc = document.lock()) cancelled = doc->listeners.deliver(event) || cancelled;
    return cancelled;
}

// ---- MemoryStyleSheet ----

void MemoryStyleSheet::setDisabled(bool value) {
    world_->faults.check("disabled", origin);
    world_->journal.record("styleSheet(" + origin + ").disabled=" + (value ? "1" : "0"));
    disabled = value;
}

void MemoryStyleSheet::setCssText(const std::string& css) {
    world_->faults.check("cssText", origin);
    world_->journal.record("styleSheet(" + origin + ").cssText");
    cssText = css;
}

// ---- MemoryDocument ----

std::shared_ptr<MemoryDocument> MemoryDocument::fromHtml(std::shared_ptr<World> world,
                                                         const std::string& html) {
    auto doc = std::shared_ptr<MemoryDocument>(new MemoryDocument(world));
    auto nodes = parseMarkup(world, html);
    auto it = std::find_if(nodes.begin(), nodes.end(), [](const auto& n) { return n->tag == "HTML"; });
    if (it != nodes.end()) {
        doc->root = *it;
    } else {
        doc->root = std::make_shared<MemoryElement>(world, "HTML");
        auto head = std::make_shared<MemoryElement>(world, "HEAD");
        auto body = std::make_shared<MemoryElement>(world, "BODY");
        doc->root->append(head);
        doc->root->append(body);
        for (auto& n : nodes) body->append(n);
    }
    doc->attach(doc->root);
    return doc;
}

void MemoryDocument::attach(const std::shared_ptr<MemoryElement>& node) {
    bool wasAttached = !node->document.expired();
    node->document = weak_from_this();
    if (!wasAttached) {
        if (node->tag == "STYLE" ||
            (node->tag == "LINK" && node->attribute("rel") == "stylesheet"))
            sheets.push_back(std::make_shared<MemoryStyleSheet>(world, node->tag == "STYLE"
                                                                           ? "style"
                                                                           : "link"));
        // A script element runs when it enters the document.
        if (node->tag == "SCRIPT") executedScripts.push_back(node->text);
    }
    for (const auto& c : node->children) attach(c);
}

std::shared_ptr<MemoryElement> MemoryDocument::byId(const std::string& id) {
    std::vector<std::shared_ptr<MemoryElement>> all{root};
    root->collect("*", all);
    for (const auto& e : all)
        if (e->attribute("id") == id) return e;
    return nullptr;
}

ElementRef MemoryDocument::getElementById(const std::string& id) {
    world->faults.check("getElementById", id);
    world->journal.record("getElementById(" + id + ")");
    return ElementRef(byId(id));
}

ElementCollection MemoryDocument::getElementsByTagName(const std::string& tag) {
    world->faults.check("getElementsByTagName", upper(tag));
    world->journal.record("document.getElementsByTagName(" + tag + ")");
    std::vector<std::shared_ptr<MemoryElement>> found;
    if (upper(tag) == "*" || root->tag == upper(tag)) found.push_back(root);
    root->collect(upper(tag), found);
    return ElementCollection(found.begin(), found.end());
}

ElementRef MemoryDocument::body() {
    world->faults.check("body");
    for (const auto& c : root->children)
        if (c->tag == "BODY") return ElementRef(c);
    throw Failure("document has no body");
}

ElementRef MemoryDocument::documentElement() {
    world->faults.check("documentElement");
    return ElementRef(root);
}

std::vector<platform::StyleSheetRef> MemoryDocument::styleSheets() {
    world->faults.check("styleSheets");
    return std::vector<platform::StyleSheetRef>(sheets.begin(), sheets.end());
}

platform::StyleSheetRef MemoryDocument::createStyleSheet() {
    world->faults.check("createStyleSheet");
    world->journal.record("createStyleSheet()");
    auto sheet = std::make_shared<MemoryStyleSheet>(world, "created");
    sheets.push_back(sheet);
    return sheet;
}

ElementRef MemoryDocument::createElement(const std::string& tag) {
    world->faults.check("createElement", upper(tag));
    world->journal.record("createElement(" + tag + ")");
    return ElementRef(std::make_shared<MemoryElement>(world, upper(tag)));
}

std::unique_ptr<platform::Subscription> MemoryDocument::subscribe(
    std::vector<platform::Listen> events, platform::PageEventSink sink) {
    world->faults.check("subscribe", "document");
    world->journal.record("subscribe(document)");
    return listeners.add(std::move(events), std::move(sink),
                         [w = world] { w->journal.record("unsubscribe(document)"); });
}

}  // namespace memory
