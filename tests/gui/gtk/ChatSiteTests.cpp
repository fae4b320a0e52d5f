// What the chat view gives the chat site and no other: camera and microphone
// (WebKit's simulated devices here), also to frames of other sites that the
// chat page allows them, and notifications.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RoadFixture.h"
#include "SoundServer.h"
#include "platform/gtk/ChatNotifications.h"
#include "platform/gtk/ChatSitePermissions.h"
#include "support/Log.h"

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
    // Another host: the engine's own policy refuses a frame the page does not allow.
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

// A page that asks for camera and microphone every way a frame can: itself,
// through a blank frame of its own (made by script, reached by index), with
// the blank frame's function on its own devices, and for the list of devices.
const char* kAskingEveryWay =
    "<!DOCTYPE html><body><script>"
    "const camera = {video: true, audio: true};"
    "const ask = f => { try { return f().then(() => 'live', e => e.name); }"
    " catch (e) { return Promise.resolve(e.name); } };"
    "document.body.appendChild(document.createElement('iframe'));"
    "Promise.all([ask(() => navigator.mediaDevices.getUserMedia(camera)),"
    " ask(() => frames[0].navigator.mediaDevices.getUserMedia(camera)),"
    " ask(() => frames[0].MediaDevices.prototype.getUserMedia.call(navigator.mediaDevices, "
    "camera)),"
    " navigator.mediaDevices.enumerateDevices().then(d => String(d.length), e => e.name)])"
    ".then(got => parent.postMessage(got.join(), '*'));</script>";

TEST_F(RoadTest, FramesOfOtherSitesGetNoDevicesEvenWhenTheChatPageAllowsThem) {
    LogCapture log;
    h.host().useMockCaptureDevices();
    site::SiteServer other;
    other.setLogging(false);
    other.addRoute("/ask", kAskingEveryWay);
    const std::string origin = "http://localhost:" + std::to_string(other.port());
    site.addRoute("/framed",
                  "<!DOCTYPE html><script>addEventListener('message', e => {"
                  " window.frameGot = e.data; });</script><iframe allow='camera;microphone' src='" +
                      origin + "/ask'></iframe>");
    start("/framed");
    ASSERT_TRUE(prepared());
    EXPECT_TRUE(waitFor([&] { return chat("window.frameGot || ''") != ""; }));
    EXPECT_EQ(chat("window.frameGot"), "NotAllowedError,NotAllowedError,NotAllowedError,0");
    EXPECT_TRUE(log.has(origin + " refused")) << origin;
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

// The chat site's origin may notify from the start, as in the program; the
// statistics page is of that origin, in another view.
class NotifyingChatSite : public RoadTest {
protected:
    NotifyingChatSite() : RoadTest(gtkui::defaultPageMemoryLimitMB(), true) {}
};

TEST_F(NotifyingChatSite, OnlyTheChatViewsChatSiteShowsNotifications) {
    LogCapture log;
    start();
    ASSERT_TRUE(prepared());
    WebKitWebView* stats = nullptr;
    ASSERT_TRUE(waitFor([&] {
        stats = h.webView(h.host().wbstat());
        return stats && pageEval(stats, "location.pathname + document.readyState") ==
                            "/stats/index.htmlcomplete";
    }));
    ASSERT_TRUE(waitFor([&] { return pageEval(stats, "Notification.permission") == "granted"; }));
    pageEval(stats, "new Notification('from the statistics page'), 1");
    EXPECT_TRUE(waitFor([&] { return log.has("in the statistics view refused"); }));
}

TEST(ChatNotificationText, IsPlainTextOfBoundedLength) {
    struct Case {
        const char* text;
        std::size_t longest;
        bool body;
        std::string shown;
    } cases[] = {
        {"Ann\r\n\x1b[31mcalls\x7f\xc2\x85", 250, false, "Ann[31mcalls"},
        {"<a href=file:///etc/passwd>x</a> & <img src=y>", 1000, true,
         "&lt;a href=file:///etc/passwd&gt;x&lt;/a&gt; &amp; &lt;img src=y&gt;"},
        {"two\nlines\r", 1000, true, "two\nlines"},
        {"abcdef", 4, false, "abc…"},
        {"ab\xff", 4, false, "ab\xef\xbf\xbd"},
        {nullptr, 4, true, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gtkui::notificationText(c.text, c.longest, c.body, c.body), c.shown) << c.text;
    const std::string long_(300000, 'x');
    EXPECT_EQ(g_utf8_strlen(gtkui::notificationText(long_.c_str(), 250, false, false).c_str(), -1),
              250);
}

TEST(ChatNotificationPace, LetsAFewASecondThrough) {
    gtkui::NotificationPace pace;
    const gint64 second = G_USEC_PER_SEC;
    int taken = 0;
    for (int i = 0; i < 1000; ++i) taken += pace.take(i * 400);  // a burst of 0.4 s
    EXPECT_EQ(taken, gtkui::NotificationPace::PerSecond);
    EXPECT_EQ(pace.wait(400000), second - 400000);
    EXPECT_FALSE(pace.take(second - 1));
    EXPECT_TRUE(pace.take(second));
    EXPECT_EQ(pace.wait(10 * second), 0);
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
    // The port too, the scheme's default where none is written.
    EXPECT_FALSE(gtkui::sameSite("http://127.0.0.1:1/", "http://127.0.0.1:2/"));
    EXPECT_TRUE(gtkui::sameSite("https://chat.example.com:443/", chat));
    EXPECT_FALSE(gtkui::sameSite("https://chat.example.com:8443/", chat));
    EXPECT_FALSE(gtkui::sameSite("http://example.com/", "http://example.com:8080/"));
    EXPECT_FALSE(gtkui::sameSite("http://127.0.0.1/", "http://localhost/"));
}

}  // namespace
}  // namespace guitest
