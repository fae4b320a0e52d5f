#pragma once
// A private PulseAudio server for a test: null sinks "speakers" (the
// default) and "headphones", a microphone (the default source: the monitor of a null sink
// "voice" that another program plays a tone into), and a runtime folder of
// its own; PULSE_SERVER points this process and its children at it.

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

    // Plays a sine tone to the speakers: from a child of this process (as the
    // client's web processes are), or from a process of another program (a
    // child of a shell, not of this process).
    void play(int hertz, bool fromChild, const std::string& sink = "speakers");
    // Moves every stream playing to the speakers to another sink ("headphones",
    // "voice"), as a person who plugs in headphones does; false when none moved.
    bool moveSpeakersStreams(const std::string& sink);
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
