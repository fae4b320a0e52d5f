#include "platform/recorder/ChatSoundSink.h"

#include <pulse/pulseaudio.h>
#include <signal.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "support/Failure.h"
#include "support/Log.h"

namespace recorder {
namespace {

using Clock = std::chrono::steady_clock;

struct Module {
    std::uint32_t index;
    std::string name;
    std::string argument;
};

// One blocking conversation with the sound server, on the calling thread,
// every wait bounded by one deadline.
class Connection {
public:
    explicit Connection(std::chrono::milliseconds limit) : deadline_(Clock::now() + limit) {
        mainloop_ = pa_mainloop_new();
        if (mainloop_)
            context_ = pa_context_new(pa_mainloop_get_api(mainloop_), "Whirligigcam Desktop");
        if (!context_) throw support::Failure("cannot set up a sound server connection");
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            throw support::Failure(std::string("no sound server (") +
                                   pa_strerror(pa_context_errno(context_)) + ")");
        runUntil([this] { return pa_context_get_state(context_) == PA_CONTEXT_READY; },
                 "the sound server");
    }
    ~Connection() {
        if (context_) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        if (mainloop_) pa_mainloop_free(mainloop_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    std::vector<Module> modules() {
        struct Answer {
            bool done = false;
            std::vector<Module> modules;
        } answer;
        send(pa_context_get_module_info_list(
            context_,
            [](pa_context*, const pa_module_info* info, int eol, void* data) {
                auto* a = static_cast<Answer*>(data);
                if (eol != 0 || !info)
                    a->done = true;
                else
                    a->modules.push_back({info->index, info->name ? info->name : "",
                                          info->argument ? info->argument : ""});
            },
            &answer));
        runUntil([&] { return answer.done; }, "the list of modules");
        return answer.modules;
    }
    std::uint32_t load(const char* module, const std::string& arguments) {
        struct Answer {
            bool done = false;
            std::uint32_t index = PA_INVALID_INDEX;
        } answer;
        send(pa_context_load_module(
            context_, module, arguments.c_str(),
            [](pa_context*, std::uint32_t index, void* data) {
                *static_cast<Answer*>(data) = {true, index};
            },
            &answer));
        runUntil([&] { return answer.done; }, module);
        if (answer.index == PA_INVALID_INDEX)
            throw support::Failure(std::string("cannot load ") + module + " (" +
                                   pa_strerror(pa_context_errno(context_)) + ")");
        return answer.index;
    }
    // Whether the module was unloaded.
    bool unload(std::uint32_t index) {
        struct Answer {
            bool done = false;
            bool ok = false;
        } answer;
        send(pa_context_unload_module(
            context_, index,
            [](pa_context*, int ok, void* data) {
                *static_cast<Answer*>(data) = {true, ok != 0};
            },
            &answer));
        runUntil([&] { return answer.done; }, "unloading a module");
        return answer.ok;
    }
    std::string defaultSink() {
        struct Answer {
            bool done = false;
            std::string sink;
        } answer;
        send(pa_context_get_server_info(
            context_,
            [](pa_context*, const pa_server_info* info, void* data) {
                auto* a = static_cast<Answer*>(data);
                a->done = true;
                if (info && info->default_sink_name) a->sink = info->default_sink_name;
            },
            &answer));
        runUntil([&] { return answer.done; }, "the server's information");
        return answer.sink;
    }
    void suspend(const std::string& sink, bool suspended) {
        bool done = false;
        send(pa_context_suspend_sink_by_name(
            context_, sink.c_str(), suspended,
            [](pa_context*, int, void* data) { *static_cast<bool*>(data) = true; }, &done));
        runUntil([&] { return done; }, "suspending a sink");
    }
    void setDefaultSink(const std::string& sink) {
        bool done = false;
        send(pa_context_set_default_sink(
            context_, sink.c_str(),
            [](pa_context*, int, void* data) { *static_cast<bool*>(data) = true; }, &done));
        runUntil([&] { return done; }, "setting the default sink");
    }

private:
    void send(pa_operation* operation) {
        if (!operation)
            throw support::Failure(std::string("the sound server refused a request (") +
                                   pa_strerror(pa_context_errno(context_)) + ")");
        pa_operation_unref(operation);
    }
    void runUntil(const std::function<bool()>& done, const std::string& what) {
        while (!done()) {
            const pa_context_state_t state = pa_context_get_state(context_);
            if (!PA_CONTEXT_IS_GOOD(state))
                throw support::Failure("the sound server connection failed (" +
                                       std::string(pa_strerror(pa_context_errno(context_))) + ")");
            const auto left =
                std::chrono::duration_cast<std::chrono::microseconds>(deadline_ - Clock::now());
            if (left.count() <= 0) throw support::Failure(what + " did not answer in time");
            if (pa_mainloop_prepare(mainloop_, int(left.count())) < 0 ||
                pa_mainloop_poll(mainloop_) < 0 || pa_mainloop_dispatch(mainloop_) < 0)
                throw support::Failure("the sound server connection's loop failed");
        }
    }

    Clock::time_point deadline_;
    pa_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
};

// The process whose chat sink a module belongs to (by its sink_name= or
// source= argument); -1 when it is no chat sink's module.
long ownerOf(const Module& module) {
    if (module.name != "module-null-sink" && module.name != "module-loopback") return -1;
    for (const char* key : {"sink_name=", "source="}) {
        const std::string start = std::string(key) + ChatSoundSink::kPrefix;
        const std::size_t at = module.argument.find(start);
        if (at == std::string::npos) continue;
        const char* digits = module.argument.c_str() + at + start.size();
        char* end = nullptr;
        const long pid = std::strtol(digits, &end, 10);
        if (end != digits && *end == '_' && pid > 0) return pid;
    }
    return -1;
}

bool processGone(long pid) { return kill(pid_t(pid), 0) == -1 && errno == ESRCH; }

// Removes the chat sinks (and their loopbacks, first) of processes that no
// longer run: what a run that crashed left.
void removeStale(Connection& server) {
    std::vector<Module> stale;
    for (const Module& m : server.modules()) {
        const long owner = ownerOf(m);
        if (owner > 0 && owner != getpid() && processGone(owner)) stale.push_back(m);
    }
    std::stable_partition(stale.begin(), stale.end(),
                          [](const Module& m) { return m.name == "module-loopback"; });
    for (const Module& m : stale) {
        const bool gone = server.unload(m.index);
        support::logInfo("chat sound: " + std::string(gone ? "removed" : "could not remove") +
                         " a module left by an earlier run: " + m.name + " " + m.argument);
    }
}

std::string uniqueName() {
    unsigned char random[8] = {};
    if (getrandom(random, sizeof random, 0) != sizeof random)
        throw support::Failure("no random numbers for the chat sink's name");
    std::string name = ChatSoundSink::kPrefix + std::to_string(getpid()) + "_";
    for (unsigned char byte : random) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", byte);
        name += hex;
    }
    return name;
}

}  // namespace

std::unique_ptr<ChatSoundSink> ChatSoundSink::create(std::chrono::milliseconds limit) {
    Connection server(limit);
    removeStale(server);
    const std::string name = uniqueName();
    const std::string speakers = server.defaultSink();
    const std::uint32_t sink = server.load(
        "module-null-sink",
        "sink_name=" + name + " sink_properties='device.description=\"Whirligigcam chat\"'");
    std::uint32_t loopback = PA_INVALID_INDEX;
    try {
        // Without a sink= the loopback plays to the default sink, and follows it.
        loopback = server.load("module-loopback",
                               "source=" + name + ".monitor source_dont_move=true latency_msec=" +
                                   std::to_string(kLoopbackLatencyMs));
        // A new null sink renders a first block of up to two seconds before
        // the loopback asks for less, which made the first sound late by as
        // much: started afresh, it renders at the loopback's pace.
        server.suspend(name, true);
        server.suspend(name, false);
        // A server with no other sink may make the new one its default, which
        // would put every program's sound into the chat's.
        if (server.defaultSink() == name && !speakers.empty() && speakers != name) {
            server.setDefaultSink(speakers);
            support::logWarning("chat sound: the server made the chat's sink its default; " +
                                speakers + " is the default again");
        }
    } catch (const support::Failure&) {
        if (loopback != PA_INVALID_INDEX) server.unload(loopback);
        server.unload(sink);
        throw;
    }
    setenv("PULSE_SINK", name.c_str(), 1);
    support::logInfo("chat sound: the web pages play into " + name + ", passed on to " +
                     (speakers.empty() ? std::string("the default sink") : speakers));
    return std::unique_ptr<ChatSoundSink>(new ChatSoundSink(name, sink, loopback, limit));
}

ChatSoundSink::~ChatSoundSink() {
    unsetenv("PULSE_SINK");
    try {
        Connection server(limit_);
        const bool loopbackRemoved = server.unload(loopbackModule_);
        const bool sinkRemoved = server.unload(sinkModule_);
        if (loopbackRemoved && sinkRemoved)
            support::logDebug("chat sound: removed " + name_);
        else
            support::logWarning("chat sound: " + name_ + " was already gone");
    } catch (const support::Failure& e) {
        support::logWarning("chat sound: cannot remove " + name_ + ": " + e.what() +
                            "; the next start removes it");
    }
}

}  // namespace recorder
