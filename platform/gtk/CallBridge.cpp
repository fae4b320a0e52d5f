#include "platform/gtk/CallBridge.h"

#include <libsoup/soup.h>

#include <utility>
#include <vector>

#include "platform/gtk/BridgeChannels.h"
#include "platform/gtk/CallMessages.h"
#include "platform/gtk/CallScripts.h"
#include "platform/gtk/ChatSitePermissions.h"
#include "support/Log.h"

namespace gtkui {
namespace {

constexpr size_t MaxPageMessageBytes = 2 * MaxCallMessageBytes;
constexpr size_t MaxFrames = 64;
constexpr size_t MaxQueuedEvents = 4096;
// The page's media failures told in the log, per document: the page's script
// sends no more, and a page that sends its own past them is not believed.
constexpr int MaxPageWarnings = 20;
// Media frames wait for a page that is busy up to this many; later ones are
// dropped (the far end's next keyframe mends the picture).
constexpr size_t MaxQueuedFrames = 512;

bool needsHelperReply(const std::string& op) {
    for (const char* each : {"offer", "answer", "local", "remote", "candidate", "stats", "channel",
                             "send", "transceiver", "transceivers"})
        if (op == each) return true;
    return false;
}

}  // namespace

PageReply::PageReply(WebKitScriptMessageReply* reply, JSCContext* context)
    : reply_(webkit_script_message_reply_ref(reply)),
      context_(JSC_CONTEXT(g_object_ref(context))) {}

PageReply& PageReply::operator=(PageReply&& other) noexcept {
    if (this == &other) return *this;
    answer("");
    reply_ = std::exchange(other.reply_, nullptr);
    context_ = std::exchange(other.context_, nullptr);
    return *this;
}

void PageReply::answer(const std::string& text) {
    if (!reply_) return;
    g_autoptr(JSCValue) value = jsc_value_new_string(context_, text.c_str());
    webkit_script_message_reply_return_value(reply_, value);
    webkit_script_message_reply_unref(std::exchange(reply_, nullptr));
    g_object_unref(std::exchange(context_, nullptr));
}

void PageReply::refuse() {
    if (!reply_) return;
    webkit_script_message_reply_return_error_message(reply_, "refused");
    webkit_script_message_reply_unref(std::exchange(reply_, nullptr));
    g_object_unref(std::exchange(context_, nullptr));
}

struct CallBridge::Frame {
    std::string origin;
    PageReply poll;
    std::vector<std::string> events;
    bool droppingMedia = false;
    int warnings = 0;  // the page's media failures told in the log
};

CallBridge::CallBridge(WebKitWebView* view, WebKitUserContentManager* content, std::string chatSite,
                       std::string helperProgram)
    : view_(WEBKIT_WEB_VIEW(g_object_ref(view))),
      content_(WEBKIT_USER_CONTENT_MANAGER(g_object_ref(content))),
      chatSite_(std::move(chatSite)),
      helper_(
          std::move(helperProgram), [this](JsonObject* message) { helperMessage(message); },
          [this](const std::string& why) { helperGone(why); }) {
    // The client's script first: the page's script asks it whether calls are offered.
    const std::string frameScript = callFrameScript(chatSite_);
    g_autoptr(WebKitUserScript) frames = webkit_user_script_new_for_world(
        frameScript.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, ScriptWorld, nullptr, nullptr);
    webkit_user_content_manager_add_script(content_, frames);
    const std::string pageScript = callPageScript();
    g_autoptr(WebKitUserScript) page =
        webkit_user_script_new(pageScript.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content_, page);
    webkit_user_content_manager_register_script_message_handler_with_reply(content_, CallChannel,
                                                                           ScriptWorld);
    const std::string signal = std::string("script-message-with-reply-received::") + CallChannel;
    g_signal_connect(content_, signal.c_str(), G_CALLBACK(onMessage), this);
    g_signal_connect(view_, "web-process-terminated", G_CALLBACK(onProcessGone), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
}

// A new document in the view: the old one's calls end at once, without
// waiting for its farewell, which queues behind the media it was sending.
void CallBridge::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
    if (event != WEBKIT_LOAD_COMMITTED) return;
    auto* bridge = static_cast<CallBridge*>(self);
    bridge->mayCall_ = false;
    bridge->endAll("the page left");
}

CallBridge::~CallBridge() {
    g_signal_handlers_disconnect_by_data(content_, this);
    g_signal_handlers_disconnect_by_data(view_, this);
    endAll("the window closed");
    helper_.stop();
    g_object_unref(content_);
    g_object_unref(view_);
}

gboolean CallBridge::onMessage(WebKitUserContentManager*, JSCValue* value,
                               WebKitScriptMessageReply* reply, gpointer self) {
    auto* bridge = static_cast<CallBridge*>(self);
    PageReply answer(reply, jsc_value_get_context(value));
    std::string text;
    if (jsc_value_is_string(value)) {
        g_autofree gchar* s = jsc_value_to_string(value);
        text = s ? s : "";
    }
    if (text.empty() || text.size() > MaxPageMessageBytes) {
        answer.refuse();
        return TRUE;
    }
    bridge->pageMessage(text, std::move(answer));
    return TRUE;
}

void CallBridge::onProcessGone(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self) {
    static_cast<CallBridge*>(self)->endAll("the page's process ended");
}

bool CallBridge::allowedOrigin(const std::string& origin) const {
    return sameSite(origin, chatSite_) && portOfAddress(origin) == portOfAddress(chatSite_);
}

void CallBridge::pageMessage(const std::string& text, PageReply reply) {
    auto answer = [&](const std::string& value) { reply.answer(value); };
    g_autoptr(JsonParser) parser = json_parser_new();
    JsonNode* root = json_parser_load_from_data(parser, text.c_str(), -1, nullptr)
                         ? json_parser_get_root(parser)
                         : nullptr;
    JsonObject* message =
        root && JSON_NODE_HOLDS_OBJECT(root) ? json_node_get_object(root) : nullptr;
    const std::string token = jsonString(message, "token");
    const std::string origin = jsonString(message, "origin");
    if (token.size() < 16 || token.size() > 64 || !allowedOrigin(origin)) {
        support::logInfo("calls: refused a message from " + origin + " (not the chat site)");
        return reply.refuse();
    }
    const std::string op = jsonString(message, "op");
    if (op == "bye") {
        endFrame(token, "the page left");
        return answer("");
    }
    // A document of the chat site that may call: noted for prepare(), not
    // kept as a frame (a frame counts once it uses calls).
    if (op == "hello") {
        mayCall_ = true;
        return answer("");
    }
    auto found = frames_.find(token);
    if (found == frames_.end()) {
        if (frames_.size() >= MaxFrames) {
            return reply.refuse();
        }
        found = frames_.emplace(token, std::make_unique<Frame>()).first;
        found->second->origin = origin;
    }
    Frame& frame = *found->second;
    if (op == "poll") {
        frame.poll.answer("[]");
        frame.poll = std::move(reply);
        return deliver(token, {});
    }
    g_autoptr(JsonParser) bodyParser = json_parser_new();
    const std::string body = jsonString(message, "body");
    JsonNode* bodyRoot = json_parser_load_from_data(bodyParser, body.c_str(), -1, nullptr)
                             ? json_parser_get_root(bodyParser)
                             : nullptr;
    if (!bodyRoot || !JSON_NODE_HOLDS_OBJECT(bodyRoot)) return answer("");
    command(token, origin, json_node_get_object(bodyRoot), std::move(reply));
}

void CallBridge::command(const std::string& token, const std::string& origin, JsonObject* body,
                         PageReply reply) {
    auto answer = [&](const std::string& value) { reply.answer(value); };
    const std::string op = jsonString(body, "op");
    const gint64 pageId = jsonInt(body, "pc", 0);
    const gint64 request = jsonInt(body, "request", 0);
    int helperId = 0;
    for (const auto& [id, connection] : connections_)
        if (connection.token == token && connection.pageId == pageId) helperId = id;
    if (op == "warn") {
        auto frame = frames_.find(token);
        if (frame == frames_.end() || frame->second->warnings++ >= MaxPageWarnings)
            return answer("");
        g_autofree gchar* text =
            g_utf8_make_valid(jsonString(body, "text").substr(0, 300).c_str(), -1);
        support::logInfo(std::string("calls: in the page: ") + text);
        return answer("");
    }
    if (op == "create") {
        if (helperId || pageId <= 0 || pageId > 1000000) return answer("");
        const bool full = connections_.size() >= static_cast<size_t>(MaxConnectionsPerPage);
        if (full || !helper_.ensureRunning()) {
            support::logInfo(full ? "calls: refused a connection: the page has 32"
                                  : "calls: refused a connection: no call helper");
            deliver(token, "{\"event\":\"gone\",\"pc\":" + std::to_string(pageId) + "}");
            return answer("");
        }
        helperId = nextHelperId_++;
        connections_[helperId] = Connection{token, static_cast<int>(pageId), origin};
        support::logInfo("calls: connection " + std::to_string(helperId) + " started for " +
                         origin);
    } else if (!helperId) {
        return answer(needsHelperReply(op)
                          ? errorReply(request, "InvalidStateError", "The connection is closed.")
                          : "");
    } else if (op == "close") {
        endConnection(helperId, "closed by the page");
        stopHelperIfIdle();
        return answer("");
    }
    std::string errorName, errorMessage;
    if (!withinLimits(body, errorName, errorMessage)) {
        support::logInfo("calls: connection " + std::to_string(helperId) + ": " + errorMessage);
        return answer(errorReply(request, errorName.c_str(), errorMessage));
    }
    if (op == "local" || op == "remote")
        support::logDebug("calls: connection " + std::to_string(helperId) + " " + op + " " +
                          jsonString(body, "type") + ":\n" + jsonString(body, "sdp"));
    if (op == "candidate")
        support::logDebug("calls: connection " + std::to_string(helperId) +
                          " remote candidate: " + jsonString(body, "candidate"));
    g_autoptr(JsonBuilder) b = json_builder_new();
    json_builder_begin_object(b);
    json_builder_set_member_name(b, "op");
    json_builder_add_string_value(b, op.c_str());
    json_builder_set_member_name(b, "pc");
    json_builder_add_int_value(b, helperId);
    if (needsHelperReply(op)) {
        const gint64 id = nextRequest_++;
        pending_[id] =
            Pending{token, std::make_shared<PageReply>(std::move(reply)), request, helperId};
        json_builder_set_member_name(b, "request");
        json_builder_add_int_value(b, id);
    }
    copyKnownMembers(body, b);
    json_builder_end_object(b);
    g_autoptr(JsonNode) forward = json_builder_get_root(b);
    helper_.send(forward);
    if (!needsHelperReply(op)) answer("");
}

void CallBridge::helperMessage(JsonObject* message) {
    const int helperId = static_cast<int>(jsonInt(message, "pc", 0));
    if (json_object_has_member(message, "reply")) {
        auto found = pending_.find(jsonInt(message, "reply", 0));
        if (found == pending_.end() || found->second.helperId != helperId) return;
        Pending pending = found->second;
        pending_.erase(found);
        std::string text;
        const std::string error = jsonString(message, "error");
        if (json_object_has_member(message, "error")) {
            text = errorReply(pending.request, "OperationError", error.substr(0, 1024));
        } else {
            g_autoptr(JsonBuilder) b = json_builder_new();
            json_builder_begin_object(b);
            json_builder_set_member_name(b, "reply");
            json_builder_add_int_value(b, pending.request);
            copyKnownMembers(message, b);
            json_builder_end_object(b);
            g_autoptr(JsonNode) root = json_builder_get_root(b);
            text = jsonText(root);
        }
        pending.reply->answer(text);
        return;
    }
    auto found = connections_.find(helperId);
    const std::string event = jsonString(message, "event");
    static const char* const known[] = {
        "negotiationneeded", "candidate", "state",   "datachannel", "open",     "close",
        "channelerror",      "low",       "message", "frame",       "keyframe", "loss"};
    const std::string id = std::to_string(helperId);
    if (found == connections_.end()) return;
    if (event == "remote") {
        const std::string kind = jsonString(message, "kind");
        const std::string kinds = kind.substr(0, 40);
        support::logInfo("calls: connection " + id + " connected; far end: " +
                         (kinds.empty()                          ? "unknown kind"
                          : kinds.find(',') == std::string::npos ? kinds
                                                                 : "one of " + kinds));
        return;
    }
    bool isKnown = false;
    for (const char* k : known) isKnown = isKnown || event == k;
    if (!isKnown) return;
    if (event == "candidate")
        support::logDebug("calls: connection " + id +
                          " local candidate: " + jsonString(message, "candidate"));
    if (event == "state" && jsonString(message, "which") == "connection-state" &&
        jsonString(message, "value") == "failed")
        support::logInfo("calls: connection " + id + " failed (the far end is not reached)");
    g_autoptr(JsonBuilder) b = json_builder_new();
    json_builder_begin_object(b);
    json_builder_set_member_name(b, "event");
    json_builder_add_string_value(b, event.c_str());
    json_builder_set_member_name(b, "pc");
    json_builder_add_int_value(b, found->second.pageId);
    copyKnownMembers(message, b);
    json_builder_end_object(b);
    g_autoptr(JsonNode) root = json_builder_get_root(b);
    deliver(found->second.token, jsonText(root));
}

void CallBridge::deliver(const std::string& token, const std::string& event) {
    auto found = frames_.find(token);
    if (found == frames_.end()) return;
    Frame& frame = *found->second;
    if (event.starts_with("{\"event\":\"frame\"") && frame.events.size() >= MaxQueuedFrames) {
        if (!frame.droppingMedia)
            support::logWarning("calls: a page is behind with its media; frames are dropped");
        frame.droppingMedia = true;
        return;
    }
    if (!event.empty()) {
        if (frame.events.size() >= MaxQueuedEvents) {
            support::logWarning("calls: a page does not take its events; its calls end");
            return endFrame(token, "the page stopped taking events");
        }
        frame.events.push_back(event);
    }
    if (!frame.poll || frame.events.empty()) return;
    std::string list = "[";
    for (size_t i = 0; i < frame.events.size(); ++i) list += (i ? "," : "") + frame.events[i];
    list += "]";
    frame.events.clear();
    frame.poll.answer(list);
}

void CallBridge::endConnection(int helperId, const std::string& why) {
    auto found = connections_.find(helperId);
    if (found == connections_.end()) return;
    support::logInfo("calls: connection " + std::to_string(helperId) + " ended (" + why + ")");
    connections_.erase(found);
    g_autoptr(JsonBuilder) b = json_builder_new();
    json_builder_begin_object(b);
    json_builder_set_member_name(b, "op");
    json_builder_add_string_value(b, "close");
    json_builder_set_member_name(b, "pc");
    json_builder_add_int_value(b, helperId);
    json_builder_end_object(b);
    g_autoptr(JsonNode) root = json_builder_get_root(b);
    helper_.send(root);
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->second.helperId != helperId) {
            ++it;
            continue;
        }
        const std::string text =
            errorReply(it->second.request, "InvalidStateError", "The connection is closed.");
        it->second.reply->answer(text);
        it = pending_.erase(it);
    }
}

