#include "TestScreen.h"

#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace recorder_test {
namespace {

unsigned long pixelOf(Rgb c) { return (c.r << 16) | (c.g << 8) | c.b; }  // 24-bit TrueColor

}  // namespace

TestScreen::TestScreen() : display_(nullptr) {
    // A server started just before the tests may not accept connections yet.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(display_ = XOpenDisplay(nullptr)) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!display_) throw std::runtime_error("no X display");
    gc_ = XCreateGC(display_, DefaultRootWindow(display_), 0, nullptr);
}

TestScreen::~TestScreen() {
    XFreeGC(display_, gc_);
    XCloseDisplay(display_);  // destroys the windows
}

int TestScreen::width() const { return DisplayWidth(display_, DefaultScreen(display_)); }
int TestScreen::height() const { return DisplayHeight(display_, DefaultScreen(display_)); }

Window TestScreen::show(int x, int y, int width, int height, Rgb colour) {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = pixelOf(colour);
    attributes.event_mask = ExposureMask;
    const Window window = XCreateWindow(
        display_, DefaultRootWindow(display_), x, y, width, height, 0, CopyFromParent, InputOutput,
        CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    XMapRaised(display_, window);
    // Wait for the window to be on screen before drawing into it.
    XEvent event;
    XWindowEvent(display_, window, ExposureMask, &event);
    fill(window, colour);
    return window;
}

void TestScreen::fill(Window window, Rgb colour) {
    XWindowAttributes attributes;
    XGetWindowAttributes(display_, window, &attributes);
    XSetForeground(display_, gc_, pixelOf(colour));
    XFillRectangle(display_, window, gc_, 0, 0, attributes.width, attributes.height);
    XSync(display_, False);
}

void TestScreen::movePointer(int x, int y) {
    // XTest, not XWarpPointer: Xwayland without an input seat dies of a warp.
    XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
    XSync(display_, False);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        Window root, child;
        int rootX = -1, rootY = -1, winX, winY;
        unsigned mask;
        XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &rootX, &rootY, &winX,
                      &winY, &mask);
        if ((rootX == x && rootY == y) || std::chrono::steady_clock::now() > deadline) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void TestScreen::map(Window window) {
    XSelectInput(display_, window, ExposureMask);
    XMapRaised(display_, window);
    XEvent event;
    XWindowEvent(display_, window, ExposureMask, &event);
}

bool TestScreen::isXwayland() const {
    // Xwayland 23 and later have an extension of that name; older ones only
    // name their outputs XWAYLAND0, XWAYLAND1, ... (newer ones name them after
    // the compositor's outputs).
    int opcode = 0, event = 0, error = 0;
    if (XQueryExtension(display_, "XWAYLAND", &opcode, &event, &error)) return true;
    XRRScreenResources* resources =
        XRRGetScreenResourcesCurrent(display_, DefaultRootWindow(display_));
    if (!resources) return false;
    bool found = false;
    for (int i = 0; i < resources->noutput && !found; ++i) {
        XRROutputInfo* output = XRRGetOutputInfo(display_, resources, resources->outputs[i]);
        found = output && std::strncmp(output->name, "XWAYLAND", 8) == 0;
        if (output) XRRFreeOutputInfo(output);
    }
    XRRFreeScreenResources(resources);
    return found;
}

}  // namespace recorder_test
