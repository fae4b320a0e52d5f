#include "platform/recorder/X11Grabber.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "support/Failure.h"
#include "platform/recorder/WindowPixmap.h"

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

char* const kNoSegment = reinterpret_cast<char*>(-1);

}  // namespace

X11Grabber::X11Grabber(std::unique_ptr<PrivateDisplay> display, const Rect& requested,
                       const GrabOptions& options)
    : display_(std::move(display)), options_(options), area_(requested) {
    Display* dpy = display_->get();
    root_ = DefaultRootWindow(dpy);
    const int screen = DefaultScreen(dpy);
    int eventBase = 0, errorBase = 0;
    hasXFixes_ = XFixesQueryExtension(dpy, &eventBase, &errorBase);
    useShm_ = XShmQueryExtension(dpy);
    visual_ = DefaultVisual(dpy, screen);
    depth_ = DefaultDepth(dpy, screen);
    int sourceWidth = DisplayWidth(dpy, screen), sourceHeight = DisplayHeight(dpy, screen);
    if (options_.window && WindowPixmap::available(dpy)) {
        window_ = std::make_unique<WindowPixmap>(*display_, options_.window);
        // Into the pixmap's coordinates, once: the recording follows the window.
        Window child;
        int x = 0, y = 0;
        if (!XTranslateCoordinates(dpy, options_.window, root_, 0, 0, &x, &y, &child) ||
            display_->takeError())
            throw support::Failure("the window to record does not exist");
        area_.x = area_.x - x + window_->border();
        area_.y = area_.y - y + window_->border();
        visual_ = window_->visual();
        depth_ = window_->depth();
        window_->update();  // names the pixmap, if the window is viewable
        sourceWidth = window_->width();
        sourceHeight = window_->height();
    }
    plan_ = planCapture(area_, sourceWidth, sourceHeight, options_.pad);

    // The pixel layout, from a sample image made on the client side alone.
    XImage* sample = XCreateImage(dpy, visual_, depth_, ZPixmap, 0, nullptr, 1, 1, 32, 0);
    if (!sample) throw support::Failure("unsupported screen pixel format");
    pixelFormat_ = formatOf(*sample);
    redShift_ = shiftOf(sample->red_mask);
    greenShift_ = shiftOf(sample->green_mask);
    blueShift_ = shiftOf(sample->blue_mask);
    colourMask_ = std::uint32_t(sample->red_mask | sample->green_mask | sample->blue_mask);
    swap_ = (sample->byte_order == LSBFirst) != (std::endian::native == std::endian::little);
    XDestroyImage(sample);
    if (pixelFormat_ == AV_PIX_FMT_NONE) throw support::Failure("unsupported screen pixel format");

    setUpImage();
    const bool readable = !window_ || window_->pixmap();
    if (readable && !grabVisible()) {
        dropImage();
        detachShm();
        throw support::Failure(window_ ? "cannot read the window" : "cannot read the screen");
    }
}

X11Grabber::~X11Grabber() {
    dropImage();
    detachShm();
    window_.reset();  // before the connection goes
}

void X11Grabber::attachShm() {
    Display* dpy = display_->get();
    const std::size_t bytes = std::size_t(plan_.frameWidth) * plan_.frameHeight * 4;
    shm_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    shm_.shmaddr = shm_.shmid < 0 ? kNoSegment : static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
    shm_.readOnly = False;
    const bool attached =
        shm_.shmaddr != kNoSegment && XShmAttach(dpy, &shm_) && !display_->syncAndTakeError();
    // Marked for removal now: it goes away when both sides detach, even if
    // this process dies.
    if (shm_.shmid >= 0) shmctl(shm_.shmid, IPC_RMID, nullptr);
    if (!attached) {  // a server on another machine, or no shared memory
        if (shm_.shmaddr != kNoSegment) shmdt(shm_.shmaddr);
        shm_ = {};
        useShm_ = false;
    }
}

void X11Grabber::detachShm() {
    if (!shm_.shmaddr) return;
    XShmDetach(display_->get(), &shm_);
    display_->syncAndTakeError();
    shmdt(shm_.shmaddr);
    shm_ = {};
}

// The shared segment has room for a whole frame from the start, so a new
// plan only needs a new image header over it.
void X11Grabber::setUpImage() {
    dropImage();
    padded_.clear();
    if (useShm_ && !shm_.shmaddr) attachShm();
    if (useShm_ && !plan_.visible.empty()) {
        image_ = XShmCreateImage(display_->get(), visual_, depth_, ZPixmap, shm_.shmaddr, &shm_,
                                 plan_.visible.width, plan_.visible.height);
        if (!image_) throw support::Failure("cannot create the shared image");
    }
    // Without shared memory each grab is a new image, copied into the frame.
    if (plan_.padded() || !useShm_)
        padded_.assign(std::size_t(plan_.frameWidth) * plan_.frameHeight * 4, 0);
}

void X11Grabber::dropImage() {
    if (!image_) return;
    if (useShm_) image_->data = nullptr;  // the segment's, not the image's
    XDestroyImage(image_);
    image_ = nullptr;
}

void X11Grabber::plan(int sourceWidth, int sourceHeight) {
    const Rect frame{area_.x, area_.y, plan_.frameWidth, plan_.frameHeight};
    const Rect visible = intersect(frame, Rect{0, 0, sourceWidth, sourceHeight});
    if (visible == plan_.visible) return;
    plan_.visible = visible;
    plan_.offsetX = visible.x - frame.x;
    plan_.offsetY = visible.y - frame.y;
    setUpImage();
}

