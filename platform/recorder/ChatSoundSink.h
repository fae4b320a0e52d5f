#pragma once
// The chat's own sink on the sound server: a null sink with a name no one
// else uses, whose sound a loopback passes on to the default sink, so the
// person hears the chat as before. The web processes play into it (PULSE_SINK
// is set for the processes started after it is made), and a recording takes
// the chat's sound from its monitor. What a stream says of itself (its
// process id, its program's name) is the stream's own claim, which any
// program can make; which sink it plays into is decided by the client.
//
// Both modules carry this process's id in their arguments: a start removes
// the ones left by runs that ended without removing theirs (a crash), and
// the sink's end removes its own.
//
// Threading: made and destroyed on one thread, which it blocks for at most
// the time limit given; it keeps no connection open in between.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace recorder {

class ChatSoundSink {
public:
    // Connects to the server named by the environment (without spawning
    // one), removes stale modules, loads the sink and the loopback and sets
    // PULSE_SINK. Throws support::Failure with the reason when the server
    // cannot be reached in `limit` or a module cannot be loaded; nothing is
    // left behind then.
    static std::unique_ptr<ChatSoundSink> create(
        std::chrono::milliseconds limit = std::chrono::milliseconds(2000));
    // Unloads both modules and unsets PULSE_SINK; a failure is logged.
    ~ChatSoundSink();
    ChatSoundSink(const ChatSoundSink&) = delete;
    ChatSoundSink& operator=(const ChatSoundSink&) = delete;

    // The sink's name (its monitor is name + ".monitor").
    const std::string& name() const { return name_; }

    // The prefix of every chat sink's name; the process id and a random
    // part follow.
    static constexpr const char* kPrefix = "whirligigcam_chat_";
    // How long the loopback holds the chat's sound before the speakers get it.
    static constexpr int kLoopbackLatencyMs = 40;

private:
    ChatSoundSink(std::string name, std::uint32_t sinkModule, std::uint32_t loopbackModule,
                  std::chrono::milliseconds limit)
        : name_(std::move(name)),
          sinkModule_(sinkModule),
          loopbackModule_(loopbackModule),
          limit_(limit) {}

    std::string name_;
    std::uint32_t sinkModule_;
    std::uint32_t loopbackModule_;
    std::chrono::milliseconds limit_;
};

}  // namespace recorder
