#include "demo/SiteServer.h"

#include <libsoup/soup.h>
#include <strings.h>

#include <cstdio>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

#include "demo/CallSignalling.h"
#include "demo/SitePages.h"

namespace site {

namespace {

constexpr char kUpdatePath[] = "/update/1";
constexpr char kStatsPath[] = "/stats/index.html";
constexpr char kUploadPath[] = "/my_videos_upload";
constexpr char kHtml[] = "text/html; charset=utf-8";

struct Route {
    std::string body;
    std::string contentType;
    std::string redirect;     // where the path redirects to, when set
    std::string disposition;  // the Content-Disposition of an attachment
    bool stall = false;       // an attachment sent in half, then held
};

// A held attachment: its connection and what it still has to send.
struct Stalled {
    GIOStream* stream;
    std::string rest;
};

std::string pathOf(SoupServerMessage* msg) {
    const char* path = g_uri_get_path(soup_server_message_get_uri(msg));
    return path ? path : "";
}

}  // namespace

std::string RequestRecord::header(const std::string& name) const {
    std::string value;
    for (const auto& [key, v] : headers) {
        if (strcasecmp(key.c_str(), name.c_str()) != 0) continue;
        if (!value.empty()) value += ", ";
        value += v;
    }
    return value;
}

struct SiteServer::State {
    // An update reply held back until its delay has passed.
    struct PendingReply {
        State* state;
        SoupServerMessage* msg;  // referenced while pending
        guint timeout = 0;
        gulong finishedHandler = 0;
    };

    SoupServer* server = nullptr;
    unsigned port = 0;
    bool logging = true;
    std::string chatPage = pages::chatPage();
    std::map<std::string, Route> routes;
    std::string updateReply = "update=false";
    std::chrono::milliseconds updateDelay{0};
    UpdateFailure updateFailure = UpdateFailure::None;
    std::map<std::string, int> requests;
    std::map<std::string, int> ended;
    std::map<std::string, RequestRecord> last;
    std::set<PendingReply*> pending;
    std::map<std::string, PathFailure> pathFailures;
    std::vector<SoupServerMessage*> unanswered;  // referenced, paused for good
    std::vector<Stalled> stalled;
    int visits = 0;
    std::size_t uploaded = 0;
    std::unique_ptr<CallSignalling> calls;
    bool autoCall = false;

