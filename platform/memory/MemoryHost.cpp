#include "platform/memory/MemoryHost.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace memory {

using support::Failure;

namespace {
std::string num(double v) {
    std::ostringstream out;
    out << v;
    return out.str();
}
}  // namespace

// ---- MemoryView ----

MemoryView::MemoryView(std::shared_ptr<World> world, std::string n, std::uintptr_t identity,
                       std::vector<std::string>& stacking)
    : name(std::move(n)), world_(std::move(world)), identity_(identity), stacking_(stacking) {}

void MemoryView::Navigate2(const std::string& address) {
    world_->faults.check("Navigate2", name);
    world_->journal.record(name + ".Navigate2(" + address + ")");
    navigations.push_back(address);
}

platform::DocumentRef MemoryView::Document() {
    world_->faults.check("Document", name);
    return platform::DocumentRef(document);
}

void MemoryView::setSilent(bool value) {
    world_->faults.check("Silent", name);
    world_->journal.record(name + ".Silent=" + (value ? "1" : "0"));
    silent = value;
}

platform::BrowserObject MemoryView::topLevelBrowser() {
    world_->faults.check("topLevelBrowser", name);
    return frameBrowser(0);
}

platform::BrowserObject MemoryView::frameBrowser(int frame) const {
    return platform::BrowserObject{identity_ * 1000 + static_cast<std::uintptr_t>(frame)};
}

void MemoryView::Move(int left, int top, int width, int height) {
    world_->faults.check("Move", name);
    world_->journal.record(name + ".Move(" + num(left) + "," + num(top) + "," + num(width) + "," +
                           num(height) + ")");
    rect = {left, top, width, height};
}

void MemoryView::ZOrder(int position) {
    world_->faults.check("ZOrder", name);
    world_->journal.record(name + ".ZOrder(" + std::to_string(position) + ")");
    std::erase(stacking_, name);
    if (position == 0)
        stacking_.insert(stacking_.begin(), name);
    else
        stacking_.push_back(name);
}

void MemoryView::setEvents(platform::BrowserEvents events) { events_ = std::move(events); }

bool MemoryView::raiseBeforeNavigate2(const std::string& url, int frame) {
    bool cancel = false;
    if (events_.BeforeNavigate2) events_.BeforeNavigate2(frameBrowser(frame), url, cancel);
    return cancel;
}

void MemoryView::raiseDocumentComplete(const std::string& url, int frame) {
    if (events_.DocumentComplete) events_.DocumentComplete(frameBrowser(frame), url);
}

bool MemoryView::raiseNavigateError(const std::string& url, int statusCode, int frame) {
    bool cancel = false;
    if (events_.NavigateError) events_.NavigateError(frameBrowser(frame), url, statusCode, cancel);
    return cancel;
}

void MemoryView::raiseProcessTerminated() {
    document.reset();
    if (events_.ProcessTerminated) events_.ProcessTerminated();
}

std::shared_ptr<MemoryDocument> MemoryView::load(const std::string& url, const std::string& html) {
    document = MemoryDocument::fromHtml(world_, html);
    raiseDocumentComplete(url);
    return document;
}

// ---- MemoryForm ----

platform::WindowGeometry MemoryForm::geometry() {
    world_->faults.check("geometry");
    return {left,         top,  clientWidth + frameWidth, clientHeight + frameHeight, clientWidth,
            clientHeight, scale};
}

void MemoryForm::setOuterHeight(int pixels) {
    world_->faults.check("setOuterHeight");
    world_->journal.record("Form.outerHeight=" + std::to_string(pixels));
    // The toolkit raises the resize before the assignment returns.
    resizeClient(clientWidth, pixels - frameHeight);
}

platform::WindowHandle MemoryForm::hWnd() {
    world_->faults.check("hWnd");
    return 1;
}

void MemoryForm::unload() {
    world_->faults.check("unload");
    world_->journal.record("Form.unload");
    close();
}

void MemoryForm::resizeClient(int width, int height) {
    clientWidth = width;
    clientHeight = height;
    if (events_.Resize) events_.Resize();
}

bool MemoryForm::close() {
    bool cancel = false;
    if (events_.Unload) events_.Unload(cancel);
    if (!cancel) unloaded = true;
    return !cancel;
}

// ---- MemoryWindowSystem ----

MemoryWindowSystem::MemoryWindowSystem(std::shared_ptr<World> world) : world_(std::move(world)) {}

void MemoryWindowSystem::setMinimumOuterSize(platform::WindowHandle window,
                                             platform::OuterSize size) {
    world_->faults.check("setMinimumOuterSize");
    world_->journal.record("setMinimumOuterSize(" + std::to_string(window) + "," +
                           std::to_string(size.width) + "x" + std::to_string(size.height) + ")");
    minimum = size;
}

platform::WindowHandle MemoryWindowSystem::ownerOf(platform::WindowHandle window) {
    world_->faults.check("ownerOf");
    world_->journal.record("ownerOf(" + std::to_string(window) + ")");
    auto it = owners.find(window);
    return it != owners.end() ? it->second : 0;
}

void MemoryWindowSystem::setWindowIcon(platform::WindowHandle window, platform::IconSize size,
                                       const std::string& iconName) {
    world_->faults.check("setWindowIcon", iconName);
    world_->journal.record("setWindowIcon(" + std::to_string(window) + "," +
                           (size == platform::IconSize::Large ? "large" : "small") + "," +
                           iconName + ")");
}

// ---- MemoryTimer ----

void MemoryTimer::setEnabled(bool value) {
    world_->faults.check("TimerEnabled");
    world_->journal.record(name_ + ".Enabled=" + (value ? "1" : "0"));
    if (value && !enabled_) ++arms;
    enabled_ = value;
}

bool MemoryTimer::elapse() {
    if (!enabled_ || !tick_) return false;
    tick_();
    return true;
}

// ---- MemoryHost ----

MemoryHost::MemoryHost()
    : world(std::make_shared<World>()),
      journal(world->journal),
      faults(world->faults),
      stacking{"wbload", "WB", "wbstat"},
      formImpl(world),
      wb(world, "WB", 1, stacking),
      load(world, "wbload", 2, stacking),
      stat(world, "wbstat", 3, stacking),
      timer(world, "TimerResize"),
      deadline(world, "ChatPageDeadline"),
      windowSystem(world),
      flashPlayerImpl(world),
      webcamImpl(world),
      asyncReader(world),
      textFiles(world, utf8),
      saveDialog(world),
      messageBoxImpl(world),
      shellImpl(world),
      recorderFactory(world) {}

}  // namespace memory
