#include "demo/CallSignalling.h"

#include <json-glib/json-glib.h>

#include <map>
#include <utility>

#include "demo/DemoFriend.h"

namespace site {

namespace {

struct Call {
    int number = 0;
    SoupWebsocketConnection* socket = nullptr;  // referenced
    std::unique_ptr<DemoFriend> peer;
    bool ending = false;
};

bool open(SoupWebsocketConnection* socket) {
    return soup_websocket_connection_get_state(socket) == SOUP_WEBSOCKET_STATE_OPEN;
}

}  // namespace

struct CallSignalling::State {
    SoupServer* server;
    Log log;
    std::map<SoupWebsocketConnection*, std::unique_ptr<Call>> calls;
    int made = 0;
    guint reapSource = 0;

    void accept(SoupWebsocketConnection* socket);
    void refuse(SoupWebsocketConnection* socket, const std::string& why);
    void onMessage(Call& call, gint type, GBytes* message);
    // Ends the call: its friend goes at once, its socket once it has closed.
    void end(Call& call, unsigned short code, const std::string& why);
    void scheduleReap();
    void reap();
    // Calls whose friend runs (its pipeline exists).
    int running() const;
};

int CallSignalling::State::running() const {
    int count = 0;
    for (const auto& [socket, call] : calls) count += call->peer ? 1 : 0;
    return count;
}

void CallSignalling::State::refuse(SoupWebsocketConnection* socket, const std::string& why) {
    log("call refused: " + why);
    // Closed from the main loop, once the handshake's answer has gone out;
    // held until the close has been said.
    struct Refusal {
        SoupWebsocketConnection* socket;
        std::string why;
    };
    g_object_ref(socket);
    g_signal_connect(socket, "closed",
                     G_CALLBACK(+[](SoupWebsocketConnection* s, gpointer) { g_object_unref(s); }),
                     nullptr);
    g_idle_add_full(
        G_PRIORITY_DEFAULT_IDLE,
        [](gpointer data) {
            auto* r = static_cast<Refusal*>(data);
            if (open(r->socket))
                soup_websocket_connection_close(r->socket, BusyCode, r->why.c_str());
            return G_SOURCE_REMOVE;
        },
        new Refusal{socket, why}, [](gpointer data) { delete static_cast<Refusal*>(data); });
}

void CallSignalling::State::accept(SoupWebsocketConnection* socket) {
    if (running() >= MaxCalls) return refuse(socket, "the friend is on too many calls");

    auto call = std::make_unique<Call>();
    Call* c = call.get();
    c->number = ++made;
    c->socket = SOUP_WEBSOCKET_CONNECTION(g_object_ref(socket));
    soup_websocket_connection_set_max_incoming_payload_size(socket, MaxMessageBytes);
    calls.emplace(socket, std::move(call));
    auto* self = this;
    c->peer = std::make_unique<DemoFriend>(
        [c](const std::string& json) {
            if (!c->ending && open(c->socket))
                soup_websocket_connection_send_text(c->socket, json.c_str());
        },
        [self, c](const std::string& why) { self->end(*c, SOUP_WEBSOCKET_CLOSE_GOING_AWAY, why); },
        [self, c](const std::string& line) {
            self->log("call " + std::to_string(c->number) + ": " + line);
        });
    g_signal_connect(socket, "message",
                     G_CALLBACK(+[](SoupWebsocketConnection* s, gint type, GBytes* m, State* st) {
                         auto found = st->calls.find(s);
                         if (found != st->calls.end()) st->onMessage(*found->second, type, m);
                     }),
                     this);
    g_signal_connect(socket, "closed", G_CALLBACK(+[](SoupWebsocketConnection* s, State* st) {
                         auto found = st->calls.find(s);
                         if (found == st->calls.end()) return;
                         const char* reason = soup_websocket_connection_get_close_data(s);
                         if (!found->second->ending)
                             st->end(*found->second, 0,
                                     reason && *reason ? reason : "the page hung up");
                         st->scheduleReap();
                     }),
                     this);
    log("call " + std::to_string(c->number) + " started");
    std::string error;
    if (!c->peer->start(error)) end(*c, SOUP_WEBSOCKET_CLOSE_SERVER_ERROR, error);
}

void CallSignalling::State::onMessage(Call& call, gint type, GBytes* message) {
    if (call.ending) return;
    if (type != SOUP_WEBSOCKET_DATA_TEXT)
        return end(call, SOUP_WEBSOCKET_CLOSE_UNSUPPORTED_DATA, "a binary message");
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(message, &size));
    g_autoptr(JsonParser) parser = json_parser_new();
    if (!data || !json_parser_load_from_data(parser, data, static_cast<gssize>(size), nullptr) ||
        !JSON_NODE_HOLDS_OBJECT(json_parser_get_root(parser)))
        return end(call, SOUP_WEBSOCKET_CLOSE_POLICY_VIOLATION, "a message that is no JSON object");
    std::string error;
    if (!call.peer->take(json_node_get_object(json_parser_get_root(parser)), error))
        end(call, SOUP_WEBSOCKET_CLOSE_POLICY_VIOLATION, error);
}

void CallSignalling::State::end(Call& call, unsigned short code, const std::string& why) {
    if (call.ending) return;
    call.ending = true;
    log("call " + std::to_string(call.number) + " ended: " + why);
    if (code && open(call.socket))
        soup_websocket_connection_close(call.socket, code, why.substr(0, 120).c_str());
    scheduleReap();
}

void CallSignalling::State::scheduleReap() {
    if (reapSource) return;
    reapSource = g_idle_add(
        [](gpointer st) {
            auto* self = static_cast<State*>(st);
            self->reapSource = 0;
            self->reap();
            return G_SOURCE_REMOVE;
        },
        this);
}

// Runs from the main loop, never inside a friend's or a socket's callback.
void CallSignalling::State::reap() {
    for (auto it = calls.begin(); it != calls.end();) {
        Call& call = *it->second;
        if (call.ending) call.peer.reset();
        if (!call.ending ||
            soup_websocket_connection_get_state(call.socket) != SOUP_WEBSOCKET_STATE_CLOSED) {
            ++it;
            continue;
        }
        g_signal_handlers_disconnect_by_data(call.socket, this);
        g_object_unref(call.socket);
        it = calls.erase(it);
    }
}

CallSignalling::CallSignalling(SoupServer* server, const std::string& origin, Log log)
    : state_(std::make_unique<State>()) {
    state_->server = server;
    state_->log = std::move(log);
    soup_server_add_websocket_handler(
        server, SocketPath, origin.c_str(), nullptr,
        [](SoupServer*, SoupServerMessage*, const char*, SoupWebsocketConnection* socket,
           gpointer st) { static_cast<State*>(st)->accept(socket); },
        state_.get(), nullptr);
}

CallSignalling::~CallSignalling() {
    State* s = state_.get();
    soup_server_remove_handler(s->server, SocketPath);
    if (s->reapSource) g_source_remove(s->reapSource);
    for (auto& [socket, call] : s->calls) {
        call->peer.reset();
        g_signal_handlers_disconnect_by_data(socket, s);
        if (open(socket))
            soup_websocket_connection_close(socket, SOUP_WEBSOCKET_CLOSE_GOING_AWAY, nullptr);
        g_object_unref(socket);
    }
}

int CallSignalling::activeCalls() const { return state_->running(); }

}  // namespace site
