// The share panel follows the pointer over the share button; the guards
// (the document and its body, bound to the window) refuse selection,
// dragging and the context menu on the chat page.

#include <utility>

#include "chatpage/ChatPage.h"

namespace chatpage {

using platform::PageEvent;
using support::attempt;

ChatPage::ChatPage(Services services, Controls controls, Addresses addresses, Calls calls)
    : services_(services),
      WB(controls.WB),
      wbstat(controls.wbstat),
      TimerResize(controls.TimerResize),
      ChatPageDeadline(controls.ChatPageDeadline),
      addresses_(std::move(addresses)),
      calls_(std::move(calls)),
      // The guards run nothing: the page's default action is cancelled inside
      // the page, where the field subscribes.
      oDocument_{"", {{PageEvent::DragStart, [] {}, true}, {PageEvent::ContextMenu, [] {}, true}}},
      oDocBody_{"BODY", {{PageEvent::SelectStart, [] {}, true}}},
      butShare_{"SPAN",
                {{PageEvent::MouseOver, [this] { showSharePanel(); }, false},
                 {PageEvent::MouseOut, [this] { hideSharePanel(); }, false}}} {}

void ChatPage::showSharePanel() {
    // The view's current document, not the bound one: a later page has no panel.
    attempt([&] { WB.Document()->getElementById("ShareThis")->style().display("block"); });
}

void ChatPage::hideSharePanel() {
    attempt([&] { WB.Document()->getElementById("ShareThis")->style().display("none"); });
}

void ChatPage::releaseGuards() {
    oDocument_.clear();
    oDocBody_.clear();
}

}  // namespace chatpage
