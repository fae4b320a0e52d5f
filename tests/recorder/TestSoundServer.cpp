#include "TestSoundServer.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace recorder_test {
namespace {

bool onPath(const char* program) {
    return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

void end(pid_t pid, int signal) {
    if (pid <= 0) return;
    ::kill(pid, signal);
    waitpid(pid, nullptr, 0);
}

}  // namespace

bool TestSoundServer::available() { return onPath("pulseaudio") && onPath("pacat"); }

TestSoundServer::TestSoundServer(int micHertz) {
    char pattern[] = "/tmp/sound-test-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("no temporary folder");
    folder_ = pattern;
    setenv("PULSE_SERVER", ("unix:" + folder_ + "/pulse/native").c_str(), 1);
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) oldRuntime_ = runtime;
    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);  // where the server puts its socket
    server_ = spawn(
        {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
         "--log-target=file:" + folder_ + "/server.log", "--load=module-native-protocol-unix",
         "--load=module-null-sink sink_name=speakers", "--load=module-null-sink sink_name=voice",
         "--load=module-null-sink sink_name=headphones",
         "--load=module-remap-source source_name=mic master=voice.monitor"});
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::system("pactl info >/dev/null 2>&1") != 0) {
        if (std::chrono::steady_clock::now() > limit)
            throw std::runtime_error("the test's sound server did not start");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (std::system("pactl set-default-sink speakers && pactl set-default-source mic") != 0)
        throw std::runtime_error("cannot choose the test server's default devices");
    // The microphone: a tone played into the sink the default source passes on.
    play(micHertz, false, "voice");
    // A null sink renders in blocks of up to two seconds until a stream asks
    // for less: listeners that ask for 10 ms make the sinks deliver promptly
    // before the recording starts, as a sound card would.
    const char* sinks[] = {"speakers", "voice", "headphones"};
    for (const char* sink : sinks)
        players_.push_back(spawn({"sh", "-c",
                                  std::string("parec --latency-msec=10 -d ") + sink + ".monitor >" +
                                      folder_ + "/" + sink + ".heard 2>/dev/null & wait"}));
    for (const char* sink : sinks) {
        const std::string heard = folder_ + "/" + sink + ".heard";
        while (!std::filesystem::exists(heard) || std::filesystem::file_size(heard) < 48000) {
            if (std::chrono::steady_clock::now() > limit)
                throw std::runtime_error("the test's sound server does not deliver sound");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

TestSoundServer::~TestSoundServer() {
    for (pid_t player : players_) end(player, SIGTERM);
    end(server_, SIGTERM);
    unsetenv("PULSE_SERVER");
    if (oldRuntime_.empty())
        unsetenv("XDG_RUNTIME_DIR");
    else
        setenv("XDG_RUNTIME_DIR", oldRuntime_.c_str(), 1);
    std::filesystem::remove_all(folder_);
}

bool TestSoundServer::moveStreams(const std::string& from, const std::string& to) {
    const std::string script = folder_ + "/move.sh";
    std::ofstream(script) << "from=$(pactl list short sinks | awk '$2 == \"" << from
                          << "\" {print $1}')\n"
                          << "moved=1\n"
                             "for input in $(pactl list short sink-inputs | awk -v s=\"$from\" "
                             "'$2 == s {print $1}'); do\n"
                             "  pactl move-sink-input \"$input\" "
                          << to << " && moved=0\n"
                          << "done\nexit $moved\n";
    return std::system(("sh " + script).c_str()) == 0;
}

std::vector<float> TestSoundServer::hear(const std::string& sink, double seconds) {
    const std::string path = folder_ + "/" + sink + ".raw";
    // timeout ends parec, with a status of its own.
    [[maybe_unused]] const int ended =
        std::system(("timeout " + std::to_string(seconds) +
                     " parec --raw --format=float32le --rate=48000 --channels=1 -d " + sink +
                     ".monitor >" + path + " 2>/dev/null")
                        .c_str());
    std::ifstream in(path, std::ios::binary);
    std::vector<float> samples;
    float sample = 0;
    while (in.read(reinterpret_cast<char*>(&sample), sizeof sample)) samples.push_back(sample);
    return samples;
}

int TestSoundServer::modulesWith(const std::string& text) {
    const std::string path = folder_ + "/modules";
    if (std::system(("pactl list short modules >" + path).c_str()) != 0) return -1;
    std::ifstream in(path);
    int found = 0;
    for (std::string line; std::getline(in, line);)
        if (line.find(text) != std::string::npos) ++found;
    return found;
}

void TestSoundServer::kill() {
    end(server_, SIGKILL);
    server_ = -1;
}

void TestSoundServer::play(int hertz, bool fromChild, const std::string& sink, long claimedPid) {
    // Ten seconds of the tone, raw 48 kHz mono floats at a third of full scale.
    const std::string path = folder_ + "/tone" + std::to_string(hertz) + ".raw";
    if (!std::filesystem::exists(path)) {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 48000 * 10; ++i) {
            const float sample = float(std::sin(2 * std::numbers::pi * hertz * i / 48000.0) / 3);
            out.write(reinterpret_cast<const char*>(&sample), sizeof sample);
        }
    }
    std::string pacat =
        "pacat --playback --raw --format=float32le --rate=48000 --channels=1 --latency-msec=200 ";
    if (!sink.empty()) pacat += "-d " + sink + " ";
    if (claimedPid)
        pacat += "--property=application.process.id=" + std::to_string(claimedPid) + " ";
    pacat += path + " 2>/dev/null";
    players_.push_back(fromChild ? spawn({"sh", "-c", "exec " + pacat})
                                 : spawn({"sh", "-c", pacat + " & wait"}));
}

pid_t TestSoundServer::spawn(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot run " + command[0]);
    return pid;
}

}  // namespace recorder_test