    void handle(SoupServerMessage* msg, const std::string& path);
    void answerUpdate(SoupServerMessage* msg);
    void dropConnection(SoupServerMessage* msg);
    void fail(SoupServerMessage* msg, PathFailure failure);
    void delayUpdate(SoupServerMessage* msg);
    void dropPending(PendingReply* reply);
    void requestEnded(SoupServerMessage* msg, bool aborted);
    void stall(SoupServerMessage* msg, const Route& route);
};

static void setBody(SoupServerMessage* msg, const std::string& contentType,
                    const std::string& body) {
    soup_server_message_set_status(msg, SOUP_STATUS_OK, nullptr);
    soup_server_message_set_response(msg, contentType.c_str(), SOUP_MEMORY_COPY, body.data(),
                                     body.size());
}

void SiteServer::State::handle(SoupServerMessage* msg, const std::string& path) {
    const char* method = soup_server_message_get_method(msg);
    RequestRecord record{method, path, {}};
    soup_message_headers_foreach(
        soup_server_message_get_request_headers(msg),
        [](const char* name, const char* value, gpointer data) {
            static_cast<RequestRecord*>(data)->headers.emplace(name, value);
        },
        &record);
    last[path] = std::move(record);
    ++requests[path];

    if (auto f = pathFailures.find(path); f != pathFailures.end() && f->second != PathFailure::None)
        return fail(msg, f->second);

    const bool get = method == SOUP_METHOD_GET || method == SOUP_METHOD_HEAD;
    const bool post = method == SOUP_METHOD_POST;
    if (auto route = routes.find(path); route != routes.end()) {
        if (!get)
            return soup_server_message_set_status(msg, SOUP_STATUS_METHOD_NOT_ALLOWED, nullptr);
        if (!route->second.redirect.empty())
            return soup_server_message_set_redirect(msg, SOUP_STATUS_FOUND,
                                                    route->second.redirect.c_str());
        if (route->second.stall) return stall(msg, route->second);
        if (!route->second.disposition.empty())
            soup_message_headers_replace(soup_server_message_get_response_headers(msg),
                                         "Content-Disposition", route->second.disposition.c_str());
        return setBody(msg, route->second.contentType, route->second.body);
    }
    if (path == kUploadPath && post) {
        const std::size_t length = soup_server_message_get_request_body(msg)->length;
        uploaded += length;
        return setBody(msg, kHtml, pages::uploadReceived(length));
    }
    if (!get) return soup_server_message_set_status(msg, SOUP_STATUS_METHOD_NOT_ALLOWED, nullptr);

    if (path == "/") return setBody(msg, kHtml, chatPage);
    if (path == "/site.css") return setBody(msg, "text/css", pages::siteCss());
    if (path == "/chat.js") return setBody(msg, "text/javascript", pages::chatFeatures());
    if (path == "/call.js")
        return setBody(msg, "text/javascript",
                       (autoCall ? "window.whirlyAutoCall = true;\n" : "") + pages::callFeatures());
    // The chat page's reports of who it greeted, what the camera gave, that
    // the movie started and how its calls went: logged only.
    if (path.starts_with("/visitor/") || path.starts_with("/camera/") ||
        path.starts_with("/movie/") || path.starts_with("/call/"))
        return soup_server_message_set_status(msg, SOUP_STATUS_NO_CONTENT, nullptr);
    if (path == "/ad.html") return setBody(msg, kHtml, pages::advertisement());
    if (path == "/flash/chat.swf") {
        // Pages of other sites may play the movie, as from a shared server.
        soup_message_headers_replace(soup_server_message_get_response_headers(msg),
                                     "Access-Control-Allow-Origin", "*");
        return setBody(msg, "application/x-shockwave-flash", pages::chatMovie());
    }
    if (path == kStatsPath) return setBody(msg, kHtml, pages::statistics(++visits));
    if (path == kUploadPath) return setBody(msg, kHtml, pages::uploadForm());
    if (path == kUpdatePath) {
        if (updateDelay.count() > 0) return delayUpdate(msg);
        return answerUpdate(msg);
    }
    soup_server_message_set_status(msg, SOUP_STATUS_NOT_FOUND, nullptr);
}

void SiteServer::State::answerUpdate(SoupServerMessage* msg) {
    switch (updateFailure) {
        case UpdateFailure::None:
            return setBody(msg, "text/plain", updateReply);
        case UpdateFailure::ServerError:
            return soup_server_message_set_status(msg, SOUP_STATUS_INTERNAL_SERVER_ERROR, nullptr);
        case UpdateFailure::DropConnection:
            return dropConnection(msg);
    }
}

void SiteServer::State::dropConnection(SoupServerMessage* msg) {
    // The server forgets a stolen connection, so count the end here.
    requestEnded(msg, true);
    g_autoptr(GIOStream) stream = soup_server_message_steal_connection(msg);
    g_io_stream_close(stream, nullptr, nullptr);
}

void SiteServer::State::fail(SoupServerMessage* msg, PathFailure failure) {
    switch (failure) {
        case PathFailure::None:
            return;
        case PathFailure::ServerError:
            setBody(msg, kHtml, "<!DOCTYPE html><html><body>Server error</body></html>");
            soup_server_message_set_status(msg, SOUP_STATUS_INTERNAL_SERVER_ERROR, nullptr);
            return;
        case PathFailure::DropConnection:
            return dropConnection(msg);
        case PathFailure::CutShort: {
            requestEnded(msg, true);
            g_autoptr(GIOStream) stream = soup_server_message_steal_connection(msg);
            static const char kCut[] =
                "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: "
                "text/plain\r\nContent-Length: 50\r\n\r\n"
                "update=false";
            g_output_stream_write_all(g_io_stream_get_output_stream(stream), kCut, sizeof kCut - 1,
                                      nullptr, nullptr, nullptr);
            g_io_stream_close(stream, nullptr, nullptr);
            return;
        }
        case PathFailure::NeverAnswer:
            soup_server_message_pause(msg);
            unanswered.push_back(SOUP_SERVER_MESSAGE(g_object_ref(msg)));
            return;
    }
}

void SiteServer::State::stall(SoupServerMessage* msg, const Route& route) {
    requestEnded(msg, true);
    GIOStream* stream = soup_server_message_steal_connection(msg);
    const std::size_t half = route.body.size() / 2;
    const std::string head =
        "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: " + route.contentType +
        "\r\nContent-Disposition: " + route.disposition +
        "\r\nContent-Length: " + std::to_string(route.body.size()) + "\r\n\r\n" +
        route.body.substr(0, half);
    g_output_stream_write_all(g_io_stream_get_output_stream(stream), head.data(), head.size(),
                              nullptr, nullptr, nullptr);
    stalled.push_back({stream, route.body.substr(half)});
}

void SiteServer::State::delayUpdate(SoupServerMessage* msg) {
    auto* reply = new PendingReply{this, msg};
    g_object_ref(msg);
    soup_server_message_pause(msg);
    reply->finishedHandler = g_signal_connect_swapped(
        msg, "finished", G_CALLBACK(+[](PendingReply* r) { r->state->dropPending(r); }), reply);
    reply->timeout = g_timeout_add(
        static_cast<guint>(updateDelay.count()),
        [](gpointer data) -> gboolean {
            auto* r = static_cast<PendingReply*>(data);
            r->timeout = 0;
            SoupServerMessage* m = r->msg;
            State* s = r->state;
            g_object_ref(m);
            s->dropPending(r);
            s->answerUpdate(m);
            if (s->updateFailure != UpdateFailure::DropConnection) soup_server_message_unpause(m);
            g_object_unref(m);
            return G_SOURCE_REMOVE;
        },
        reply);
    pending.insert(reply);
}

void SiteServer::State::dropPending(PendingReply* reply) {
    if (reply->timeout) g_source_remove(reply->timeout);
    g_signal_handler_disconnect(reply->msg, reply->finishedHandler);
    g_object_unref(reply->msg);
    pending.erase(reply);
    delete reply;
}

void SiteServer::State::requestEnded(SoupServerMessage* msg, bool aborted) {
    const std::string path = pathOf(msg);
    ++ended[path];
    if (!logging) return;
    const char* method = soup_server_message_get_method(msg);
    if (aborted) {
        std::fprintf(stderr, "site: %s %s (connection closed)\n", method, path.c_str());
    } else {
        std::fprintf(stderr, "site: %s %s %u\n", method, path.c_str(),
                     soup_server_message_get_status(msg));
    }
}

SiteServer::SiteServer(unsigned port) : state_(std::make_unique<State>()) {
    State* s = state_.get();
    s->server = soup_server_new("server-header", "whirligig-site ", nullptr);
    soup_server_add_handler(
        s->server, nullptr,
        [](SoupServer*, SoupServerMessage* msg, const char* path, GHashTable*, gpointer data) {
            static_cast<State*>(data)->handle(msg, path ? path : "");
        },
        s, nullptr);
    g_signal_connect(s->server, "request-finished",
                     G_CALLBACK(+[](SoupServer*, SoupServerMessage* msg, State* st) {
                         st->requestEnded(msg, false);
                     }),
                     s);
    g_signal_connect(s->server, "request-aborted",
                     G_CALLBACK(+[](SoupServer*, SoupServerMessage* msg, State* st) {
                         st->requestEnded(msg, true);
                     }),
                     s);

    g_autoptr(GInetAddress) loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
    g_autoptr(GSocketAddress) where = g_inet_socket_address_new(loopback, port);
    g_autoptr(GError) error = nullptr;
    if (!soup_server_listen(s->server, where, static_cast<SoupServerListenOptions>(0), &error)) {
        const std::string message = error ? error->message : "unknown error";
        g_object_unref(s->server);
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
                                 message);
    }
    GSList* uris = soup_server_get_uris(s->server);
    s->port = static_cast<unsigned>(g_uri_get_port(static_cast<GUri*>(uris->data)));
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
    s->calls =
        std::make_unique<CallSignalling>(s->server, address(""), [s](const std::string& line) {
            if (s->logging) std::fprintf(stderr, "site: %s\n", line.c_str());
        });
}

