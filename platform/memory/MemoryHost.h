#pragma once
// The in-memory backend: fake views, window, timer and services that record
// what the client asks of them, let tests raise events and answer for the
// user, and fail on request (World::faults).

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Host.h"
#include "platform/memory/MemoryPage.h"
#include "platform/posix/LocaleCodePage.h"

namespace memory {

class MemoryView : public platform::BrowserView {
public:
    MemoryView(std::shared_ptr<World> world, std::string name, std::uintptr_t identity,
               std::vector<std::string>& stacking);

    void Navigate2(const std::string& address) override;
    platform::DocumentRef Document() override;
    void setSilent(bool silent) override;
    platform::BrowserObject topLevelBrowser() override;
    void Move(int left, int top, int width, int height) override;
    void ZOrder(int position) override;
    // Counted only: the memory page has no process, and the journals stay
    // those of the window's own steps.
    void endPageProcess() override { ++pageProcessesEnded; }
    void setEvents(platform::BrowserEvents events) override;

    // Test side: raise the view's events. frame = 0 is the top-level browser.
    bool raiseBeforeNavigate2(const std::string& url, int frame = 0);
    void raiseDocumentComplete(const std::string& url, int frame = 0);
    bool raiseNavigateError(const std::string& url, int statusCode = 404, int frame = 0);
    bool raiseNavigateError(const std::string& url, platform::NavigationFailure why,
                            int frame = 0) {
        return raiseNavigateError(url, static_cast<int>(why), frame);
    }
    void raiseProcessTerminated();
    // Loads a page from mark-up and raises its top-level completion.
    std::shared_ptr<MemoryDocument> load(const std::string& url, const std::string& html);
    platform::BrowserObject frameBrowser(int frame) const;

    std::string name;
    std::vector<std::string> navigations;
    bool silent = false;
    int pageProcessesEnded = 0;
    std::shared_ptr<MemoryDocument> document;
    struct Rect {
        int left = 0, top = 0, width = 0, height = 0;
    } rect;

private:
    std::shared_ptr<World> world_;
    std::uintptr_t identity_;
    std::vector<std::string>& stacking_;
    platform::BrowserEvents events_;
};

class MemoryForm : public platform::Form {
public:
    explicit MemoryForm(std::shared_ptr<World> world) : world_(std::move(world)) {}
    void setEvents(platform::FormEvents events) override { events_ = std::move(events); }
    platform::WindowGeometry geometry() override;
    void setOuterHeight(int pixels) override;
    platform::WindowHandle hWnd() override;
    void unload() override;

    // Test side. Sizes the client area (pixels) and raises Resize.
    void resizeClient(int width, int height);
    void load() { events_.Load(); }
    // The user closes the window; returns false when the unload was cancelled.
    bool close();

    // Logical pixels, at 96 dots per inch.
    int clientWidth = 698, clientHeight = 558;
    double left = 100, top = 80;
    int frameWidth = 16, frameHeight = 38;  // outer minus client
    int scale = 1;                          // device pixels per logical pixel
    bool unloaded = false;

private:
    std::shared_ptr<World> world_;
    platform::FormEvents events_;
};

class MemoryWindowSystem : public platform::WindowSystem {
public:
    explicit MemoryWindowSystem(std::shared_ptr<World> world);
    void setMinimumOuterSize(platform::WindowHandle window, platform::OuterSize minimum) override;
    platform::WindowHandle ownerOf(platform::WindowHandle window) override;
    void setWindowIcon(platform::WindowHandle window, platform::IconSize size,
                       const std::string& iconName) override;

    platform::OuterSize minimum;  // the window's, once set
    std::map<platform::WindowHandle, platform::WindowHandle> owners;

private:
    std::shared_ptr<World> world_;
};

class MemoryTimer : public platform::Timer {
public:
    MemoryTimer(std::shared_ptr<World> world, std::string name)
        : world_(std::move(world)), name_(std::move(name)) {}
    void setEnabled(bool enabled) override;
    bool enabled() override { return enabled_; }
    void setHandler(std::function<void()> tick) override { tick_ = std::move(tick); }
    // Test side: the interval has passed. Returns whether a tick was raised.
    bool elapse();
    int arms = 0;

private:
    std::shared_ptr<World> world_;
    std::string name_;
    bool enabled_ = false;
    std::function<void()> tick_;
};

class MemoryApp : public platform::App {
public:
    std::string Path() override { return path; }
    std::string Title() override { return "Whirligigcam"; }
    std::string resourcePath(const std::string& relative) override { return path + "/" + relative; }
    std::string resourceUrl(const std::string& relative) override {
        return "file://" + path + "/" + relative;
    }
    std::string path = "/opt/whirligigcam";
};

class MemoryScreen : public platform::Screen {
public:
    double dotsPerInch() override { return dpi; }
    double dpi = 96;
};

// The Flash player of the given version, when one is installed.
class MemoryFlashPlayer : public platform::FlashPlayerService {
public:
    explicit MemoryFlashPlayer(std::shared_ptr<World> world) : world_(std::move(world)) {}
    std::string installedVersion(int minimumMajor) override;
    std::optional<std::string> version;  // none: no player
    int major = 32;                      // of the installed player

private:
    std::shared_ptr<World> world_;
};

class MemoryWebcam : public platform::WebcamService {
public:
    explicit MemoryWebcam(std::shared_ptr<World> world) : world_(std::move(world)) {}
    bool webcamPresent() override;
    bool present = false;

private:
    std::shared_ptr<World> world_;
};

class MemoryAsyncReader : public platform::AsyncReader {
public:
    explicit MemoryAsyncReader(std::shared_ptr<World> world) : world_(std::move(world)) {}
    void readUncached(const std::string& address,
                      std::function<void(const platform::ReadReply&)> complete) override;