bool X11Grabber::grabVisible() {
    if (plan_.visible.empty()) return true;  // nothing of the rectangle to read
    Display* dpy = display_->get();
    const Drawable source = window_ ? window_->pixmap() : root_;
    if (!source) return false;
    if (useShm_)
        return XShmGetImage(dpy, source, image_, plan_.visible.x, plan_.visible.y, AllPlanes) &&
               !display_->takeError();
    XImage* fresh = XGetImage(dpy, source, plan_.visible.x, plan_.visible.y, plan_.visible.width,
                              plan_.visible.height, AllPlanes, ZPixmap);
    if (display_->takeError() || !fresh) {
        if (fresh) XDestroyImage(fresh);
        return false;
    }
    dropImage();
    image_ = fresh;
    return true;
}

const std::uint8_t* X11Grabber::grab(int& stride) {
    if (window_) {
        WindowPixmap::State state = window_->update();
        if (state == WindowPixmap::State::Renamed) plan(window_->width(), window_->height());
        if (state != WindowPixmap::State::Unreadable && !grabVisible()) {
            window_->invalidate();  // unmapped or resized since the update
            state = WindowPixmap::State::Unreadable;
        }
        if (state == WindowPixmap::State::Unreadable) return repeatLast(stride);
    } else if (!grabVisible()) {
        // Most likely the screen shrank under the rectangle: plan again for
        // its present size, padding what is off it, and try once more.
        Window root;
        int x, y;
        unsigned width = 0, height = 0, border, depth;
        XGetGeometry(display_->get(), root_, &root, &x, &y, &width, &height, &border, &depth);
        plan(int(width), int(height));
        if (!grabVisible() && image_)
            std::memset(image_->data, 0, std::size_t(image_->bytes_per_line) * image_->height);
    }
    if (plan_.visible.empty() || !image_)
        last_ = Grabbed::Nothing;
    else
        last_ = scanForBlack_ && visibleIsBlack() ? Grabbed::Black : Grabbed::Pixels;

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
    lastFrame_ = frame;
    lastStride_ = stride;
    return frame;
}

const std::uint8_t* X11Grabber::repeatLast(int& stride) {
    last_ = Grabbed::Nothing;
    if (!lastFrame_) {  // nothing read yet: a black frame
        if (padded_.empty())
            padded_.assign(std::size_t(plan_.frameWidth) * plan_.frameHeight * 4, 0);
        lastFrame_ = padded_.data();
        lastStride_ = plan_.frameWidth * 4;
    }
    stride = lastStride_;
    return lastFrame_;
}

bool X11Grabber::visibleIsBlack() const {
    const std::uint32_t colour = swap_ ? __builtin_bswap32(colourMask_) : colourMask_;
    for (int row = 0; row < image_->height; ++row) {
        const auto* pixel = reinterpret_cast<const std::uint32_t*>(
            image_->data + std::size_t(row) * image_->bytes_per_line);
        for (int col = 0; col < image_->width; ++col)
            if (pixel[col] & colour) return false;
    }
    return true;
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
    if (!options_.drawPointer && !options_.highlightClicks) return;
    Display* dpy = display_->get();
    // Where the pointer is in the frame; nothing is drawn while it is outside.
    Window rootReturn, child;
    int rootX, rootY, winX, winY;
    unsigned mask = 0;
    const bool onScreen = XQueryPointer(dpy, window_ ? window_->window() : root_, &rootReturn,
                                        &child, &rootX, &rootY, &winX, &winY, &mask);
    if (display_->takeError() || !onScreen) return;  // the window went, or another screen
    const int border = window_ ? window_->border() : 0;
    const int pointerX = winX + border - area_.x, pointerY = winY + border - area_.y;
    if (pointerX < 0 || pointerY < 0 || pointerX >= plan_.frameWidth ||
        pointerY >= plan_.frameHeight)
        return;

    // Blends a premultiplied colour over the frame pixel at (x, y).
    auto blend = [&](int x, int y, unsigned a, unsigned r, unsigned g, unsigned b) {
        if (x < plan_.offsetX || y < plan_.offsetY || x >= plan_.offsetX + plan_.visible.width ||
            y >= plan_.offsetY + plan_.visible.height)
            return;
        auto* pixel = reinterpret_cast<std::uint32_t*>(frame + std::size_t(y) * stride + x * 4);
        std::uint32_t value = swap_ ? __builtin_bswap32(*pixel) : *pixel;
        auto mix = [&](int shift, unsigned source) {
            const unsigned dest = (value >> shift) & 0xff;
            return std::uint32_t(std::min(255u, source + dest * (255 - a) / 255)) << shift;
        };
        value = mix(redShift_, r) | mix(greenShift_, g) | mix(blueShift_, b);
        *pixel = swap_ ? __builtin_bswap32(value) : value;
    };

    if (options_.highlightClicks && (mask & (Button1Mask | Button2Mask | Button3Mask))) {
        // A yellow ring, 3 pixels wide, of radius 18, at 60 % opacity.
        constexpr int kOuter = 20, kInner = 17;
        constexpr unsigned kAlpha = 153;
        for (int dy = -kOuter; dy <= kOuter; ++dy)
            for (int dx = -kOuter; dx <= kOuter; ++dx) {
                const int d2 = dx * dx + dy * dy;
                if (d2 <= kOuter * kOuter && d2 >= kInner * kInner)
                    blend(pointerX + dx, pointerY + dy, kAlpha, kAlpha, kAlpha, 0);
            }
    }
    if (options_.drawPointer && hasXFixes_) {
        XFixesCursorImage* cursor = XFixesGetCursorImage(dpy);
        if (!cursor) return;
        const int left = pointerX - cursor->xhot, top = pointerY - cursor->yhot;
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
