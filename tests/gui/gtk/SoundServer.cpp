#include "SoundServer.h"

#include <glib/gstdio.h>
#include <signal.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>

#include "TestSupport.h"

namespace guitest {

SoundServer::SoundServer() {
    g_autofree gchar* folder = g_dir_make_tmp("whirligig-pulse-XXXXXX", nullptr);
    if (!folder) return;
    folder_ = folder;
    const std::string socket = folder_ + "/native";
    const std::string protocol =
        "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket;
    const char* argv[] = {"pulseaudio",
                          "-n",
                          "--daemonize=no",
                          "--exit-idle-time=-1",
                          "--disable-shm=yes",
                          protocol.c_str(),
                          "--load=module-null-sink sink_name=speakers rate=48000",
                          nullptr};
    // The server keeps its own files in the private folder.
    g_auto(GStrv) environment = g_environ_setenv(g_get_environ(), "XDG_RUNTIME_DIR", folder, TRUE);
    if (!g_spawn_async(
            nullptr, const_cast<gchar**>(argv), environment,
            static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                     G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
            nullptr, nullptr, &pid_, nullptr))
        return;
    g_setenv("PULSE_SERVER", ("unix:" + socket).c_str(), TRUE);
    running_ = waitFor([&] { return std::system("pactl info >/dev/null 2>&1") == 0; }, 30000);
}

SoundServer::~SoundServer() {
    if (pid_) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        g_spawn_close_pid(pid_);
    }
    if (!folder_.empty() && std::system(("rm -rf '" + folder_ + "'").c_str()) != 0) {
    }
}

std::vector<short> SoundServer::record(double seconds) {
    const std::string file = folder_ + "/recorded.raw";
    const char* argv[] = {
        "parec",        "--device=speakers.monitor", "--raw",      "--format=s16le", "--rate=48000",
        "--channels=1", "--latency-msec=20",         file.c_str(), nullptr};
    GPid recorder = 0;
    if (!g_spawn_async(nullptr, const_cast<gchar**>(argv), nullptr,
                       static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                       nullptr, nullptr, &recorder, nullptr))
        return {};
    const goffset wanted = static_cast<goffset>(seconds * 48000) * 2;
    waitFor([&] {
        GStatBuf st;
        return g_stat(file.c_str(), &st) == 0 && st.st_size >= wanted;
    });
    kill(recorder, SIGTERM);
    waitpid(recorder, nullptr, 0);
    g_spawn_close_pid(recorder);
    gchar* data = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(file.c_str(), &data, &length, nullptr)) return {};
    std::vector<short> samples(reinterpret_cast<short*>(data),
                               reinterpret_cast<short*>(data) + length / 2);
    g_free(data);
    return samples;
}

double tonePower(const std::vector<short>& samples, double frequency, int rate) {
    // Per block of 200 ms, averaged: a sound server that drops or repeats a
    // few milliseconds under load shifts the tone's phase, which would cancel
    // it out of one sum over the whole recording.
    const std::size_t block = static_cast<std::size_t>(rate / 5);
    if (samples.size() < block) return 0;
    const double w = 2 * M_PI * frequency / rate, coefficient = 2 * std::cos(w);
    double total = 0;
    std::size_t blocks = 0;
    for (std::size_t start = 0; start + block <= samples.size(); start += block, ++blocks) {
        double s1 = 0, s2 = 0;
        for (std::size_t i = start; i < start + block; ++i) {
            const double s0 = samples[i] / 32768.0 + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
        const double n = static_cast<double>(block);
        total += power / (n * n / 4);  // 1 for a full-scale sine at the frequency
    }
    return total / static_cast<double>(blocks);
}

}  // namespace guitest