SiteServer::~SiteServer() {
    State* s = state_.get();
    s->calls.reset();
    while (!s->pending.empty()) s->dropPending(*s->pending.begin());
    g_signal_handlers_disconnect_by_data(s->server, s);
    soup_server_disconnect(s->server);
    for (SoupServerMessage* msg : s->unanswered) g_object_unref(msg);
    for (Stalled& held : s->stalled) g_object_unref(held.stream);
    g_object_unref(s->server);
}

unsigned SiteServer::port() const { return state_->port; }

std::string SiteServer::address(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(state_->port) + path;
}

void SiteServer::setChatPage(std::string html) { state_->chatPage = std::move(html); }

void SiteServer::setPathFailure(const std::string& path, PathFailure failure) {
    state_->pathFailures[path] = failure;
}

std::string SiteServer::defaultChatPage() { return pages::chatPage(); }

void SiteServer::addRoute(const std::string& path, std::string body, std::string contentType) {
    state_->routes[path] = Route{std::move(body), std::move(contentType), {}, {}};
}

void SiteServer::addAttachment(const std::string& path, std::string body,
                               const std::string& fileName) {
    g_autofree gchar* encoded = g_uri_escape_string(fileName.c_str(), nullptr, FALSE);
    state_->routes[path] = Route{std::move(body),
                                 "application/octet-stream",
                                 {},
                                 std::string("attachment; filename*=UTF-8''") + encoded};
}

