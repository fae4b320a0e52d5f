#include "TestSupport.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <glib/gstdio.h>

#include <cstdlib>
#include <stdexcept>

#include "platform/desktop/DesktopShell.h"
#include "platform/desktop/SoupAsyncReader.h"
#include "platform/posix/LocaleCodePage.h"
#include "platform/posix/PosixTextFiles.h"

namespace guitest {

using namespace platform;

bool waitFor(const std::function<bool()>& condition, unsigned limitMs) {
    gint64 end = g_get_monotonic_time() + gint64{limitMs} * 1000;
    bool woke = false;
    // A periodic wake-up so that conditions that no source signals are seen too.
    guint tick = g_timeout_add(
        20,
        [](gpointer w) -> gboolean {
            *static_cast<bool*>(w) = true;
            return G_SOURCE_CONTINUE;
        },
        &woke);
    bool met = condition();
    while (!met && g_get_monotonic_time() < end) {
        g_main_context_iteration(nullptr, TRUE);
        met = condition();
    }
    g_source_remove(tick);
    return met;
}

std::string pageEval(WebKitWebView* view, const std::string& script) {
    struct Result {
        bool done = false;
        std::string text;
    };
    auto result = std::make_shared<Result>();
    std::string wrapped = "(()=>{try{return String((()=>{return " + script +
                          "})());}catch(e){return '<error: '+e+'>';}})()";
    webkit_web_view_evaluate_javascript(
        view, wrapped.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* res, gpointer data) {
            std::unique_ptr<std::shared_ptr<Result>> r(static_cast<std::shared_ptr<Result>*>(data));
            g_autoptr(GError) error = nullptr;
            g_autoptr(JSCValue) value =
                webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), res, &error);
            if (value) {
                g_autofree gchar* text = jsc_value_to_string(value);
                (*r)->text = text ? text : "";
            } else {
                (*r)->text = std::string("<error: ") + (error ? error->message : "?") + ">";
            }
            (*r)->done = true;
        },
        new std::shared_ptr<Result>(result));
    if (!waitFor([&] { return result->done; })) return "<no answer>";
    return result->text;
}

namespace {

class FakeFlashPlayer : public FlashPlayerService {
public:
    explicit FakeFlashPlayer(std::shared_ptr<Fakes> fakes) : fakes_(std::move(fakes)) {}
    std::string installedVersion(int) override {
        if (fakes_->flashVersion.empty()) throw support::Failure("no Flash player");
        return fakes_->flashVersion;
    }

private:
    std::shared_ptr<Fakes> fakes_;
};

class FakeWebcam : public WebcamService {
public:
    explicit FakeWebcam(std::shared_ptr<Fakes> fakes) : fakes_(std::move(fakes)) {}
    bool webcamPresent() override { return fakes_->webcam; }

private:
    std::shared_ptr<Fakes> fakes_;
};

class FakeSaveDialog : public SaveDialog {
public:
    explicit FakeSaveDialog(std::shared_ptr<Fakes> fakes) : fakes_(std::move(fakes)) {}
    std::string askSavePath(const std::vector<FileType>&) override {
        ++fakes_->saveDialogs;
        return fakes_->savePath;
    }

private:
    std::shared_ptr<Fakes> fakes_;
};

class FakeMessageBox : public MessageBoxService {
public:
    explicit FakeMessageBox(std::shared_ptr<Fakes> fakes) : fakes_(std::move(fakes)) {}
    MessageAnswer ask(const std::string&, MessageButtons, bool, const std::string&) override {
        ++fakes_->messageBoxes;
        return fakes_->messageAnswer;
    }

private:
    std::shared_ptr<Fakes> fakes_;
};

class FakeShell : public Shell {
public:
    explicit FakeShell(std::shared_ptr<Fakes> fakes) : fakes_(std::move(fakes)) {}
    void openWithDefaultHandler(const std::string& target) override {
        fakes_->opened.push_back(target);
        if (fakes_->realDefaultHandler) desktop::DesktopShell().openWithDefaultHandler(target);
    }

private:
    std::shared_ptr<Fakes> fakes_;
};

class FakeRecorder : public ScreenRecorder {
public:
    explicit FakeRecorder(std::shared_ptr<Fakes> fakes) : fakes_(std::move(fakes)) {
        ++fakes_->recordersAlive;
    }
    ~FakeRecorder() override {
        stop();
        --fakes_->recordersAlive;
    }
    void start() override {
        running_ = true;
        ++fakes_->recordersStarted;
    }
    void stop() override {
        if (!running_) return;
        running_ = false;
        ++fakes_->recordersStopped;
    }

private:
    std::shared_ptr<Fakes> fakes_;
    bool running_ = false;
};

class FakeRecorders : public RecorderFactory {
public:
    explicit FakeRecorders(std::shared_ptr<Fakes> fakes) : fakes_(std::move(fakes)) {}
    std::shared_ptr<ScreenRecorder> create(const RecordingRequest& request,
                                           std::function<void()>) override {
        fakes_->captureLeft = request.area.left;
        fakes_->captureTop = request.area.top;
        fakes_->captureWidth = request.area.width;
        fakes_->captureHeight = request.area.height;
        return std::make_shared<FakeRecorder>(fakes_);
    }

private:
    std::shared_ptr<Fakes> fakes_;
};

}  // namespace

