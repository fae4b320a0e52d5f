// Calls from the demo chat page to the demo site's simulated friend, and what
// the site's call socket refuses.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RoadFixture.h"
#include "SoundServer.h"
#include "demo/CallSignalling.h"
#include "demo/DemoFriend.h"

namespace guitest {
namespace {

class DemoCallTest : public RoadTest {
protected:
    void SetUp() override {
        RoadTest::SetUp();
        h.host().setCallHelper(WHIRLIGIG_CALL_HELPER);
        h.host().useMockCaptureDevices();
    }
};

// How many of the test picture's seven bars show in the friend's <video>:
// colours that each cover over 2% of its upper half.
const char* const BarsSeen = R"JS((() => {
  const v = document.getElementById('friendview');
  if (!v || !v.videoWidth) return 0;
  const c = document.createElement('canvas');
  c.width = v.videoWidth; c.height = v.videoHeight;
  const g = c.getContext('2d');
  g.drawImage(v, 0, 0);
  const p = g.getImageData(0, 0, c.width, c.height / 2).data;
  const bars = [[255,255,255], [255,255,0], [0,255,255], [0,255,0], [255,0,255], [255,0,0], [0,0,255]];
  const counts = bars.map(() => 0);
  for (let i = 0; i < p.length; i += 4)
    bars.forEach((b, k) => { if (Math.abs(p[i] - b[0]) + Math.abs(p[i+1] - b[1]) + Math.abs(p[i+2] - b[2]) < 90) counts[k]++; });
  window.barCounts = counts.join(' ') + ' of ' + p.length / 4 + '; centres ' +
    bars.map((b, k) => Array.from(g.getImageData(Math.round((k + 0.5) * c.width / 7), 40, 1, 1).data.slice(0, 3)).join(',')).join(' ');
  return counts.filter(n => n > p.length / 4 * 0.02).length;
})())JS";

TEST_F(DemoCallTest, TheFriendsPictureAndToneArriveAndHangUpEndsItsPipeline) {
    SoundServer sound;
    ASSERT_TRUE(sound.running()) << "no private PulseAudio server";
    start();
    ASSERT_TRUE(prepared());
    ASSERT_TRUE(waitFor([&] { return chat("window.selfView || ''") == "live"; }))
        << chat("window.selfView");
    chat("(document.getElementById('whirly-call').click(), 1)");
    EXPECT_TRUE(waitFor([&] { return std::stoi("0" + chat(BarsSeen)) >= 5; }, 60000))
        << chat(BarsSeen) << " bars (" << chat("window.barCounts") << "); call state "
        << chat("window.callState");
    EXPECT_EQ(
        chat("(v => v.videoWidth + 'x' + v.videoHeight)(document.getElementById('friendview'))"),
        "640x480");
    EXPECT_EQ(chat("document.getElementById('whirly-call').textContent"), "Hang up");
    EXPECT_EQ(site.activeCalls(), 1);
    EXPECT_TRUE(waitFor(
        [&] { return tonePower(sound.record(1.0), site::DemoFriend::ToneHertz) > 1e-3; }, 20000))
        << "the friend's tone is not heard";
    chat("(document.getElementById('whirly-call').click(), 1)");
    EXPECT_TRUE(waitFor([&] { return site.activeCalls() == 0; }));
    EXPECT_EQ(chat("document.getElementById('whirly-call').textContent"), "Call");
}

// A socket to the site's friend from this process, as a page of the site (or
// of origin); none when the site refuses it.
SoupWebsocketConnection* openCallSocket(SoupSession* session, const std::string& site,
                                        const std::string& origin = {}) {
    struct Outcome {
        SoupWebsocketConnection* socket = nullptr;
        bool done = false;
    };
    // Left to the callback when it never comes.
    auto* outcome = new Outcome;
    g_autofree gchar* address =
        g_strdup_printf("ws%s%s", site.c_str() + 4, site::CallSignalling::SocketPath);
    g_autoptr(SoupMessage) request = soup_message_new("GET", address);
    soup_session_websocket_connect_async(
        session, request, origin.empty() ? site.c_str() : origin.c_str(), nullptr,
        G_PRIORITY_DEFAULT, nullptr,
        [](GObject* from, GAsyncResult* result, gpointer data) {
            auto* o = static_cast<Outcome*>(data);
            o->socket = soup_session_websocket_connect_finish(SOUP_SESSION(from), result, nullptr);
            o->done = true;
        },
        outcome);
    if (!waitFor([&] { return outcome->done; }, 10000)) return nullptr;
    SoupWebsocketConnection* socket = outcome->socket;
    delete outcome;
    return socket;
}

