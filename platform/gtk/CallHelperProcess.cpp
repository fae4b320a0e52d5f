#include "platform/gtk/CallHelperProcess.h"

#include <glib-unix.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "support/Log.h"
#include "support/MessageFrames.h"

namespace gtkui {
namespace {

// A 256 kB data-channel message in base64, with its envelope, fits.
using support::MaxMessageBytes;
// What may wait for a helper that does not read: then it is stuck.
constexpr size_t MaxUnsentBytes = 16 * 1024 * 1024;

// Only what GStreamer and GLib need to find their plugins and caches, and
// what the sanitizers and the log read. No display, no session bus, no sound
// server: the helper shows and plays nothing.
std::vector<std::string> helperEnvironment() {
    std::vector<std::string> kept;
    for (const char* name :
         {"PATH", "HOME", "LANG", "LC_ALL", "XDG_CACHE_HOME", "TMPDIR", "LD_LIBRARY_PATH",
          "GST_PLUGIN_PATH", "GST_PLUGIN_SYSTEM_PATH", "GST_REGISTRY", "GST_DEBUG",
          "G_MESSAGES_DEBUG", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* value = g_getenv(name)) kept.push_back(std::string(name) + "=" + value);
    }
    return kept;
}

void endWithParent(gpointer) { prctl(PR_SET_PDEATHSIG, SIGKILL); }

}  // namespace

CallHelperProcess::CallHelperProcess(std::string program, OnMessage onMessage,
                                     std::function<void(const std::string& why)> onGone)
    : program_(std::move(program)), onMessage_(std::move(onMessage)), onGone_(std::move(onGone)) {}

CallHelperProcess::~CallHelperProcess() { stop(); }

bool CallHelperProcess::ensureRunning() {
    if (running()) return true;
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
        support::logWarning("calls: no socket for the call helper");
        return false;
    }
    std::vector<std::string> environment = helperEnvironment();
    std::vector<gchar*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    gchar* argv[] = {program_.data(), nullptr};
    const gint source[] = {sockets[1]}, target[] = {3};
    GError* error = nullptr;
    const gboolean started = g_spawn_async_with_pipes_and_fds(
        nullptr, argv, envp.data(), G_SPAWN_DO_NOT_REAP_CHILD, endWithParent, nullptr, -1, -1, -1,
        source, target, 1, &pid_, nullptr, nullptr, nullptr, &error);
    close(sockets[1]);
    if (!started) {
        support::logWarning("calls: the call helper " + program_ +
                            " did not start: " + (error ? error->message : "?"));
        g_clear_error(&error);
        close(sockets[0]);
        pid_ = 0;
        return false;
    }
    fd_ = sockets[0];
    g_unix_set_fd_nonblocking(fd_, TRUE, nullptr);
    socketWatch_ = g_unix_fd_add(fd_, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                 onSocket, this);
    childWatch_ = g_child_watch_add(pid_, onExited, this);
    support::logInfo("calls: the call helper started (process " + std::to_string(pid_) + ")");
    return true;
}

void CallHelperProcess::stop() {
    if (socketWatch_) g_source_remove(socketWatch_);
    if (childWatch_) g_source_remove(childWatch_);
    socketWatch_ = childWatch_ = 0;
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        // Reaped as soon as it is gone, without holding up the window.
        g_child_watch_add(
            pid_, [](GPid pid, gint, gpointer) { g_spawn_close_pid(pid); }, nullptr);
    }
    pid_ = 0;
    input_.clear();
    output_.clear();
}

void CallHelperProcess::fail(const std::string& why) {
    stop();
    if (onGone_) onGone_(why);
}

void CallHelperProcess::onExited(GPid, gint status, gpointer self) {
    auto* helper = static_cast<CallHelperProcess*>(self);
    helper->childWatch_ = 0;
    g_spawn_close_pid(helper->pid_);
    helper->pid_ = 0;
    std::string why =
        WIFSIGNALED(status)
            ? "the call helper was ended by signal " + std::to_string(WTERMSIG(status))
            : "the call helper exited with status " + std::to_string(WEXITSTATUS(status));
    helper->fail(why);
}

gboolean CallHelperProcess::onSocket(gint, GIOCondition condition, gpointer self) {
    auto* helper = static_cast<CallHelperProcess*>(self);
    if (condition & G_IO_OUT) {
        if (!helper->writePending()) {
            helper->socketWatch_ = 0;
            helper->fail("the call helper's socket failed");
            return G_SOURCE_REMOVE;
        }
        return G_SOURCE_CONTINUE;
    }
    if (helper->readAvailable()) return G_SOURCE_CONTINUE;
    helper->socketWatch_ = 0;
    if (helper->pid_ > 0) helper->fail("the call helper closed its socket or sent a bad message");
    return G_SOURCE_REMOVE;
}

bool CallHelperProcess::readAvailable() {
    char chunk[65536];
    const ssize_t got = read(fd_, chunk, sizeof chunk);
    if (got < 0) return errno == EINTR || errno == EAGAIN;
    if (got == 0) return false;
    input_.append(chunk, static_cast<size_t>(got));
    bool tooLarge = false;
    while (const std::optional<std::string> text = support::takeMessage(input_, tooLarge)) {
        g_autoptr(JsonParser) parser = json_parser_new();
        const bool parsed = json_parser_load_from_data(parser, text->data(),
                                                       static_cast<gssize>(text->size()), nullptr);
        JsonNode* root = parsed ? json_parser_get_root(parser) : nullptr;
        if (!root || !JSON_NODE_HOLDS_OBJECT(root)) return false;
        const GPid before = pid_;
        onMessage_(json_node_get_object(root));
        if (pid_ != before || fd_ < 0) return true;  // stopped by the message's handling
    }
    return !tooLarge;
}

void CallHelperProcess::send(JsonNode* message) {
    if (!running()) return;
    g_autoptr(JsonGenerator) generator = json_generator_new();
    json_generator_set_root(generator, message);
    gsize length = 0;
    g_autofree gchar* text = json_generator_to_data(generator, &length);
    if (length > MaxMessageBytes) return;
    const char header[4] = {static_cast<char>(length >> 24), static_cast<char>(length >> 16),
                            static_cast<char>(length >> 8), static_cast<char>(length)};
    const bool idle = output_.empty();
    output_.append(header, 4).append(text, length);
    if (output_.size() > MaxUnsentBytes) return fail("the call helper stopped reading");
    if (idle && !writePending()) return fail("the call helper's socket failed");
}

bool CallHelperProcess::writePending() {
    while (!output_.empty()) {
        const ssize_t n = ::send(fd_, output_.data(), output_.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) break;
        if (n <= 0) return false;
        output_.erase(0, static_cast<size_t>(n));
    }
    // Watch for room while something waits, and only then.
    if (socketWatch_) g_source_remove(socketWatch_);
    const auto condition = output_.empty() ? (G_IO_IN | G_IO_HUP | G_IO_ERR)
                                           : (G_IO_IN | G_IO_OUT | G_IO_HUP | G_IO_ERR);
    socketWatch_ = g_unix_fd_add(fd_, static_cast<GIOCondition>(condition), onSocket, this);
    return true;
}

}  // namespace gtkui
