#pragma once
// A fresh program for the record button's GUI tests: its own local site, its
// own application folder, a host with the real save dialog, message box and
// X11 recorder (the shell stays a stand-in that notes what it would open),
// and the window's core. Also: answering the modal dialogs from inside the
// test while they run, real pointer clicks and the window manager's close.

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "app/Main.h"
#include "demo/SiteServer.h"
#include "platform/gtk/OrderlyEnd.h"

namespace rectest {

// What the services saw, counted around the real ones.
struct Seen {
    int recordersCreated = 0;
    int recordersAlive = 0;
    int messageBoxes = 0;
};

// g_get_monotonic_time() in seconds.
double now();

// How a dialog was answered, filled in as it happens.
struct DialogAnswer {
    int shown = 0;                 // dialogs of the type seen
    double at = 0;                 // when the dialog responded as asked (seconds)
    bool handlerReturned = false;  // then, the handler that ran the dialog has returned
    std::string title, text;       // the last message box's caption and message
};

class Program {
public:
    // withPlayer: the application folder has the bundled Flash player (when
    // the build has one; hasPlayer says).
    explicit Program(bool withPlayer = false);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Raises Load and shows the window; then waits for the prepared chat page in front.
    bool startAndPrepare();
    // Runs script in the chat page's own world and returns its value as text.
    std::string chat(const std::string& script);
    // The record button's caption.
    std::string caption();
    // A real left click of the pointer at the centre of an element of the chat page.
    void click(const std::string& id) { pointAt(id, true); }
    // Moves the real pointer to the centre of an element of the chat page.
    void pointAt(const std::string& id, bool click = false);
    // Asks the window manager to close the window, as its close button does.
    void closeByWindowManager();
    // Answers the save dialog: goes to folder, types name, and once the
    // chooser has taken both, responds; before (if any) runs when the chooser
    // has accepted the response, just before the program sees it.
    std::shared_ptr<DialogAnswer> answerSaveDialog(const std::string& folder,
                                                   const std::string& name,
                                                   GtkResponseType response,
                                                   std::function<void()> before = {});
    // Answers every message box with response at once.
    std::shared_ptr<DialogAnswer> answerMessageBox(GtkResponseType response);

    // The window's client area in device pixels.
    std::pair<int, int> clientSize();
    // What the screen shows of the client area now (the caller unrefs it).
    GdkPixbuf* clientPixels();
    // Where an element of the chat page lies in the client area, in device pixels.
    GdkRectangle inClientArea(const std::string& selector);

    bool hasPlayer = false;
    site::SiteServer site;
    guitest::TempFolder folder;  // application folder; videos go to folder/videos
    std::shared_ptr<guitest::Fakes> fakes = std::make_shared<guitest::Fakes>();
    std::shared_ptr<Seen> seen = std::make_shared<Seen>();
    std::unique_ptr<gtkui::GtkHost> host;
    std::unique_ptr<app::Main> main;
    // Signals and a lost display end the program in order, as in the program.
    std::unique_ptr<gtkui::OrderlyEnd> orderlyEnd;

    std::string videos() const { return folder.path() + "/videos"; }
    std::string uploadPage() const { return site.address("/my_videos_upload"); }
    WebKitWebView* chatView() {
        host->view(host->WB()).ensureCreated();
        return host->view(host->WB()).webView();
    }

private:
    class Watch;
    // Every 50 ms hands a shown toplevel of type to step until it returns
    // true. A dialog still unanswered after a minute is closed (a failure),
    // so that a stuck modal run cannot hang the test.
    void watch(GType type, std::shared_ptr<DialogAnswer> answer,
               std::function<bool(GtkDialog*)> step);
    bool chatInFront();

    std::vector<std::unique_ptr<Watch>> watches_;
};

}  // namespace rectest
