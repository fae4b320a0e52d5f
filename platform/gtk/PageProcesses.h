#pragma once
// The web processes that run the window's pages: the web context that starts
// them with a memory limit, and a watch that ends a process that stops
// answering. A process that is ended either way reports it to its views
// (web-process-terminated), as a crash does, and the views' next load starts
// a fresh one.

#include <webkit2/webkit2.h>

#include <chrono>
#include <memory>
#include <string>

namespace gtkui {

// The memory a page's web process may take, in MiB: 2 GiB, or half of this
// computer's memory when that is less. The chat page with the Flash player
// takes about 250 MiB, so no working chat page comes near it, while a page
// that grows without end is ended before it pushes the desktop into swap or
// the kernel's out-of-memory killer picks a process of its own choosing.
unsigned defaultPageMemoryLimitMB();

// A web context on data whose web processes are ended when they pass
// memoryLimitMB (0: no limit).
WebKitWebContext* webContextWithMemoryLimit(WebKitWebsiteDataManager* data, unsigned memoryLimitMB);

// Ends the web process of a group of related views when it has not answered
// for `grace`: a script in an endless loop, an endless run of alert(). Signs
// that it does not answer: WebKit's own (the view's
// is-web-process-responsive), and a cheap script sent every second that has
// not come back. A process that answers slowly but answers is left alone.
// Used on the user-interface thread only.
class PageProcessWatch {
public:
    // name: what the log calls the process's pages.
    PageProcessWatch(std::string name, std::chrono::milliseconds grace);
    ~PageProcessWatch();
    PageProcessWatch(const PageProcessWatch&) = delete;
    PageProcessWatch& operator=(const PageProcessWatch&) = delete;

    // Watches the process of view, the first view made in it.
    void watch(WebKitWebView* view);

private:
    struct State;
    static gboolean onTick(gpointer state);

    std::shared_ptr<State> state_;
    guint tick_ = 0;
};

}  // namespace gtkui
