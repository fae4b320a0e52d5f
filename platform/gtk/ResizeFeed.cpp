#include "platform/gtk/ResizeFeed.h"

namespace gtkui {

void ResizeFeed::clientSize(int width, int height) {
    if (!started_ || reported_ == std::pair{width, height}) return;
    reported_ = {width, height};
    post();
}

// The chat view's page reaches its new size after the window's configure
// event and after the views have been placed, so the Resize that the
// configure event raised may have measured the page at its old size. The page
// reports every change of its size; one that differs from the size known when
// the last Resize began raises Resize again. Resize on an unchanged size
// changes nothing, so a spare run costs only its reads.
void ResizeFeed::pageViewport(int width, int height) {
    pageViewport_ = {width, height};
    if (started_ && pageViewport_ != viewportAtResize_) post();
}

// One Resize waits in the queue at most: it reads the sizes when it runs.
void ResizeFeed::post() {
    if (queued_) return;
    queued_ = true;
    queue_->post([this] {
        queued_ = false;
        viewportAtResize_ = pageViewport_;
        raise_();
    });
}

}  // namespace gtkui
