// What the chat view gives the chat site and no other: camera and microphone
// (WebKit's simulated devices here), with the engine's own refusal of frames
// from other sites.

#include <gtest/gtest.h>

#include <string>

#include "RoadFixture.h"
#include "SoundServer.h"
#include "platform/gtk/ChatSitePermissions.h"

namespace guitest {
namespace {

// A page that asks for camera and microphone and keeps, and tells its parent, what it got.
const char* kAsking =
    "<!DOCTYPE html><script>navigator.mediaDevices.getUserMedia({video: true, audio: true})"
    ".then(() => 'live', e => e.name).then(got => { window.got = got;"
    " parent.postMessage(got, '*'); });</script>";

TEST_F(RoadTest, TheChatSiteGetsCameraAndMicrophoneAndOtherSitesDoNot) {
    h.host().useMockCaptureDevices();
    site::SiteServer other;
    other.setLogging(false);
    other.addRoute("/ask", kAsking);
    // Another host: 127.0.0.1 on another port would be the same site.
    const std::string asking = "http://localhost:" + std::to_string(other.port()) + "/ask";
    site.addRoute("/framed",
                  "<!DOCTYPE html><script>addEventListener('message', e => {"
                  " window.frameGot = e.data; });</script><iframe src='" +
                      asking + "'></iframe>");
    start();
    ASSERT_TRUE(prepared());
    ASSERT_TRUE(waitFor([&] { return chat("window.selfView || ''") == "live"; }))
        << chat("window.selfView");
    EXPECT_EQ(chat("document.getElementById('selfview').srcObject.getTracks()"
                   ".map(t => t.kind + ':' + t.readyState).sort().join()"),
              "audio:live,video:live");
    // A picture drawn from the camera is not black.
    EXPECT_TRUE(waitFor([&] {
        return chat(
                   "(v => { const c = document.createElement('canvas'); c.width = c.height = 8;"
                   " const g = c.getContext('2d'); g.drawImage(v, 0, 0, 8, 8);"
                   " return g.getImageData(0, 0, 8, 8).data.some((b, i) => i % 4 !== 3 && b > 0);"
                   " })(document.getElementById('selfview'))") == "true";
    }));

    // A frame of another site on the chat site's page, then another site's page itself.
    chat("(location.href = '/framed', 1)");
    // Read in the page that asked: while the view navigates, a read may answer an error.
    EXPECT_TRUE(waitFor([&] { return chat("window.frameGot || ''") == "NotAllowedError"; }))
        << chat("window.frameGot");
    chat("(location.href = '" + asking + "', 1)");
    EXPECT_TRUE(waitFor([&] { return chat("window.got || ''") == "NotAllowedError"; }))
        << chat("window.got");
}

// A tone that a page starts by itself, as a ringing call would.
std::string tone(int frequency) {
    return "<script>window.tone = new AudioContext(); const o = tone.createOscillator();"
           " const g = tone.createGain(); o.frequency.value = " +
           std::to_string(frequency) +
           "; g.gain.value = 0.3; o.connect(g); g.connect(tone.destination); o.start();</script>";
}

TEST_F(RoadTest, TheChatIsHeardWithoutAClickAndTheStatisticsPageNever) {
    SoundServer sound;
    ASSERT_TRUE(sound.running()) << "no private PulseAudio server";
    site.setChatPage(site::SiteServer::defaultChatPage() + tone(440));
    site.addRoute("/stats/index.html", "<!DOCTYPE html><p>statistics</p>" + tone(1000));
    start();
    ASSERT_TRUE(prepared());
    ASSERT_TRUE(waitFor([&] { return chat("window.tone.state") == "running"; }));
    ASSERT_TRUE(
        waitFor([&] { return pageEval(h.webView(h.host().wbstat()), "!!window.tone") == "true"; }));
    const std::vector<short> heard = sound.record(1.5);
    ASSERT_GT(heard.size(), 48000u);
    const double chatTone = tonePower(heard, 440), statsTone = tonePower(heard, 1000);
    EXPECT_GT(chatTone, 0.01) << "the chat's tone is not heard";
    EXPECT_LT(statsTone, chatTone / 1000) << "the statistics page is heard";
}

TEST(ChatSite, IsTheSameSchemeAndRegistrableDomain) {
    const std::string chat = "https://chat.example.com/lobby";
    struct Case {
        const char* page;
        bool same;
    } cases[] = {
        {"https://www.example.com/x", true},
        {"https://example.com", true},
        {"http://chat.example.com/", false},
        {"https://example.com.evil.org/", false},
        {"https://evil-example.com/", false},
        {"about:blank", false},
        {"", false},
        {"https://user@chat.example.com/", true},
    };
    for (const auto& c : cases) EXPECT_EQ(gtkui::sameSite(c.page, chat), c.same) << c.page;
    // A public suffix is not a site; hosts without a registrable domain must be equal.
    EXPECT_FALSE(gtkui::sameSite("https://a.co.uk/", "https://b.co.uk/"));
    EXPECT_TRUE(gtkui::sameSite("https://x.b.co.uk/", "https://y.b.co.uk/"));
    EXPECT_TRUE(gtkui::sameSite("http://127.0.0.1:1/", "http://127.0.0.1:2/"));
    EXPECT_FALSE(gtkui::sameSite("http://127.0.0.1/", "http://localhost/"));
}

}  // namespace
}  // namespace guitest