bool closed(SoupWebsocketConnection* socket) {
    return soup_websocket_connection_get_state(socket) == SOUP_WEBSOCKET_STATE_CLOSED;
}

TEST_F(DemoCallTest, TheCallSocketEndsCallsOnBadMessagesAndTakesFewAtOnce) {
    g_autoptr(SoupSession) session = soup_session_new();
    const std::string origin = site.address("");
    const std::string tooLong =
        "{\"sdp\": {\"type\": \"answer\", \"sdp\": \"" + std::string(70 * 1024, 'v') + "\"}}";
    const struct {
        const char* what;
        std::string message;
        int code;
    } cases[] = {
        {"not JSON", "{\"sdp\":", SOUP_WEBSOCKET_CLOSE_POLICY_VIOLATION},
        {"no object", "[1, 2]", SOUP_WEBSOCKET_CLOSE_POLICY_VIOLATION},
        {"an offer", R"({"sdp": {"type": "offer", "sdp": "v=0"}})",
         SOUP_WEBSOCKET_CLOSE_POLICY_VIOLATION},
        {"no description", R"({"sdp": {"type": "answer", "sdp": "garbage"}})",
         SOUP_WEBSOCKET_CLOSE_POLICY_VIOLATION},
        {"a number for a text", R"({"sdp": {"type": 7, "sdp": []}})",
         SOUP_WEBSOCKET_CLOSE_POLICY_VIOLATION},
        {"a candidate for no m-line",
         R"({"ice": {"candidate": "candidate:1", "sdpMLineIndex": 2}})",
         SOUP_WEBSOCKET_CLOSE_POLICY_VIOLATION},
        // The site drops the connection while the message still comes in.
        {"too long", tooLong, -1},
    };
    // Pages of other sites get no call.
    EXPECT_EQ(openCallSocket(session, origin, "http://localhost:1"), nullptr);
    EXPECT_EQ(site.activeCalls(), 0);
    for (const auto& each : cases) {
        SCOPED_TRACE(each.what);
        SoupWebsocketConnection* socket = openCallSocket(session, origin);
        ASSERT_NE(socket, nullptr);
        EXPECT_TRUE(waitFor([&] { return site.activeCalls() == 1; }));
        soup_websocket_connection_send_text(socket, each.message.c_str());
        EXPECT_TRUE(waitFor([&] { return closed(socket) && site.activeCalls() == 0; }));
        if (each.code >= 0) {
            EXPECT_EQ(soup_websocket_connection_get_close_code(socket), each.code);
        }
        g_object_unref(socket);
    }
    // Only a few calls at once: one more is refused, and a place comes free
    // when a call ends.
    std::vector<SoupWebsocketConnection*> calls;
    for (int i = 0; i <= site::CallSignalling::MaxCalls; ++i)
        calls.push_back(openCallSocket(session, origin));
    SoupWebsocketConnection* extra = calls.back();
    EXPECT_TRUE(waitFor([&] { return extra && closed(extra); }));
    EXPECT_EQ(soup_websocket_connection_get_close_code(extra), site::CallSignalling::BusyCode);
    EXPECT_EQ(site.activeCalls(), site::CallSignalling::MaxCalls);
    soup_websocket_connection_close(calls.front(), SOUP_WEBSOCKET_CLOSE_NORMAL, nullptr);
    EXPECT_TRUE(waitFor([&] { return site.activeCalls() == site::CallSignalling::MaxCalls - 1; }));
    for (SoupWebsocketConnection* socket : calls)
        if (socket) g_object_unref(socket);
}

}  // namespace
}  // namespace guitest