std::string openedByDefaultHandler() {
    const char* log = g_getenv("WHIRLIGIG_TEST_OPENED");
    g_autofree gchar* text = nullptr;
    if (!log || !g_file_get_contents(log, &text, nullptr, nullptr)) return {};
    return text;
}

gtkui::HostServices makeServices(std::shared_ptr<Fakes> fakes) {
    gtkui::HostServices s;
    s.flashPlayer = std::make_unique<FakeFlashPlayer>(fakes);
    s.webcam = std::make_unique<FakeWebcam>(fakes);
    s.reader = std::make_unique<desktop::SoupAsyncReader>();
    s.codePage = std::make_unique<posix::LocaleCodePage>();
    s.files = std::make_unique<posix::PosixTextFiles>(*s.codePage);
    s.saveDialog = std::make_unique<FakeSaveDialog>(fakes);
    s.messageBox = std::make_unique<FakeMessageBox>(fakes);
    s.shell = std::make_unique<FakeShell>(fakes);
    s.recorders = std::make_unique<FakeRecorders>(fakes);
    return s;
}

TempFolder::TempFolder() {
    g_autofree gchar* dir = g_dir_make_tmp("whirligig-gui-XXXXXX", nullptr);
    if (!dir) throw std::runtime_error("no temporary folder");
    path_ = dir;
    g_mkdir_with_parents((path_ + "/HTML/Img").c_str(), 0700);
}

TempFolder::~TempFolder() {
    std::string command = "rm -rf '" + path_ + "'";
    if (std::system(command.c_str()) != 0) g_warning("cannot remove %s", path_.c_str());
}

void TempFolder::write(const std::string& relative, const std::string& contents) const {
    std::string file = path_ + "/" + relative;
    g_autofree gchar* dir = g_path_get_dirname(file.c_str());
    g_mkdir_with_parents(dir, 0700);
    g_file_set_contents(file.c_str(), contents.data(), static_cast<gssize>(contents.size()),
                        nullptr);
}

OutsideRequests::OutsideRequests(unsigned long window)
    : display_(XOpenDisplay(nullptr)), window_(window) {
    if (!display_) throw std::runtime_error("no X display");
}

OutsideRequests::~OutsideRequests() { XCloseDisplay(display_); }

void OutsideRequests::resize(int width, int height) {
    XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSync(display_, False);
}

void OutsideRequests::maximise(bool on) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window_;
    event.xclient.message_type = XInternAtom(display_, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = on ? 1 : 0;  // _NET_WM_STATE_ADD or _REMOVE
    event.xclient.data.l[1] =
        static_cast<long>(XInternAtom(display_, "_NET_WM_STATE_MAXIMIZED_VERT", False));
    event.xclient.data.l[2] =
        static_cast<long>(XInternAtom(display_, "_NET_WM_STATE_MAXIMIZED_HORZ", False));
    event.xclient.data.l[3] = 2;  // asked for by the user (a pager or a task bar)
    XSendEvent(display_, DefaultRootWindow(display_), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(display_, False);
}

GdkRectangle OutsideRequests::clientArea() {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window_, &attributes)) return {};
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
    return {x, y, attributes.width, attributes.height};
}

