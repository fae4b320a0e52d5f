// The prepared chat page's blocks follow the page's size.

#include "chatpage/ChatPage.h"
#include "chatpage/PageLayout.h"

namespace chatpage {

using support::attempt;

void ChatPage::fitToWindow() {
    if (!ChatPagePrepared) return;

    std::int32_t W = 0, H = 0;
    attempt([&] { W = oDocument_.document()->documentElement()->offsetWidth(); });
    attempt([&] { H = oDocument_.document()->documentElement()->offsetHeight(); });
    PageLayout l;
    attempt([&] { l = ComputePageLayout(W, H); });

    // Each assignment looks its element up afresh.
    auto set = [&](const char* id, auto property, std::int32_t value) {
        attempt([&] {
            auto style = oDocument_.document()->getElementById(id)->style();
            (style.*property)(Pixels(value));
        });
    };
    set("content", &platform::Style::height, l.contentHeight);
    set("cam", &platform::Style::height, l.camHeight);
    set("cam", &platform::Style::width, l.camWidth);
    set("log", &platform::Style::height, l.logHeight);
    set("chatarea", &platform::Style::width, l.chatareaWidth);
}

}  // namespace chatpage
