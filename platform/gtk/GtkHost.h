#pragma once
// The GTK desktop host: one window with its three views, the timer and the
// window services, all behind one event queue; the system services come in
// from outside so that the program and the tests can choose them.

#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/Host.h"
#include "platform/gtk/EventQueue.h"
#include "platform/gtk/GtkApp.h"
#include "platform/gtk/GtkBrowserView.h"
#include "platform/gtk/GtkForm.h"
#include "platform/gtk/GtkTimer.h"
#include "platform/gtk/GtkWindowSystem.h"
#include "platform/gtk/PageProcesses.h"
#include "platform/gtk/SiteData.h"

namespace gtkui {

class QueuedRecorders;
class ChatNotifications;
class CallBridge;
class ChatPlayerHold;
class StatusLine;
class DownloadNotices;
class ChatDownloads;
class ChatZoom;

// The services besides the window and its views.
struct HostServices {
    std::unique_ptr<platform::FlashPlayerService> flashPlayer;
    std::unique_ptr<platform::WebcamService> webcam;
    std::unique_ptr<platform::AsyncReader> reader;
    std::unique_ptr<platform::CodePage> codePage;
    std::unique_ptr<platform::TextFiles> files;
    std::unique_ptr<platform::SaveDialog> saveDialog;
    std::unique_ptr<platform::MessageBoxService> messageBox;
    std::unique_ptr<platform::Shell> shell;
    std::unique_ptr<platform::RecorderFactory> recorders;
};

// Makes the services once the window exists (dialogs need it as their parent).
using ServiceFactory = std::function<HostServices(GtkWindow* window)>;

struct HostOptions {
    std::string appFolder = executableFolder();
    // No cookies, cache or storage kept on disk (tests start from a fresh state).
    bool ephemeral = false;
    // Names the XDG folders where the sites' data is kept otherwise.
    std::string program = "whirligigcam";
    // The chat site's start address: pages of its site may use the camera,
    // the microphone and notifications.
    std::string chatSite;
    // WebKit's simulated camera and microphone for the chat view (the demo build).
    bool mockCaptureDevices = false;
    // The call helper, which holds the chat page's peer connections.
    std::string callHelper = executableFolder() + "/whirligigcam-call-helper";
    // The memory, in MiB, at which a page's web process is ended (0: none).
    unsigned pageMemoryLimitMB = defaultPageMemoryLimitMB();
    // Spell checking in the chat's text fields.
    bool spellChecking = true;
    // Where the chat view's zoom is kept ("": in the program's XDG state folder).
    std::string zoomStateFile;
};

class GtkScreen : public platform::Screen {
public:
    explicit GtkScreen(GtkForm& form) : form_(form) {}
    double dotsPerInch() override { return form_.dotsPerInch(); }

private:
    GtkForm& form_;
};

class GtkHost : public platform::Host {
public:
    // GTK must be initialised. Throws std::runtime_error when a service is missing.
    GtkHost(const ServiceFactory& services, HostOptions options = {});
    ~GtkHost() override;
    GtkHost(const GtkHost&) = delete;
    GtkHost& operator=(const GtkHost&) = delete;

    // Raises Load, shows the window and runs until the window has gone.
    void run();
    // Raises Load and shows the window, then returns (tests drive the loop).
    void start();
    bool windowGone() const { return form_->gone(); }
    // Stops every recording still running, so that its file is finished,
    // when the program must end without its window's unload (the display gone).
    void finishRecordings();

    EventQueue& queue() { return *queue_; }
    GtkForm& gtkForm() { return *form_; }
    GtkBrowserView& view(platform::BrowserView& which) {
        for (GtkBrowserView* view : {WB_.get(), wbload_.get(), wbstat_.get()})
            if (view == &which) return *view;
        throw std::invalid_argument("not a view of this window");
    }
    WebKitWebContext* webContext() const { return context_; }
    // The chat site's start address, when it was not known at construction.
    void setChatSite(std::string address) { options_.chatSite = std::move(address); }
    // WebKit's simulated camera and microphone for the chat view, before it is made.
    void useMockCaptureDevices() { options_.mockCaptureDevices = true; }
    // The call helper program, before the chat view is made.
    void setCallHelper(std::string path) { options_.callHelper = std::move(path); }
    // The chat view's calls (nullptr before the chat view is made).
    CallBridge* calls() const { return calls_.get(); }
    // The line over the views that tells of downloads.
    StatusLine& statusLine() { return *status_; }
    // The chat view's zoom (nullptr before the chat view is made).
    ChatZoom* chatZoom() const { return zoom_.get(); }

    platform::Form& form() override { return *form_; }
    platform::BrowserView& WB() override { return *WB_; }
    platform::BrowserView& wbload() override { return *wbload_; }
    platform::BrowserView& wbstat() override { return *wbstat_; }
    platform::Timer& TimerResize() override { return *timer_; }
    platform::Timer& ChatPageDeadline() override { return *deadline_; }
    platform::WindowSystem& windows() override { return *windows_; }
    platform::App& app() override { return *app_; }
    platform::Screen& screen() override { return *screen_; }
    platform::FlashPlayerService& flashPlayer() override { return *services_.flashPlayer; }
    platform::WebcamService& webcam() override { return *services_.webcam; }
    platform::AsyncReader& reader() override { return *reader_; }
    platform::CodePage& codePage() override { return *services_.codePage; }
    platform::TextFiles& files() override { return *services_.files; }
    platform::SaveDialog& CommonDialog1() override { return *services_.saveDialog; }
    platform::MessageBoxService& messageBox() override { return *services_.messageBox; }
    platform::Shell& shell() override { return *services_.shell; }
    platform::RecorderFactory& recorders() override;

private:
    void onWindowGone();
    void openElsewhere(const std::string& address);
    void createRelatedView(GtkBrowserView& view);
    void makeChatView();
    void endPageProcesses();

    std::shared_ptr<EventQueue> queue_ = std::make_shared<EventQueue>();
    // One for each web process: the start view's, and the chat and statistics views'.
    std::shared_ptr<PageHealth> startHealth_ = std::make_shared<PageHealth>();
    std::shared_ptr<PageHealth> chatHealth_ = std::make_shared<PageHealth>();
    std::unique_ptr<PageProcessWatch> chatWatch_;
    bool pageProcessesEnded_ = false;
    HostOptions options_;
    std::unique_ptr<SiteDataHold> siteData_;
    WebKitWebContext* context_ = nullptr;
    std::unique_ptr<GtkApp> app_;
    std::unique_ptr<GtkForm> form_;
    std::unique_ptr<GtkScreen> screen_;
    std::unique_ptr<GtkWindowSystem> windows_;
    std::unique_ptr<GtkTimer> timer_, deadline_;
    std::unique_ptr<GtkBrowserView> wbstat_, WB_, wbload_;
    bool chatViewPlayer_ = false;  // the bundled Flash player is there for the chat view
    std::unique_ptr<ChatPlayerHold> playerHold_;
    std::unique_ptr<ChatNotifications> notifications_;
    std::unique_ptr<CallBridge> calls_;
    std::unique_ptr<StatusLine> status_;
    std::unique_ptr<DownloadNotices> downloadNotices_;
    std::unique_ptr<ChatDownloads> downloads_;
    std::unique_ptr<ChatZoom> zoom_;
    HostServices services_;
    std::unique_ptr<platform::AsyncReader> reader_;
    std::unique_ptr<QueuedRecorders> recorders_;
    GMainLoop* loop_ = nullptr;
};

}  // namespace gtkui
