// The share panel follows the pointer over the share button; the guards
// refuse selection, dragging and the context menu on the chat page.

#include "app/Main.h"

namespace app {

using platform::attempt;

void Main::butShare_onmouseover() {
    // The view's current document, not the bound one: a later page has no panel.
    attempt([&] { WB.Document()->getElementById("ShareThis")->style().display("block"); });
}

void Main::butShare_onmouseout() {
    attempt([&] { WB.Document()->getElementById("ShareThis")->style().display("none"); });
}

void Main::oDocBody_onselectstart() {}
void Main::oDocument_ondragstart() {}
void Main::oDocument_oncontextmenu() {}

}  // namespace app
