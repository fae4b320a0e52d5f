#pragma once
// Shared pieces of the GUI tests: waiting for conditions, stand-ins for the
// system services, a host in a fresh temporary application folder, and
// scripts run in a page's own world to look at what the client did.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/gtk/GtkHost.h"
#include "support/Log.h"

struct _XDisplay;  // Xlib's Display

namespace guitest {

// Runs the main loop until condition holds or limitMs has passed.
bool waitFor(const std::function<bool()>& condition, unsigned limitMs = 30000);

// Runs script in the page's own world of a view and returns its value as text
// ("<error: ...>" when it throws).
std::string pageEval(WebKitWebView* view, const std::string& script);

// What the stand-in services answer, and what the program asked of them.
struct Fakes {
    std::string flashVersion = "WIN 10,0,0,0";  // empty: no Flash player
    bool webcam = true;
    std::string savePath;             // what the save dialog answers
    platform::MessageAnswer messageAnswer = platform::MessageAnswer::No;
    std::vector<std::string> opened;  // what the desktop was asked to open
    bool realDefaultHandler = false;  // also open it with the (private) desktop's handler
    int recordersStarted = 0, recordersStopped = 0, recordersAlive = 0;
    int saveDialogs = 0, messageBoxes = 0;
    int captureLeft = 0, captureTop = 0, captureWidth = 0,
        captureHeight = 0;  // the last recording's
};

// What the test desktop's default handler was given, one address a line.
std::string openedByDefaultHandler();

// Test stand-ins for the services, except the reader: the real one, over HTTP.
gtkui::HostServices makeServices(std::shared_ptr<Fakes> fakes);

// A fresh application folder with an HTML/ subfolder (removed at the end).
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return path_; }
    void write(const std::string& relative, const std::string& contents) const;

private:
    std::string path_;
};

// Asks for changes of a top-level window on a connection of its own, as
// another program or the user through the window manager would: the window
// manager receives each request and carries it out.
class OutsideRequests {
public:
    explicit OutsideRequests(unsigned long window);
    ~OutsideRequests();
    OutsideRequests(const OutsideRequests&) = delete;
    OutsideRequests& operator=(const OutsideRequests&) = delete;

    // A configure request for a new client size.
    void resize(int width, int height);
    // The _NET_WM_STATE message that maximises (or restores) the window.
    void maximise(bool on);
    // The client area as the X server has it now: origin on the screen and size.
    GdkRectangle clientArea();
    bool maximised();

private:
    _XDisplay* display_;
    unsigned long window_;
};

// The program's log while a test runs (any thread may write to it).
class LogCapture {
public:
    LogCapture() { support::setLogSink(keep); }
    ~LogCapture() { support::setLogSink(nullptr); }
    bool has(const std::string& part) {
        std::lock_guard lock(mutex());
        for (const std::string& line : lines())
            if (line.find(part) != std::string::npos) return true;
        return false;
    }
    // Every line so far, for a failure's message.
    std::string all() {
        std::lock_guard lock(mutex());
        std::string text;
        for (const std::string& line : lines()) text += line + "\n";
        return text;
    }

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::vector<std::string>& lines() {
        static std::vector<std::string> l;
        return l;
    }
    static void keep(const support::LogRecord& record) {
        std::lock_guard lock(mutex());
        lines().emplace_back(record.message);
    }
};

// One PNG image of the given colour, for pages that must show pictures.
std::string pngImage(int width, int height, unsigned rgb);

// Real input (XTest, through xdotool) at the centre of an element of a view's
// page: actions such as "click 1", "click 3" or "" (only move there).
void realInput(WebKitWebView* view, const std::string& id, const std::string& actions);

// The colour of a pixel of the window's client area, from the screen.
unsigned windowPixel(GtkWindow* window, int x, int y);

class Harness {
public:
    // appFolder empty: a fresh temporary folder. chatSite: the chat site known
    // from the start, with the site data on disk (in the test's private XDG
    // folders) as in the program; only then does WebKit take the chat site's
    // notification permission given at start. Without it the data is ephemeral.
    // adjust changes the host's options before the host is made.
    explicit Harness(std::string appFolder = {},
                     unsigned pageMemoryLimitMB = gtkui::defaultPageMemoryLimitMB(),
                     std::string chatSite = {},
                     const std::function<void(gtkui::HostOptions&)>& adjust = {});
    ~Harness();

    gtkui::GtkHost& host() { return *host_; }
    Fakes& fakes() { return *fakes_; }
    TempFolder& folder() { return folder_; }
    WebKitWebView* webView(platform::BrowserView& view) {
        host_->view(view).ensureCreated();
        return host_->view(view).webView();
    }
    // Loads address in the view (outside any handler) and waits for its top-level completion.
    bool load(platform::BrowserView& view, const std::string& address);

private:
    TempFolder folder_;
    std::shared_ptr<Fakes> fakes_ = std::make_shared<Fakes>();
    std::unique_ptr<gtkui::GtkHost> host_;
};

}  // namespace guitest
