#pragma once
// What the chat page keeps: whether it was prepared, the page objects bound
// to the window, and how long the chat screen has been awaited.

#include "app/EventBoundRef.h"

namespace chatpage {

struct ChatPageState {
    // Set as the preparation starts, so that it runs once; cleared when the
    // chat page fails, so that the next completion is prepared afresh.
    bool ChatPagePrepared = false;
    app::EventBoundRef oDocument;
    app::EventBoundRef oDocBody;
    app::EventBoundRef butShare;
    int chatPageSeconds = 0;      // deadline ticks since the chat page was asked for
    bool chatPageFailed = false;  // the chat page failed; the start page offers Retry
};

}  // namespace chatpage
