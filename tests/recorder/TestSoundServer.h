#pragma once
// A private PulseAudio server for a test: null sinks "speakers" (the
// default) and "headphones", a microphone "mic" (the default source: a source
// that passes on the monitor of a null sink "voice" that another program
// plays a tone into), and a runtime folder of its own; PULSE_SERVER points
// this process and its children at it.

#include <sys/types.h>

#include <string>
#include <vector>

namespace recorder_test {

class TestSoundServer {
public:
    // Starts the server and the microphone's tone, and waits up to 15 s until
    // sound flows; throws std::runtime_error when it does not.
    explicit TestSoundServer(int micHertz);
    ~TestSoundServer();  // ends the players and the server
    TestSoundServer(const TestSoundServer&) = delete;
    TestSoundServer& operator=(const TestSoundServer&) = delete;

    // Whether the programs the server needs are installed.
    static bool available();

    // Plays a sine tone into a sink (none: where PULSE_SINK says, else the
    // default): from a child of this process (as the client's web processes
    // are), or from a process of another program (a child of a shell, not of
    // this process), which may claim another process id as its own.
    void play(int hertz, bool fromChild, const std::string& sink = "speakers", long claimedPid = 0);
    // Moves every stream playing into one sink to another ("headphones",
    // "voice"), as a person who chooses other speakers does; false when none moved.
    bool moveStreams(const std::string& from, const std::string& to);
    // What a sink's monitor carries for the next `seconds` (mono, 48 kHz).
    std::vector<float> hear(const std::string& sink, double seconds);
    // The modules loaded whose arguments hold `text`.
    int modulesWith(const std::string& text);
    // Ends the server at once, as a crash would.
    void kill();

private:
    pid_t spawn(const std::vector<std::string>& command);

    std::string folder_;
    std::string oldRuntime_;
    pid_t server_ = -1;
    std::vector<pid_t> players_;
};

}  // namespace recorder_test
