#pragma once
// Files from the chat: a download happens only when the person asked for it,
// by a real click (or Enter) in the chat view on a link of the chat site,
// within a few seconds. Every other download (one a page starts by itself, a
// frame's, another site's, another view's) is cancelled and logged with its
// origin and file name.
//
// An accepted file goes to the desktop's download folder under a clean name
// (DownloadNames.h) that never replaces a file. It is written under a name of
// its own and renamed when complete; a file larger than the free space is
// refused before it starts, and a failed one is removed. The status line shows
// it while it runs, with its progress when it is large, and a desktop notice
// says what became of it.

#include <webkit2/webkit2.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace gtkui {

class StatusLine;
class DownloadNotices;

inline constexpr gint64 DownloadGestureMicroseconds = 5 * G_USEC_PER_SEC;
inline constexpr std::uint64_t DownloadProgressFrom = 4u << 20;  // bytes

// The text that shows a download's progress: "Downloading notes.txt",
// "Downloading film.webm: 45% of 12.0 MB" (expected 0: the length is unknown).
std::string downloadProgressText(const std::string& name, std::uint64_t received,
                                 std::uint64_t expected);

class ChatDownloads {
public:
    ChatDownloads(WebKitWebContext* context, StatusLine& status, DownloadNotices& notices);
    ~ChatDownloads();
    ChatDownloads(const ChatDownloads&) = delete;
    ChatDownloads& operator=(const ChatDownloads&) = delete;

    // The chat view, whose clicks on its chat site's links download.
    void watchChatView(WebKitWebView* view, std::string chatSite);
    // How the log names another view whose downloads are refused.
    void nameView(WebKitWebView* view, std::string name) { names_[view] = std::move(name); }

private:
    struct Transfer;

    static void onStarted(WebKitWebContext*, WebKitDownload*, gpointer self);
    static gboolean onDecideDestination(WebKitDownload*, gchar* suggested, gpointer transfer);
    static void onReceived(WebKitDownload*, guint64 length, gpointer transfer);
    static void onFailed(WebKitDownload*, GError* error, gpointer transfer);
    static void onFinished(WebKitDownload*, gpointer transfer);
    static gboolean onInput(GtkWidget*, GdkEvent* event, gpointer self);
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType,
                                   gpointer self);

    std::string refusal(WebKitDownload* download) const;
    bool accept(Transfer& transfer, const std::string& suggested);
    void fail(Transfer& transfer, const std::string& why);
    void finish(Transfer& transfer);
    void forget(Transfer& transfer);

    WebKitWebContext* context_;
    StatusLine& status_;
    DownloadNotices& notices_;
    WebKitWebView* chatView_ = nullptr;
    std::string chatSite_;
    gint64 lastGesture_ = 0;  // monotonic microseconds of the last real click in the chat view
    std::map<WebKitWebView*, std::string> names_;
    std::map<WebKitDownload*, std::unique_ptr<Transfer>> transfers_;
};

}  // namespace gtkui