void SiteServer::addStalledAttachment(const std::string& path, std::string body,
                                      const std::string& fileName) {
    addAttachment(path, std::move(body), fileName);
    state_->routes[path].stall = true;
}

void SiteServer::finishStalled(bool complete) {
    for (Stalled& held : state_->stalled) {
        if (complete)
            g_output_stream_write_all(g_io_stream_get_output_stream(held.stream), held.rest.data(),
                                      held.rest.size(), nullptr, nullptr, nullptr);
        g_io_stream_close(held.stream, nullptr, nullptr);
        g_object_unref(held.stream);
    }
    state_->stalled.clear();
}

void SiteServer::addRedirect(const std::string& path, std::string target) {
    state_->routes[path] = Route{{}, {}, std::move(target), {}};
}

void SiteServer::setUpdateReply(std::string text) { state_->updateReply = std::move(text); }

void SiteServer::setUpdateDelay(std::chrono::milliseconds delay) { state_->updateDelay = delay; }

void SiteServer::setUpdateFailure(UpdateFailure failure) { state_->updateFailure = failure; }

int SiteServer::requestCount(const std::string& path) const {
    auto it = state_->requests.find(path);
    return it == state_->requests.end() ? 0 : it->second;
}

int SiteServer::endedCount(const std::string& path) const {
    auto it = state_->ended.find(path);
    return it == state_->ended.end() ? 0 : it->second;
}

const RequestRecord& SiteServer::lastRequest(const std::string& path) const {
    return state_->last.at(path);
}

int SiteServer::statisticsVisits() const { return state_->visits; }

std::size_t SiteServer::uploadedBytes() const { return state_->uploaded; }

void SiteServer::setLogging(bool on) { state_->logging = on; }

void SiteServer::setAutoCall(bool on) { state_->autoCall = on; }

int SiteServer::activeCalls() const { return state_->calls->activeCalls(); }

}  // namespace site