bool OutsideRequests::maximised() {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Atom vertical = XInternAtom(display_, "_NET_WM_STATE_MAXIMIZED_VERT", False);
    bool found = false;
    if (XGetWindowProperty(display_, window_, XInternAtom(display_, "_NET_WM_STATE", False), 0, 64,
                           False, XA_ATOM, &type, &format, &count, &after, &data) == Success &&
        data) {
        auto* atoms = reinterpret_cast<Atom*>(data);
        for (unsigned long k = 0; k < count; ++k) found = found || atoms[k] == vertical;
        XFree(data);
    }
    return found;
}

std::string pngImage(int width, int height, unsigned rgb) {
    g_autoptr(GdkPixbuf) pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    gdk_pixbuf_fill(pixbuf, (rgb << 8) | 0xff);
    g_autofree gchar* buffer = nullptr;
    gsize size = 0;
    gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", nullptr, nullptr);
    return std::string(buffer, size);
}

void realInput(WebKitWebView* view, const std::string& id, const std::string& actions) {
    const std::string where = pageEval(
        view, "(r => Math.round(r.left + r.width / 2) + ' ' + Math.round(r.top + r.height / 2))"
              "(document.querySelector('[id=\"" + id + "\"]').getBoundingClientRect())");
    int x = 0, y = 0;
    std::sscanf(where.c_str(), "%d %d", &x, &y);
    GtkWidget* widget = GTK_WIDGET(view);
    int tx = 0, ty = 0, ox = 0, oy = 0;
    gtk_widget_translate_coordinates(widget, gtk_widget_get_toplevel(widget), 0, 0, &tx, &ty);
    gdk_window_get_origin(gtk_widget_get_window(gtk_widget_get_toplevel(widget)), &ox, &oy);
    const std::string command = "xdotool mousemove " + std::to_string(ox + tx + x) + " " +
                                std::to_string(oy + ty + y) + " " + actions;
    g_spawn_command_line_sync(command.c_str(), nullptr, nullptr, nullptr, nullptr);
}

unsigned windowPixel(GtkWindow* window, int x, int y) {
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window));
    int ox = 0, oy = 0;
    gdk_window_get_origin(gdkWindow, &ox, &oy);
    g_autoptr(GdkPixbuf) shot =
        gdk_pixbuf_get_from_window(gdk_get_default_root_window(), ox + x, oy + y, 1, 1);
    if (!shot) return 0xffffffff;
    const guchar* p = gdk_pixbuf_get_pixels(shot);
    return (unsigned{p[0]} << 16) | (unsigned{p[1]} << 8) | p[2];
}

Harness::Harness(std::string appFolder, unsigned pageMemoryLimitMB, std::string chatSite,
                 const std::function<void(gtkui::HostOptions&)>& adjust) {
    gtkui::HostOptions options;
    options.chatSite = std::move(chatSite);
    options.appFolder = appFolder.empty() ? folder_.path() : appFolder;
    options.ephemeral = options.chatSite.empty();
    options.pageMemoryLimitMB = pageMemoryLimitMB;
    if (adjust) adjust(options);
    auto fakes = fakes_;
    host_ = std::make_unique<gtkui::GtkHost>([fakes](GtkWindow*) { return makeServices(fakes); },
                                             options);
}

Harness::~Harness() { host_.reset(); }

bool Harness::load(platform::BrowserView& view, const std::string& address) {
    bool done = false;
    view.setEvents({nullptr,
                    [&](platform::BrowserObject pDisp, const std::string&) {
                        if (pDisp == view.topLevelBrowser()) done = true;
                    },
                    nullptr, nullptr, nullptr});
    view.Navigate2(address);
    bool ok = waitFor([&] { return done; });
    view.setEvents({});
    return ok;
}

}  // namespace guitest
