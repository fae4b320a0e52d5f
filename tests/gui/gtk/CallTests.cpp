// Calls in the chat view on an engine without WebRTC: the chat page's own
// RTCPeerConnection against a real browser's, both ways round, and what the
// client refuses and survives.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "CallPeers.h"
#include "RoadFixture.h"
#include "SoundServer.h"
#include "platform/gtk/CallBridge.h"
#include "support/Log.h"

namespace guitest {
namespace {

std::vector<std::string> callLog;

class CallTest : public RoadTest {
protected:
    void SetUp() override {
        RoadTest::SetUp();
        h.host().setCallHelper(WHIRLIGIG_CALL_HELPER);
    }
    void startChat(const std::string& extra = {}) {
        site.setChatPage(site::SiteServer::defaultChatPage() + "<script>" + PeerScript +
                         "</script>" + extra);
        start();
        ASSERT_TRUE(prepared());
        ASSERT_TRUE(waitFor([&] { return chat("document.readyState") == "complete"; }));
    }
    // Runs statements in the chat page.
    std::string run(const std::string& statements) {
        return chat("(() => { " + statements + " })()");
    }
    GPid helper() {
        gtkui::CallBridge* calls = h.host().calls();
        return calls ? calls->helperProcess() : 0;
    }
    // Runs the peer in the chat page; the far end is Chromium.
    void call(const std::string& role) {
        chat("runPeer('" + mailbox.base() + "', '" + role + "', 'chat', 'chromium'), 1");
    }
    // What a side received over the data channel, once it has both messages.
    bool received(const std::string& side, const std::string& expected) {
        if (side == "chat") return chat("(window.got || []).join()") == expected;
        for (const std::string& each : mailbox.take("result-" + side)) results += each;
        return results == expected;
    }
    // The last report of what a side received: {decoded, colour, size, hertz}.
    std::string report(const std::string& side) {
        for (const std::string& each : mailbox.take("media-" + side)) reports[side] = each;
        return reports[side];
    }
    Mailbox mailbox;
    std::string results;
    std::map<std::string, std::string> reports;
};

// Whether a report shows the far end's moving picture (its colour within a codec's
// error) and its tone (hertz 0: any).
bool shows(const std::string& report, int r, int g, int b, int hertz, int minimumFrames = 10) {
    g_autoptr(JsonParser) parser = json_parser_new();
    if (report.empty() || !json_parser_load_from_data(parser, report.c_str(), -1, nullptr))
        return false;
    JsonObject* o = json_node_get_object(json_parser_get_root(parser));
    int seen[3] = {-1000, -1000, -1000};
    sscanf(json_object_get_string_member_with_default(o, "colour", ""), "%d,%d,%d", &seen[0],
           &seen[1], &seen[2]);
    const int want[3] = {r, g, b};
    for (int i = 0; i < 3; ++i)
        if (std::abs(seen[i] - want[i]) > 40) return false;
    return json_object_get_int_member_with_default(o, "decoded", 0) >= minimumFrames &&
           json_object_get_int_member_with_default(o, "shown", 0) >= minimumFrames &&
           (hertz == 0 ||
            std::abs(json_object_get_int_member_with_default(o, "hertz", 0) - hertz) < 30);
}

// The call helpers this process started, and the inodes of their sockets.
std::vector<GPid> helpers(std::vector<std::string>* sockets = nullptr) {
    std::vector<GPid> found;
    GDir* proc = g_dir_open("/proc", 0, nullptr);
    while (const char* name = proc ? g_dir_read_name(proc) : nullptr) {
        g_autofree gchar* stat = nullptr;
        const std::string folder = std::string("/proc/") + name;
        if (!g_ascii_isdigit(name[0]) ||
            !g_file_get_contents((folder + "/stat").c_str(), &stat, nullptr, nullptr))
            continue;
        const char* end = strrchr(stat, ')');
        int parent = 0;
        if (!strstr(stat, "(whirligigcam-ca") || !end || sscanf(end + 2, "%*c %d", &parent) != 1 ||
            parent != getpid())
            continue;
        found.push_back(std::atoi(name));
        GDir* fds = sockets ? g_dir_open((folder + "/fd").c_str(), 0, nullptr) : nullptr;
        while (const char* fd = fds ? g_dir_read_name(fds) : nullptr) {
            g_autofree gchar* target = g_file_read_link((folder + "/fd/" + fd).c_str(), nullptr);
            if (target && g_str_has_prefix(target, "socket:["))
                sockets->emplace_back(target + 8, strlen(target) - 9);
        }
        if (fds) g_dir_close(fds);
    }
    if (proc) g_dir_close(proc);
    return found;
}

// Whether a UDP socket of those inodes is still open anywhere.
bool anyUdpOf(const std::vector<std::string>& inodes) {
    for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
        g_autofree gchar* text = nullptr;
        if (!g_file_get_contents(table, &text, nullptr, nullptr)) continue;
        for (const std::string& inode : inodes)
            if (strstr(text, (" " + inode + " ").c_str())) return true;
    }
    return false;
}

TEST_F(CallTest, TheChatPageAndChromiumCallEachOtherBothWaysRound) {
    if (!g_find_program_in_path("chromium")) GTEST_SKIP() << "no chromium";
    const support::LogSink sink = support::logSink();
    support::setLogSink([](const support::LogRecord& r) {
        if (r.message.starts_with("calls: connection"))
            callLog.push_back((r.level == support::LogLevel::Info ? "info " : "other ") +
                              std::string(r.message));
    });
    startChat();
    ASSERT_EQ(chat("typeof RTCPeerConnection"), "function");
    for (const std::string role : {"offer", "answer"}) {
        SCOPED_TRACE("the chat page's role: " + role);
        mailbox.take("chat");
        mailbox.take("chromium");
        results.clear();
        ChromiumPeer far(mailbox, role == "offer" ? "answer" : "offer");
        ASSERT_TRUE(far.started());
        call(role);
        EXPECT_TRUE(waitFor([&] { return chat("pc.connectionState") == "connected"; }, 60000))
            << chat("pc.connectionState + ' ' + pc.iceConnectionState + ' ' + pc.signalingState");
        EXPECT_TRUE(waitFor([&] { return received("chat", "s:hello from chromium,b:1.2.3.8"); }))
            << chat("(window.got || []).join()");
        EXPECT_TRUE(waitFor([&] {
            return received("chromium", "[\"s:hello from chat\",\"b:1.2.3.4\"]");
        })) << results;
        chat("(location.reload(), 1)");
        // The new document: it has no connection yet.
        ASSERT_TRUE(
            waitFor([&] { return chat("typeof runPeer + typeof pc") == "functionundefined"; }));
    }
    support::setLogSink(sink);
    // Each call's start, the kind of the far end's address and its end are
    // told; descriptions and candidates, which carry addresses, only in detail.
    std::string infos;
    for (const std::string& line : callLog) {
        EXPECT_FALSE(line.starts_with("info") && line.find("a=candidate") != std::string::npos)
            << line;
        if (line.starts_with("info ")) infos += line.substr(5) + "\n";
    }
    for (const char* told :
         {"connection 1 started for http://127.0.0.1", "connection 1 connected; far end: host",
          "connection 1 ended (the page left)", "connection 2 started"})
        EXPECT_NE(infos.find(told), std::string::npos) << told << " is missing from\n" << infos;
}

TEST_F(CallTest, PictureAndSoundCrossBothWaysWithChromium) {
    if (!g_find_program_in_path("chromium")) GTEST_SKIP() << "no chromium";
    SoundServer sound;
    ASSERT_TRUE(sound.running()) << "no private PulseAudio server";
    startChat();
    for (const std::string role : {"offer", "answer"}) {
        SCOPED_TRACE("the chat page's role: " + role);
        // Nothing of the call before.
        for (const char* box : {"chat", "chromium", "media-chat", "media-chromium"})
            mailbox.take(box);
        reports.clear();
        ChromiumPeer far(mailbox, role == "offer" ? "answer,media" : "offer,media");
        ASSERT_TRUE(far.started());
        chat("runPeer('" + mailbox.base() + "', '" + role +
             "', 'chat', 'chromium', {colour: '#e02020', hertz: 440}), 1");
        // Chromium decodes the chat page's picture and hears its tone.
        EXPECT_TRUE(waitFor([&] { return shows(report("chromium"), 224, 32, 32, 440); }, 60000))
            << report("chromium");
        // The chat page's own <video> shows Chromium's picture at its size.
        EXPECT_TRUE(waitFor([&] { return shows(report("chat"), 32, 64, 224, 880); }, 30000))
            << report("chat");
        EXPECT_NE(report("chat").find("\"320x240\""), std::string::npos) << report("chat");
        // The statistics that sites read, in the standard's names (the far
        // end's reports come within seconds).
        const char* const entries[] = {
            "candidate-pair:currentRoundTripTime",
            "inbound-rtp:bytesReceived/packetsReceived/packetsLost/jitter/framesDecoded/"
            "framesPerSecond",
            "outbound-rtp:bytesSent/packetsSent", "remote-inbound-rtp:packetsLost"};
        std::string fields;
        EXPECT_TRUE(waitFor([&] {
            fields = chat("window.fields || ''");
            run("pc.getStats().then(r => { const seen = []; r.forEach(s => seen.push(s.type + ':' "
                "+ "
                "['bytesSent', 'bytesReceived', 'packetsSent', 'packetsReceived', 'packetsLost', "
                "'jitter', 'framesDecoded', 'framesPerSecond', 'currentRoundTripTime'].filter(f => "
                "f in s && s.kind !== 'audio').join('/'))); window.fields = seen.join(' '); });");
            for (const char* entry : entries)
                if (fields.find(entry) == std::string::npos) return false;
            return true;
        })) << fields;
        // Its sound plays in the client's sound stream.
        EXPECT_TRUE(waitFor([&] { return tonePower(sound.record(1.0), 880) > 1e-3; }, 20000))
            << "Chromium's tone is not heard";
        // The page leaves mid-call: within a second of its leaving (the new
        // document is there; the reload's own fetch does not count) its
        // helper and its UDP sockets are gone.
        std::vector<std::string> sockets;
        helpers(&sockets);
        ASSERT_TRUE(anyUdpOf(sockets)) << "the helper has no UDP socket to watch";
        chat("(location.reload(), 1)");
        ASSERT_TRUE(
            waitFor([&] { return chat("typeof runPeer + typeof pc") == "functionundefined"; }));
        EXPECT_TRUE(waitFor([&] { return helpers().empty() && !anyUdpOf(sockets); }, 1000));
    }
}

int framesIn(const std::string& report) {
    const size_t at = report.find("\"decoded\":");
    return at == std::string::npos ? -1 : std::atoi(report.c_str() + at + 10);
}

TEST_F(CallTest, ACameraTrackAddedMidCallArrivesAndReplaceTrackPausesIt) {
    if (!g_find_program_in_path("chromium")) GTEST_SKIP() << "no chromium";
    h.host().useMockCaptureDevices();
    startChat();
    ChromiumPeer far(mailbox, "answer,watch");
    ASSERT_TRUE(far.started());
    chat("runPeer('" + mailbox.base() + "', 'offer', 'chat', 'chromium', {watch: true}), 1");
    ASSERT_TRUE(
        waitFor([&] { return received("chat", "s:hello from chromium,b:1.2.3.8"); }, 60000));
    // The camera's track: the page negotiates again, and Chromium shows the
    // camera's picture (WebKit's simulated camera, not black).
    run("navigator.mediaDevices.getUserMedia({video: {width: 640, height: 480}})"
        ".then(s => window.sender = pc.addTrack(s.getVideoTracks()[0]));");
    ASSERT_TRUE(waitFor(
        [&] {
            const std::string seen = report("chromium");
            return framesIn(seen) > 10 && seen.find("\"640x480\"") != std::string::npos &&
                   seen.find("\"colour\":\"0,0,0\"") == std::string::npos;
        },
        30000))
        << report("chromium");
    // Chromium sends nothing back.
    EXPECT_EQ(chat("pc.getTransceivers().map(t => t.currentDirection).join()"), "sendonly");
    // No track: no frames, until the track is back.
    run("window.track = sender.track; sender.replaceTrack(null);");
    // Two reports over a second apart with the same count.
    int before = -2, paused = -1;
    gint64 sampled = 0;
    EXPECT_TRUE(waitFor(
        [&] {
            const int now = framesIn(report("chromium"));
            if (g_get_monotonic_time() - sampled < 1200000) return false;
            sampled = g_get_monotonic_time();
            const bool still = now == before;
            before = now;
            if (still) paused = now;
            return still;
        },
        30000))
        << report("chromium");
    EXPECT_EQ(chat("String(sender.track)"), "null");
    run("sender.replaceTrack(track);");
    EXPECT_TRUE(waitFor([&] { return framesIn(report("chromium")) > paused + 10; }, 30000))
        << report("chromium");
}

TEST_F(CallTest, TheCameraStartsTheHelperAheadOfTheFirstCallAndThePageTakesItAlong) {
    // The chat page opens the camera as it loads.
    h.host().useMockCaptureDevices();
    startChat();
    ASSERT_TRUE(waitFor([&] { return helpers().size() == 1; }, 20000));
    const GPid ahead = helpers().front();
    // The first call uses that helper.
    run("window.pc = new RTCPeerConnection(); pc.addTransceiver('video');"
        "pc.createOffer().then(o => window.offered = o.type);");
    ASSERT_TRUE(waitFor([&] { return chat("String(window.offered)") == "offer"; }));
    EXPECT_EQ(helpers(), std::vector<GPid>{ahead});
    // It goes with the page (the next document's camera starts its own).
    chat("(location.reload(), 1)");
    EXPECT_TRUE(waitFor([&] { return std::ranges::count(helpers(), ahead) == 0; }, 10000));
}

TEST_F(CallTest, TheHelperEndsWithThePageAndItsCrashFailsTheCall) {
    startChat();
    const std::string connect =
        "window.a = new RTCPeerConnection(); window.b = new RTCPeerConnection();"
        "a.onicecandidate = e => b.addIceCandidate(e.candidate);"
        "b.onicecandidate = e => a.addIceCandidate(e.candidate);"
        "window.ch = a.createDataChannel('x'); b.ondatachannel = e => window.far = e.channel;"
        "a.onconnectionstatechange = () => window.aState = a.connectionState;"
        "ch.onclose = () => window.channelClosed = true;"
        "a.setLocalDescription().then(() => b.setRemoteDescription(a.localDescription))"
        ".then(() => b.setLocalDescription()).then(() => "
        "a.setRemoteDescription(b.localDescription));";
    run(connect);
    ASSERT_TRUE(waitFor([&] { return chat("ch.readyState") == "open"; }, 20000)) << chat(
        "[a.signalingState, b.signalingState, a.iceGatheringState, a.iceConnectionState, "
        "b.iceConnectionState, a.connectionState, ch.readyState, window.far && "
        "far.readyState].join()");
    ASSERT_GT(helper(), 0);
    // The helper has no display and no session bus.
    gchar* environment = nullptr;
    gsize length = 0;
    const std::string environ = "/proc/" + std::to_string(helper()) + "/environ";
    ASSERT_TRUE(g_file_get_contents(environ.c_str(), &environment, &length, nullptr));
    const std::string variables(environment, length);
    g_free(environment);
    for (const char* name :
         {"DISPLAY=", "WAYLAND_DISPLAY=", "DBUS_SESSION_BUS_ADDRESS=", "XAUTHORITY="})
        EXPECT_EQ(variables.find(std::string("\0", 1) + name), std::string::npos) << name;
    EXPECT_FALSE(variables.starts_with("DISPLAY="));
    kill(helper(), SIGKILL);
    EXPECT_TRUE(waitFor([&] { return chat("window.aState") == "failed"; }));
    EXPECT_EQ(chat("window.channelClosed === true && ch.readyState"), "closed");
    // The window lives on, and new connections work with a new helper.
    run(connect);
    ASSERT_TRUE(waitFor([&] { return chat("ch.readyState") == "open"; }, 60000));
    const GPid pid = helper();
    ASSERT_GT(pid, 0);
    chat("(location.href = '/other', 1)");
    EXPECT_TRUE(waitFor([&] { return chat("location.pathname") == "/other"; }));
    EXPECT_TRUE(waitFor([&] { return kill(pid, 0) != 0; }, 1000)) << "the helper outlived its page";
}

TEST_F(CallTest, BadDescriptionsAndMessagesGetTheBrowsersErrors) {
    startChat();
    run("window.pc = new RTCPeerConnection(); window.errors = [];"
        "const note = p => p.then(() => errors.push('ok'), e => errors.push(e.name));"
        "note(pc.setRemoteDescription({type: 'offer', sdp: 'garbage'}))"
        ".then(() => note(pc.setRemoteDescription({type: 'answer', sdp: 'v=0\\r\\no=- 1 1 IN IP4 "
        "0.0.0.0\\r\\ns=-\\r\\nt=0 0\\r\\n'})))"
        ".then(() => note(pc.setRemoteDescription({type: 'offer', sdp: 'v=0\\r\\no=- 1 1 IN IP4 "
        "0.0.0.0\\r\\ns=-\\r\\nt=0 0\\r\\n' + 'a=x\\r\\n'.repeat(70000)})))"
        ".then(() => note(pc.addIceCandidate({candidate: 'candidate:1 1 udp 1 1.2.3.4 5 typ host', "
        "sdpMLineIndex: 0})))"
        ".then(() => note(pc.setLocalDescription({type: 'answer', sdp: 'v=0'})))"
        // Well formed on its face, but no description webrtcbin takes.
        ".then(() => note(pc.setRemoteDescription({type: 'offer', sdp: 'v=0\\r\\no=- 1 1 IN IP4 "
        "0.0.0.0\\r\\ns=-\\r\\nt=0 0\\r\\nm=video 9 UDP/TLS/RTP/SAVPF\\r\\n'})));"
        "try { pc.createDataChannel('x', {maxRetransmits: 1, maxPacketLifeTime: 1}); } catch (e) { "
        "errors.push(e.name); }"
        "try { pc.createDataChannel('x').send('early'); } catch (e) { errors.push(e.name); }"
        "try { for (let i = 0; i < 40; i++) new RTCPeerConnection(); } catch (e) { "
        "errors.push(e.name); }");
    EXPECT_TRUE(waitFor([&] { return chat("errors.length") == "9"; })) << chat("errors.join()");
    EXPECT_GT(helper(), 0) << "the helper did not survive the bad descriptions";
    EXPECT_EQ(chat("errors.join()"),
              "TypeError,InvalidStateError,UnknownError,OperationError,InvalidStateError,"
              "OperationError,InvalidStateError,InvalidStateError,OperationError");
}

TEST_F(CallTest, OnlyTheChatSitesFramesInTheChatViewGetCalls) {
    site::SiteServer other;
    other.setLogging(false);
    other.addRoute("/probe",
                   "<!DOCTYPE html><script>parent.postMessage(typeof RTCPeerConnection, '*');"
                   "</script>");
    const std::string foreign = "http://localhost:" + std::to_string(other.port());
    site.addRoute(
        "/framed",
        "<!DOCTYPE html><script>addEventListener('message', e => window.frameSaw = e.data);"
        "</script><iframe src='" +
            foreign + "/probe'></iframe>");
    site.addRoute("/stats/index.html", "<!DOCTYPE html><p>statistics</p>");
    startChat();
    EXPECT_EQ(chat("typeof RTCPeerConnection"), "function");
    ASSERT_TRUE(waitFor([&] {
        return pageEval(h.webView(h.host().wbstat()), "document.body ? 'up' : ''") == "up";
    }));
    EXPECT_EQ(pageEval(h.webView(h.host().wbstat()), "typeof RTCPeerConnection"), "undefined");
    chat("(location.href = '/framed', 1)");
    EXPECT_TRUE(waitFor([&] { return chat("window.frameSaw || ''") == "undefined"; }))
        << chat("window.frameSaw");
    chat("(location.href = '" + foreign + "/probe', 1)");
    EXPECT_TRUE(waitFor([&] { return chat("location.port") == std::to_string(other.port()); }));
    EXPECT_EQ(chat("typeof RTCPeerConnection"), "undefined");
}

TEST_F(CallTest, ThePagesMediaFailuresReachTheLog) {
    h.host().setCallHelper("/nonexistent/call-helper");
    const support::LogSink sink = support::logSink();
    callLog.clear();
    support::setLogSink([](const support::LogRecord& r) {
        if (r.message.starts_with("calls: in the page")) callLog.emplace_back(r.message);
    });
    startChat();
    // Without a helper the transceiver is never made.
    run("window.pc = new RTCPeerConnection(); pc.addTransceiver('video');");
    EXPECT_TRUE(waitFor([&] { return !callLog.empty(); }));
    support::setLogSink(sink);
    ASSERT_FALSE(callLog.empty());
    EXPECT_NE(callLog[0].find("a transceiver was not made"), std::string::npos) << callLog[0];
}

TEST_F(CallTest, WebCodecsFirstDoesNotEndTheChatPage) {
    // A decoder too: a far end's picture is decoded in the page, and on some
    // engines that needs a renderer of WebKit's the program must not switch off.
    site.addRoute("/codecs",
                  "<!DOCTYPE html><script>VideoEncoder.isConfigSupported({codec: 'vp8', width: 320,"
                  " height: 240}).then(r => { const d = new VideoDecoder({output: f => f.close(),"
                  " error: e => window.codec = e.name}); d.configure({codec: 'vp8'});"
                  " return d.flush().then(() => window.codec = r.supported + ' ' + d.state); },"
                  " e => window.codec = e.name);</script>");
    // The first page of the chat view's web process.
    start("/codecs");
    EXPECT_TRUE(waitFor([&] { return chat("window.codec || ''") == "true configured"; }))
        << chat("window.codec");
}

}  // namespace
}  // namespace guitest
