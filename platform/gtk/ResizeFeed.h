#pragma once
// The form's Resize event on GTK, raised through the event queue once the
// window is shown: for every new client size, and when the chat view's page
// reports a viewport other than the one the last Resize saw.

#include <functional>
#include <memory>
#include <utility>

#include "platform/gtk/EventQueue.h"

namespace gtkui {

class ResizeFeed {
public:
    // raise runs the form's Resize handler.
    ResizeFeed(std::shared_ptr<EventQueue> queue, std::function<void()> raise)
        : queue_(std::move(queue)), raise_(std::move(raise)) {}

    // The window is shown: sizes count from now on.
    void start() { started_ = true; }
    // A configure event's client size, in pixels.
    void clientSize(int width, int height);
    // The chat view's page reports the size of its viewport, in page pixels.
    void pageViewport(int width, int height);

private:
    void post();

    std::shared_ptr<EventQueue> queue_;
    std::function<void()> raise_;
    std::pair<int, int> reported_{-1, -1};
    std::pair<int, int> pageViewport_{-1, -1};
    std::pair<int, int> viewportAtResize_{-1, -1};
    bool queued_ = false;
    bool started_ = false;
};

}  // namespace gtkui