    struct Request {
        std::string target;
        std::function<void(const platform::ReadReply&)> complete;
    };
    // Test side: ends the oldest pending read.
    void complete(std::optional<bool> whole, std::optional<std::string> bytes);
    void finish(const std::string& body) { complete(true, body); }
    void fail() { complete(false, std::nullopt); }

    std::vector<Request> requests;  // every read started
    std::deque<Request> pending;

private:
    std::shared_ptr<World> world_;
};

class MemoryTextFiles : public platform::TextFiles {
public:
    MemoryTextFiles(std::shared_ptr<World> world, platform::CodePage& codePage)
        : world_(std::move(world)), codePage_(codePage) {}
    std::unique_ptr<platform::TextStream> OpenTextFile(const std::string& path) override;
    std::map<std::string, std::string> files;  // path -> bytes

private:
    std::shared_ptr<World> world_;
    platform::CodePage& codePage_;
};

class MemorySaveDialog : public platform::SaveDialog {
public:
    explicit MemorySaveDialog(std::shared_ptr<World> world) : world_(std::move(world)) {}
    std::string askSavePath(const std::vector<platform::FileType>& types) override;
    std::vector<platform::FileType> types;  // offered the last time
    std::string answer;  // what the user chooses next; empty cancels
    int shown = 0;

private:
    std::shared_ptr<World> world_;
};

class MemoryMessageBox : public platform::MessageBoxService {
public:
    explicit MemoryMessageBox(std::shared_ptr<World> world) : world_(std::move(world)) {}
    // Journals "MsgBox(text,Yes No,title)", "MsgBox(text,OK!,title)" and the like.
    platform::MessageAnswer ask(const std::string& text, platform::MessageButtons buttons,
                                bool warning, const std::string& title) override;
    platform::MessageAnswer answer = platform::MessageAnswer::No;

private:
    std::shared_ptr<World> world_;
};

class MemoryShell : public platform::Shell {
public:
    explicit MemoryShell(std::shared_ptr<World> world) : world_(std::move(world)) {}
    void openWithDefaultHandler(const std::string& target) override;

private:
    std::shared_ptr<World> world_;
};

class MemoryRecorder : public platform::ScreenRecorder {
public:
    MemoryRecorder(std::shared_ptr<World> world, int serial);
    ~MemoryRecorder() override;
    void start() override { call("start"); }
    void stop() override { call("stop"); }

    // Test side: what the window asked to run when the recording fails by itself.
    std::function<void()> onFailure;

private:
    void call(const std::string& op);
    std::shared_ptr<World> world_;
    int serial_;
};

class MemoryRecorderFactory : public platform::RecorderFactory {
public:
    explicit MemoryRecorderFactory(std::shared_ptr<World> world) : world_(std::move(world)) {}
    std::shared_ptr<platform::ScreenRecorder> create(const platform::RecordingRequest& request,
                                                     std::function<void()> failed) override;
    int created = 0;
    std::weak_ptr<MemoryRecorder> latest;
    platform::RecordingRequest latestRequest;  // of the last recorder made

private:
    std::shared_ptr<World> world_;
};

// The whole in-memory platform. Stacking lists the views front to back.
class MemoryHost : public platform::Host {
public:
    MemoryHost();

    platform::Form& form() override { return formImpl; }
    platform::BrowserView& WB() override { return wb; }
    platform::BrowserView& wbload() override { return load; }
    platform::BrowserView& wbstat() override { return stat; }
    platform::Timer& TimerResize() override { return timer; }
    platform::Timer& ChatPageDeadline() override { return deadline; }
    platform::WindowSystem& windows() override { return windowSystem; }
    platform::App& app() override { return appImpl; }
    platform::Screen& screen() override { return screenImpl; }
    platform::FlashPlayerService& flashPlayer() override { return flashPlayerImpl; }
    platform::WebcamService& webcam() override { return webcamImpl; }
    platform::AsyncReader& reader() override { return asyncReader; }
    platform::CodePage& codePage() override { return utf8; }
    platform::TextFiles& files() override { return textFiles; }
    platform::SaveDialog& CommonDialog1() override { return saveDialog; }
    platform::MessageBoxService& messageBox() override { return messageBoxImpl; }
    platform::Shell& shell() override { return shellImpl; }
    platform::RecorderFactory& recorders() override { return recorderFactory; }

    std::shared_ptr<World> world;
    Journal& journal;
    Faults& faults;
    std::vector<std::string> stacking;  // front first
    MemoryForm formImpl;
    MemoryView wb, load, stat;
    MemoryTimer timer;
    MemoryTimer deadline;
    MemoryWindowSystem windowSystem;
    MemoryApp appImpl;
    MemoryScreen screenImpl;
    MemoryFlashPlayer flashPlayerImpl;
    MemoryWebcam webcamImpl;
    MemoryAsyncReader asyncReader;
    posix::LocaleCodePage utf8{"UTF-8"};
    MemoryTextFiles textFiles;
    MemorySaveDialog saveDialog;
    MemoryMessageBox messageBoxImpl;
    MemoryShell shellImpl;
    MemoryRecorderFactory recorderFactory;
};

}  // namespace memory
