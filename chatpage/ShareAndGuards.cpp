// The share panel follows the pointer over the share button; the guards
// (the document and its body, bound to the window) refuse selection,
// dragging and the context menu on the chat page.

#include <utility>

#include "chatpage/ChatPage.h"

namespace chatpage {

using platform::attempt;
using platform::PageEvent;

ChatPage::ChatPage(platform::Host& host, Controls controls, Addresses addresses, Calls calls)
    : host_(host),
      WB(controls.WB),
      wbstat(controls.wbstat),
      TimerResize(controls.TimerResize),
      ChatPageDeadline(controls.ChatPageDeadline),
      addresses_(std::move(addresses)),
      calls_(std::move(calls)),
      oDocument_{"",
                 {{PageEvent::DragStart, calls_.documentDragStart, true},
                  {PageEvent::ContextMenu, calls_.documentContextMenu, true}}},
      oDocBody_{"BODY", {{PageEvent::SelectStart, calls_.bodySelectStart, true}}},
      butShare_{"SPAN",
                {{PageEvent::MouseOver, calls_.shareMouseOver, false},
                 {PageEvent::MouseOut, calls_.shareMouseOut, false}}} {}

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
