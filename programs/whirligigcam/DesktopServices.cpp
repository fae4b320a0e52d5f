#include "programs/whirligigcam/DesktopServices.h"

#include <functional>
#include <memory>
#include <string>

#include "platform/desktop/DesktopShell.h"
#include "platform/desktop/FlashPlayers.h"
#include "platform/desktop/GtkMessageBox.h"
#include "platform/desktop/GtkSaveDialog.h"
#include "platform/desktop/SoupAsyncReader.h"
#include "platform/desktop/V4l2Webcams.h"
#include "platform/gtk/ChatViewPlayer.h"
#include "platform/gtk/GtkApp.h"
#include "platform/posix/LocaleCodePage.h"
#include "platform/posix/PosixTextFiles.h"
#include "platform/recorder/X11RecorderFactory.h"

// Last: Xlib's macros (None, Bool, Status) clash with names in the headers above.
#include <gdk/gdkx.h>

namespace gtkui {

namespace {

// The X window of a realized top-level window; 0 when it has none (not X11).
unsigned long x11WindowOf(GtkWindow* window) {
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window));
    return gdkWindow && GDK_IS_X11_WINDOW(gdkWindow) ? GDK_WINDOW_XID(gdkWindow) : 0;
}

// A service made at its first use, as the chat and statistics views are: the
// start screen needs none of these before it shows, and the update check's
// network session, the dialogs and the recorders then cost the start nothing.
template <typename Service>
class OnFirstUse {
public:
    explicit OnFirstUse(std::function<std::unique_ptr<Service>()> make) : make_(std::move(make)) {}
    Service& get() {
        if (!made_) made_ = make_();
        return *made_;
    }

private:
    std::function<std::unique_ptr<Service>()> make_;
    std::unique_ptr<Service> made_;
};

class ReaderOnFirstUse : public platform::AsyncReader {
public:
    void readUncached(const std::string& address,
                      std::function<void(const platform::ReadReply&)> complete) override {
        reader_.get().readUncached(address, std::move(complete));
    }

private:
    OnFirstUse<platform::AsyncReader> reader_{[] { return std::make_unique<desktop::SoupAsyncReader>(); }};
};

class SaveDialogOnFirstUse : public platform::SaveDialog {
public:
    explicit SaveDialogOnFirstUse(GtkWindow* window)
        : dialog_([window] { return std::make_unique<desktop::GtkSaveDialog>(window); }) {}
    std::string askSavePath(const std::vector<platform::FileType>& types) override {
        return dialog_.get().askSavePath(types);
    }

private:
    OnFirstUse<platform::SaveDialog> dialog_;
};

class MessageBoxOnFirstUse : public platform::MessageBoxService {
public:
    explicit MessageBoxOnFirstUse(GtkWindow* window)
        : box_([window] { return std::make_unique<desktop::GtkMessageBox>(window); }) {}
    platform::MessageAnswer ask(const std::string& text, platform::MessageButtons buttons,
                                bool warning, const std::string& title) override {
        return box_.get().ask(text, buttons, warning, title);
    }

private:
    OnFirstUse<platform::MessageBoxService> box_;
};

class RecordersOnFirstUse : public platform::RecorderFactory {
public:
    explicit RecordersOnFirstUse(std::function<std::unique_ptr<platform::RecorderFactory>()> make)
        : recorders_(std::move(make)) {}
    std::shared_ptr<platform::ScreenRecorder> create(const platform::RecordingRequest& request,
                                                     std::function<void()> failed) override {
        return recorders_.get().create(request, std::move(failed));
    }

private:
    OnFirstUse<platform::RecorderFactory> recorders_;
};

}  // namespace

HostServices makeDesktopServices(GtkWindow* window, bool simulateDevices,
                                 desktop::RecordingSettings recording, std::string chatSink) {
    HostServices s;
    // The Flash player is never simulated: the bundled one stands in for a plugin.
    s.flashPlayer =
        std::make_unique<desktop::FlashPlayers>(false, desktop::FlashPlayers::defaultSearchRoots(),
                                                executableFolder() + "/" + PlayerFolder);
    s.webcam = std::make_unique<desktop::V4l2Webcams>(simulateDevices);
    s.reader = std::make_unique<ReaderOnFirstUse>();
    s.codePage = std::make_unique<posix::LocaleCodePage>();
    s.files = std::make_unique<posix::PosixTextFiles>(*s.codePage);
    s.saveDialog = std::make_unique<SaveDialogOnFirstUse>(window);
    s.messageBox = std::make_unique<MessageBoxOnFirstUse>(window);
    s.shell = std::make_unique<desktop::DesktopShell>();
    // The window's own pixels: they can be read also where the screen's cannot
    // (XWayland). The sound: the chat's own sink, the microphone.
    s.recorders = std::make_unique<RecordersOnFirstUse>([window, recording, chatSink] {
        return std::make_unique<recorder::X11RecorderFactory>(
            std::string{}, [window] { return x11WindowOf(window); },
            recorder::SoundSources{recording.chatSound && !chatSink.empty(), recording.microphone},
            chatSink);
    });
    return s;
}

}  // namespace gtkui
