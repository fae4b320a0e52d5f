#pragma once
// Calls for the chat view's page on an engine without WebRTC: the page gets
// RTCPeerConnection and RTCDataChannel from a user script (CallScripts), and
// the connections themselves live in a call helper process (webrtcbin).
//
// The page's script speaks only to the client's script of the same frame,
// in the client's isolated world; that script, in chat-site frames only,
// forwards commands here through a message handler with replies, and long-
// polls for the helper's events. Here every message is checked again: the
// frame's origin against the chat site, the sizes (an SDP or a data-channel
// message over 256 kB is refused), and the connection ids against what the
// frame made. What the helper sends back is checked as well before a page
// sees it.

#include <webkit2/webkit2.h>

#include <map>
#include <memory>
#include <string>

#include "platform/gtk/CallHelperProcess.h"

namespace gtkui {

// What the bridge refuses, as a browser would: the limits are the page's too.
inline constexpr size_t MaxCallMessageBytes = 256 * 1024;
inline constexpr int MaxConnectionsPerPage = 32;

// A reply that a page's message waits for, with the script context its
// value is made in. Answered once; one dropped unanswered answers "".
class PageReply {
public:
    PageReply() = default;
    PageReply(WebKitScriptMessageReply* reply, JSCContext* context);
    PageReply(PageReply&& other) noexcept { *this = std::move(other); }
    PageReply& operator=(PageReply&& other) noexcept;
    ~PageReply() { answer(""); }
    explicit operator bool() const { return reply_ != nullptr; }
    void answer(const std::string& text);
    void refuse();

private:
    WebKitScriptMessageReply* reply_ = nullptr;
    JSCContext* context_ = nullptr;
};

class CallBridge {
public:
    // Adds the scripts and the message handler to the view's content manager;
    // chatSite: the chat site's start address; helperProgram: the helper's path.
    CallBridge(WebKitWebView* view, WebKitUserContentManager* content, std::string chatSite,
               std::string helperProgram);
    ~CallBridge();
    CallBridge(const CallBridge&) = delete;
    CallBridge& operator=(const CallBridge&) = delete;

    // The chat-site page opened the camera or the microphone, as it does
    // before a call: where its documents may call through the helper, the
    // helper starts now. It ends as before, when the page leaves or its last
    // connection ends.
    void prepare();

    // The helper's process id, 0 when none runs (for tests).
    GPid helperProcess() const { return helper_.pid(); }

private:
    struct Frame;  // one document of a chat-site frame, by the token its script chose
    struct Connection {
        std::string token;
        int pageId = 0;
        std::string origin;
    };
    struct Pending {
        std::string token;
        std::shared_ptr<PageReply> reply;
        gint64 request = 0;  // the page's number for it
        int helperId = 0;
    };

    static gboolean onMessage(WebKitUserContentManager*, JSCValue* value,
                              WebKitScriptMessageReply* reply, gpointer self);
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
    static void onProcessGone(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self);

    void pageMessage(const std::string& text, PageReply reply);
    void command(const std::string& token, const std::string& origin, JsonObject* body,
                 PageReply reply);
    void helperMessage(JsonObject* message);
    void helperGone(const std::string& why);
    void deliver(const std::string& token, const std::string& event);
    void endFrame(const std::string& token, const std::string& why);
    void endAll(const std::string& why);
    void endConnection(int helperId, const std::string& why);
    void stopHelperIfIdle();
    bool allowedOrigin(const std::string& origin) const;

    // Held, so that the bridge may outlive the view's own owner.
    WebKitWebView* view_;
    WebKitUserContentManager* content_;
    std::string chatSite_;
    CallHelperProcess helper_;
    std::map<std::string, std::unique_ptr<Frame>> frames_;
    std::map<int, Connection> connections_;  // by the helper's id
    std::map<gint64, Pending> pending_;      // requests waiting for the helper
    int nextHelperId_ = 1;
    bool mayCall_ = false;  // a document of the chat site here said hello (see prepare)
    gint64 nextRequest_ = 1;
};

}  // namespace gtkui
