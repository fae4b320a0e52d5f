#include "platform/recorder/X11Grabber.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/Failure.h"

namespace recorder {
namespace {

// The pixel layout of a 32-bit image as FFmpeg names it, from the channel
// masks (of the 32-bit value) and the byte order of the image.
AVPixelFormat formatOf(const XImage& image) {
    if (image.bits_per_pixel != 32) return AV_PIX_FMT_NONE;
    const bool lsb = image.byte_order == LSBFirst;
    if (image.red_mask == 0xff0000 && image.green_mask == 0xff00 && image.blue_mask == 0xff)
        return lsb ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_0RGB;
    if (image.red_mask == 0xff && image.green_mask == 0xff00 && image.blue_mask == 0xff0000)
        return lsb ? AV_PIX_FMT_RGB0 : AV_PIX_FMT_0BGR;
    return AV_PIX_FMT_NONE;
}

int shiftOf(unsigned long mask) { return std::countr_zero(static_cast<std::uint32_t>(mask)); }

}  // namespace

X11Grabber::X11Grabber(std::unique_ptr<PrivateDisplay> display, const Rect& requested,
                       const GrabOptions& options)
    : display_(std::move(display)), requested_(requested), options_(options) {
    Display* dpy = display_->get();
    root_ = DefaultRootWindow(dpy);
    const int screen = DefaultScreen(dpy);
    plan_ = planCapture(requested_, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen),
                        options_.pad);
    int eventBase = 0, errorBase = 0;
    hasXFixes_ = XFixesQueryExtension(dpy, &eventBase, &errorBase);
    useShm_ = XShmQueryExtension(dpy);
    setUp();
    if (!grabVisible()) {
        tearDown();
        throw platform::Failure("cannot read the screen");
    }
}

X11Grabber::~X11Grabber() { tearDown(); }

void X11Grabber::setUp() {
    Display* dpy = display_->get();
    const int screen = DefaultScreen(dpy);
    padded_.clear();
    if (plan_.visible.empty()) {  // the screen shrank away from the whole rectangle
        padded_.assign(std::size_t(plan_.frameWidth) * plan_.frameHeight * 4, 0);
        return;
    }
    if (useShm_) {
        image_ =
            XShmCreateImage(dpy, DefaultVisual(dpy, screen), DefaultDepth(dpy, screen), ZPixmap,
                            nullptr, &shm_, plan_.visible.width, plan_.visible.height);
        if (image_) {
            shm_.shmid = shmget(IPC_PRIVATE, std::size_t(image_->bytes_per_line) * image_->height,
                                IPC_CREAT | 0600);
            shm_.shmaddr = shm_.shmid < 0 ? reinterpret_cast<char*>(-1)
                                          : static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
            shm_.readOnly = False;
            bool attached = false;
            if (shm_.shmaddr != reinterpret_cast<char*>(-1)) {
                image_->data = shm_.shmaddr;
                attached = XShmAttach(dpy, &shm_) && !display_->syncAndTakeError();
            }
            // Marked for removal now: it goes away when both sides detach,
            // even if this process dies.
            if (shm_.shmid >= 0) shmctl(shm_.shmid, IPC_RMID, nullptr);
            if (!attached) {  // a server on another machine, or no shared memory
                if (shm_.shmaddr != reinterpret_cast<char*>(-1)) shmdt(shm_.shmaddr);
                image_->data = nullptr;
                XDestroyImage(image_);
                image_ = nullptr;
                shm_ = {};
                useShm_ = false;
            }
        } else {
            useShm_ = false;
        }
    }
    if (!useShm_) {
        image_ = XGetImage(dpy, root_, plan_.visible.x, plan_.visible.y, plan_.visible.width,
                           plan_.visible.height, AllPlanes, ZPixmap);
        if (!image_ || display_->syncAndTakeError()) {
            if (image_) XDestroyImage(image_);
            image_ = nullptr;
            throw platform::Failure("cannot read the screen");
        }
    }
    pixelFormat_ = formatOf(*image_);
    if (pixelFormat_ == AV_PIX_FMT_NONE) {
        tearDown();
        throw platform::Failure("unsupported screen pixel format");
    }
    if (plan_.padded() || !useShm_)
        padded_.assign(std::size_t(plan_.frameWidth) * plan_.frameHeight * 4, 0);
}

void X11Grabber::tearDown() {
    if (!image_) return;
    if (useShm_) {
        XShmDetach(display_->get(), &shm_);
        display_->syncAndTakeError();
        shmdt(shm_.shmaddr);
        image_->data = nullptr;
        shm_ = {};
    }
    XDestroyImage(image_);
    image_ = nullptr;
}

bool X11Grabber::grabVisible() {
    if (!image_) return true;  // nothing of the rectangle is on the screen
    Display* dpy = display_->get();
    if (useShm_)
        return XShmGetImage(dpy, root_, image_, plan_.visible.x, plan_.visible.y, AllPlanes) &&
               !display_->takeError();
    XImage* fresh = XGetImage(dpy, root_, plan_.visible.x, plan_.visible.y, plan_.visible.width,
                              plan_.visible.height, AllPlanes, ZPixmap);
    if (display_->takeError() || !fresh) {
        if (fresh) XDestroyImage(fresh);
        return false;
    }
    XDestroyImage(image_);
    image_ = fresh;
    return true;
}

