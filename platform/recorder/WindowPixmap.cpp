#include "platform/recorder/WindowPixmap.h"

#include <X11/extensions/Xcomposite.h>

#include "support/Failure.h"

namespace recorder {

bool WindowPixmap::available(Display* display) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 2;
    return XCompositeQueryExtension(display, &eventBase, &errorBase) &&
           XCompositeQueryVersion(display, &major, &minor) && (major > 0 || minor >= 2);
}

WindowPixmap::WindowPixmap(PrivateDisplay& display, Window window)
    : display_(display), window_(window) {
    Display* dpy = display_.get();
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(dpy, window_, &attributes) || display_.takeError())
        throw support::Failure("the window to record does not exist");
    visual_ = attributes.visual;
    depth_ = attributes.depth;
    border_ = attributes.border_width;
    width_ = attributes.width + 2 * border_;  // until the pixmap is named
    height_ = attributes.height + 2 * border_;
    mapped_ = attributes.map_state == IsViewable;
    XSelectInput(dpy, window_, StructureNotifyMask);
    // Refused only when the window is already redirected by another client,
    // manually (a compositing manager): then its pixmap can be named anyway.
    XCompositeRedirectWindow(dpy, window_, CompositeRedirectAutomatic);
    display_.syncAndTakeError();
}

WindowPixmap::~WindowPixmap() {
    release();
    Display* dpy = display_.get();
    if (!gone_) {
        XCompositeUnredirectWindow(dpy, window_, CompositeRedirectAutomatic);
        XSelectInput(dpy, window_, NoEventMask);
    }
    display_.syncAndTakeError();  // the window may have gone meanwhile
}

WindowPixmap::State WindowPixmap::update() {
    Display* dpy = display_.get();
    while (XPending(dpy) > 0) {
        XEvent event;
        XNextEvent(dpy, &event);
        switch (event.type) {
            case ConfigureNotify:
                border_ = event.xconfigure.border_width;
                if (event.xconfigure.width + 2 * border_ != width_ ||
                    event.xconfigure.height + 2 * border_ != height_)
                    stale_ = true;
                break;
            case MapNotify:
                mapped_ = true;
                stale_ = true;
                break;
            case UnmapNotify:
                mapped_ = false;
                break;
            case DestroyNotify:
                gone_ = true;
                break;
            default:
                break;
        }
    }
    if (gone_ || !mapped_) return State::Unreadable;
    // The pixmap is named afresh for every frame: Xwayland 24 gives a window a
    // new backing pixmap when the windows above it change, and a pixmap named
    // before keeps the old pixels without any event telling so. Only a new
    // size, or a first name after the window could not be read, is news.
    // Naming fails while the window is not viewable (its frame unmapped):
    // tried again at every update until it is.
    const bool wasStale = stale_;
    const int width = width_, height = height_;
    if (!name()) return State::Unreadable;
    return wasStale || width_ != width || height_ != height ? State::Renamed : State::Same;
}

bool WindowPixmap::name() {
    release();
    Display* dpy = display_.get();
    const Pixmap named = XCompositeNameWindowPixmap(dpy, window_);
    // The size of the new pixmap, and at the same time a check that it exists.
    Window root;
    int x, y;
    unsigned width = 0, height = 0, border, depth;
    if (!XGetGeometry(dpy, named, &root, &x, &y, &width, &height, &border, &depth) ||
        display_.takeError())
        return false;
    pixmap_ = named;
    width_ = int(width);
    height_ = int(height);
    stale_ = false;
    return true;
}

void WindowPixmap::release() {
    if (!pixmap_) return;
    XFreePixmap(display_.get(), pixmap_);
    pixmap_ = 0;
}

}  // namespace recorder
