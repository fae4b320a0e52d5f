#pragma once
// The demo site's simulated friend on a call: a native WebRTC peer
// (GStreamer's webrtcbin) that sends a moving test picture with a clock drawn
// in it (640x480, 30 fps, VP8) and a tone (Opus), and takes what the page
// sends without showing or playing it.
//
// The friend makes the offer. Its messages (the description and its
// candidates, as JSON text) go out through send; the page's answer and
// candidates come in through take(). Everything it is given is untrusted.
// The pipeline lives as long as the object. Callbacks run on the thread of
// the default main context, where the object must be made and destroyed.

#include <json-glib/json-glib.h>

#include <functional>
#include <memory>
#include <string>

namespace site {

class DemoFriend {
public:
    // The tone's frequency.
    static constexpr int ToneHertz = 660;

    using Send = std::function<void(const std::string& json)>;
    // The call cannot go on (the reason); the owner then destroys the friend.
    using Ended = std::function<void(const std::string& why)>;
    // Lines for the site's log.
    using Log = std::function<void(const std::string& line)>;

    DemoFriend(Send send, Ended ended, Log log);
    ~DemoFriend();
    DemoFriend(const DemoFriend&) = delete;
    DemoFriend& operator=(const DemoFriend&) = delete;

    // Builds and plays the pipeline; the offer follows through send. False
    // with the reason when GStreamer or one of its elements is missing.
    bool start(std::string& error);
    // A message from the page: {"sdp": {"type": "answer", "sdp": "..."}} or
    // {"ice": {"candidate": "...", "sdpMLineIndex": N}} (kept until the answer
    // when it comes first; {"ice": null} ends the page's candidates). False
    // with the reason when it is refused.
    bool take(JsonObject* message, std::string& error);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace site