void CallBridge::prepare() {
    if (!mayCall_ || helper_.running()) return;
    // The helper's start and its DTLS certificate take from 0.1 to 0.7 s,
    // which would otherwise delay the first call's offer or answer.
    if (helper_.ensureRunning())
        support::logInfo(
            "calls: the call helper started ahead of a call (the chat site opened "
            "the camera or the microphone)");
}

void CallBridge::stopHelperIfIdle() {
    if (!connections_.empty() || !helper_.running()) return;
    helper_.stop();
    support::logInfo("calls: the call helper ended (no connection is left)");
}

void CallBridge::endFrame(const std::string& token, const std::string& why) {
    std::vector<int> ending;
    for (const auto& [id, connection] : connections_)
        if (connection.token == token) ending.push_back(id);
    for (int id : ending) endConnection(id, why);
    auto found = frames_.find(token);
    if (found != frames_.end()) {
        found->second->poll.answer("[]");
        frames_.erase(found);
    }
    stopHelperIfIdle();
}

void CallBridge::endAll(const std::string& why) {
    while (!frames_.empty()) endFrame(frames_.begin()->first, why);
    std::vector<int> ending;
    for (const auto& [id, connection] : connections_) ending.push_back(id);
    for (int id : ending) endConnection(id, why);
    stopHelperIfIdle();
}

void CallBridge::helperGone(const std::string& why) {
    support::logWarning("calls: " + why + "; its connections failed");
    std::vector<int> failing;
    for (const auto& [id, connection] : connections_) failing.push_back(id);
    for (int id : failing) {
        const Connection connection = connections_[id];
        endConnection(id, why);
        deliver(connection.token,
                "{\"event\":\"gone\",\"pc\":" + std::to_string(connection.pageId) + "}");
    }
}

}  // namespace gtkui