const std::uint8_t* X11Grabber::grab(int& stride) {
    if (!grabVisible()) {
        // Most likely the screen shrank under the rectangle: plan again for
        // its present size, padding what is off it, and try once more.
        tearDown();
        Window root;
        int x, y;
        unsigned width = 0, height = 0, border, depth;
        XGetGeometry(display_->get(), root_, &root, &x, &y, &width, &height, &border, &depth);
        const Rect frame{requested_.x, requested_.y, plan_.frameWidth, plan_.frameHeight};
        plan_.visible = intersect(frame, Rect{0, 0, int(width), int(height)});
        plan_.offsetX = plan_.visible.x - frame.x;
        plan_.offsetY = plan_.visible.y - frame.y;
        setUp();
        if (!grabVisible() && image_)
            std::memset(image_->data, 0, std::size_t(image_->bytes_per_line) * image_->height);
    }
    std::uint8_t* frame;
    if (padded_.empty()) {
        frame = reinterpret_cast<std::uint8_t*>(image_->data);
        stride = image_->bytes_per_line;
    } else {
        copyVisibleIntoFrame();
        frame = padded_.data();
        stride = plan_.frameWidth * 4;
    }
    drawPointer(frame, stride);
    return frame;
}

void X11Grabber::copyVisibleIntoFrame() {
    if (!image_) return;
    const int stride = plan_.frameWidth * 4;
    for (int row = 0; row < plan_.visible.height; ++row) {
        std::memcpy(padded_.data() + std::size_t(plan_.offsetY + row) * stride + plan_.offsetX * 4,
                    image_->data + std::size_t(row) * image_->bytes_per_line,
                    std::size_t(plan_.visible.width) * 4);
    }
}

void X11Grabber::drawPointer(std::uint8_t* frame, int stride) {
    if (!image_ || (!options_.drawPointer && !options_.highlightClicks)) return;
    Display* dpy = display_->get();
    const int rShift = shiftOf(image_->red_mask), gShift = shiftOf(image_->green_mask),
              bShift = shiftOf(image_->blue_mask);
    const bool swap =
        (image_->byte_order == LSBFirst) != (std::endian::native == std::endian::little);
    const int frameX = requested_.x, frameY = requested_.y;
    // Blends a premultiplied colour over the frame pixel at screen (x, y).
    auto blend = [&](int x, int y, unsigned a, unsigned r, unsigned g, unsigned b) {
        const int fx = x - frameX, fy = y - frameY;
        if (fx < plan_.offsetX || fy < plan_.offsetY || fx >= plan_.offsetX + plan_.visible.width ||
            fy >= plan_.offsetY + plan_.visible.height)
            return;
        auto* pixel = reinterpret_cast<std::uint32_t*>(frame + std::size_t(fy) * stride + fx * 4);
        std::uint32_t value = swap ? __builtin_bswap32(*pixel) : *pixel;
        auto mix = [&](int shift, unsigned source) {
            const unsigned dest = (value >> shift) & 0xff;
            return std::uint32_t(std::min(255u, source + dest * (255 - a) / 255)) << shift;
        };
        value = mix(rShift, r) | mix(gShift, g) | mix(bShift, b);
        *pixel = swap ? __builtin_bswap32(value) : value;
    };

    if (options_.highlightClicks) {
        Window rootReturn, child;
        int rootX, rootY, winX, winY;
        unsigned mask = 0;
        if (XQueryPointer(dpy, root_, &rootReturn, &child, &rootX, &rootY, &winX, &winY, &mask) &&
            (mask & (Button1Mask | Button2Mask | Button3Mask))) {
            // A yellow ring, 3 pixels wide, of radius 18, at 60 % opacity.
            constexpr int kOuter = 20, kInner = 17;
            constexpr unsigned kAlpha = 153;
            for (int dy = -kOuter; dy <= kOuter; ++dy)
                for (int dx = -kOuter; dx <= kOuter; ++dx) {
                    const int d2 = dx * dx + dy * dy;
                    if (d2 <= kOuter * kOuter && d2 >= kInner * kInner)
                        blend(rootX + dx, rootY + dy, kAlpha, kAlpha, kAlpha, 0);
                }
        }
    }
    if (options_.drawPointer && hasXFixes_) {
        XFixesCursorImage* cursor = XFixesGetCursorImage(dpy);
        if (!cursor) return;
        const int left = cursor->x - cursor->xhot, top = cursor->y - cursor->yhot;
        for (int row = 0; row < cursor->height; ++row)
            for (int col = 0; col < cursor->width; ++col) {
                // Premultiplied ARGB, one pixel in each unsigned long.
                const unsigned long argb = cursor->pixels[std::size_t(row) * cursor->width + col];
                const unsigned a = (argb >> 24) & 0xff;
                if (a == 0) continue;
                blend(left + col, top + row, a, (argb >> 16) & 0xff, (argb >> 8) & 0xff,
                      argb & 0xff);
            }
        XFree(cursor);
    }
}

}  // namespace recorder
