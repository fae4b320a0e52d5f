#pragma once
// What became of a download, as a desktop notification sent through the
// running GApplication ("Saved notes.txt"). Clicking a notice of a saved file
// opens its folder with the desktop's default handler. Every notice is also
// logged, so that it is never lost where the desktop shows none.

#include <gio/gio.h>

#include <functional>
#include <string>

namespace gtkui {

class DownloadNotices {
public:
    // openFolder opens a folder with the desktop's default handler.
    explicit DownloadNotices(std::function<void(const std::string& folder)> openFolder);
    ~DownloadNotices();
    DownloadNotices(const DownloadNotices&) = delete;
    DownloadNotices& operator=(const DownloadNotices&) = delete;

    // A file was saved in folder; title says so ("Saved notes.txt").
    void saved(const std::string& title, const std::string& folder);
    // A download failed or was refused; title and why say what happened.
    void failed(const std::string& title, const std::string& why);

private:
    static void onActivate(GSimpleAction*, GVariant* parameter, gpointer self);
    void send(const std::string& title, const std::string& body, const std::string& folder);
    GApplication* application();

    std::function<void(const std::string&)> openFolder_;
    GApplication* application_ = nullptr;  // where the action was added
    GSimpleAction* action_ = nullptr;
    unsigned sent_ = 0;
    bool toldNoApplication_ = false;
};

}  // namespace gtkui
