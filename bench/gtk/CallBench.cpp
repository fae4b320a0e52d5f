// Calls in the chat page, both ends in the same page (two connections
// through the call helper, on loopback): the time from createOffer to the
// first remote frame shown in a <video>, the glass-to-glass latency of the
// picture (the sender's clock drawn into the frame as 20 black or white
// blocks, read back from the shown frame), and the helper's CPU during the
// call, with a 640x480 picture (or the size given) at 30 fps. Three rounds, each in a fresh window,
// each call started once the client has prepared the chat page and the page has opened the
// camera, as a chat site does before a call, with the time of each stage of the setup; then a
// fourth, cold round without the camera, where the helper starts with the first connection. Then
// the CPU of a two-way call of that size with Chromium (headless) as the far end: the client's
// processes (this process, its web processes and the call helper) beside Chromium's processes, over
// the same ten seconds.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" scripts/with-wm build/bench/gtk/gtk_call_bench

#include <glib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "CallPeers.h"
#include "ProcessShares.h"
#include "SiteSettings.h"
#include "TestSupport.h"
#include "app/Main.h"
#include "demo/SiteServer.h"
#include "platform/gtk/CallBridge.h"
#include "platform/gtk/WebRenderer.h"

namespace {

constexpr const char* kCall = R"JS(<script>
async function call() {
  const W = %W%, H = %H%, B = W / 10;
  const a = new RTCPeerConnection(), b = new RTCPeerConnection(), c = document.createElement('canvas');
  c.width = W; c.height = H;
  const g = c.getContext('2d');
  const draw = () => {
    const t = Math.round(performance.now()) & 0xfffff;
    g.fillStyle = '#808080'; g.fillRect(0, 0, W, H);
    for (let i = 0; i < 20; i++) { g.fillStyle = (t >> i) & 1 ? '#fff' : '#000'; g.fillRect((i % 10) * B, Math.floor(i / 10) * B, B, B); }
  };
  draw(); setInterval(draw, 33);
  a.addTrack(c.captureStream(30).getVideoTracks()[0]);
  a.onicecandidate = e => b.addIceCandidate(e.candidate);
  b.onicecandidate = e => a.addIceCandidate(e.candidate);
  const v = document.createElement('video');
  // On screen: an engine may hold back a muted video that is not.
  v.muted = true; v.autoplay = true; v.style.cssText = 'position: fixed; left: 0; top: 0'; document.body.appendChild(v);
  // Each stage of the setup, the first time it is reached, in ms from createOffer.
  const start = performance.now(), stages = {};
  const at = name => { if (!(name in stages)) stages[name] = Math.round(performance.now() - start); };
  a.onicegatheringstatechange = () => a.iceGatheringState === 'complete' && at('gathered');
  a.oniceconnectionstatechange = () => /connected|completed/.test(a.iceConnectionState) && at('ICE');
  a.onconnectionstatechange = () => a.connectionState === 'connected' && at('DTLS');
  b.onconnectionstatechange = () => b.connectionState === 'connected' && at('far DTLS');
  b.ontrack = e => { at('track'); v.srcObject = e.streams[0] || new MediaStream([e.track]); v.play(); };
  v.onloadedmetadata = () => at('size known');
  v.onloadeddata = () => at('video element has a frame');
  // What the statistics say meanwhile: the first packets out and in, the first frame decoded.
  const poll = setInterval(() => {
    a.getStats().then(r => r.forEach(s => s.type === 'outbound-rtp' && s.bytesSent > 0 && at('first sent')));
    b.getStats().then(r => r.forEach(s => {
      if (s.type === 'inbound-rtp' && s.bytesReceived > 0) at('first received');
      if (s.type === 'inbound-rtp' && s.framesDecoded > 0) at('first decoded');
    }));
  }, 20);
  const offer = await a.createOffer();
  at('offer');
  await a.setLocalDescription(offer); await b.setRemoteDescription(offer);
  await b.setLocalDescription(); await a.setRemoteDescription(b.localDescription);
  at('descriptions');
  // The remote <video> may show a blank picture before the first frame is decoded.
  await new Promise(r => { const check = () => v.videoWidth && 'first decoded' in stages ? r() : requestAnimationFrame(check); check(); });
  at('painted');
  window.setup = performance.now() - start;
  // Read after the call has run a while: events and statistics may come after the paint.
  window.stagesSoFar = () => Object.entries(stages).sort((x, y) => x[1] - y[1]).map(e => e[0] + ' ' + e[1]).join(', ');
  window.probe = () => (clearInterval(poll), b.getStats()).then(r => { let d = 0; r.forEach(s => { if (s.type === 'inbound-rtp') d += s.framesDecoded || 0; }); window.probed = d + ' decoded, ' + (v.getVideoPlaybackQuality ? v.getVideoPlaybackQuality().totalVideoFrames : -1) + ' shown, ' + v.currentTime.toFixed(1) + ' s, paused ' + v.paused; });
  const r = document.createElement('canvas'); r.width = W; r.height = 2 * B;
  const rg = r.getContext('2d', { willReadFrequently: true });
  window.latencies = [];
  let last = -1;
  const read = () => {
    rg.drawImage(v, 0, 0);
    const px = rg.getImageData(0, 0, W, 2 * B).data;
    let t = 0;
    for (let i = 0; i < 20; i++) {
      const x = (i % 10) * B + B / 2, y = Math.floor(i / 10) * B + B / 2;
      if (px[(y * W + x) * 4] > 128) t |= 1 << i;
    }
    const late = ((Math.round(performance.now()) & 0xfffff) - t + 0x100000) & 0xfffff;
    if (t !== last && late < 5000) latencies.push(late);
    last = t;
    if (latencies.length < 150) requestAnimationFrame(read);
  };
  read();
}
window.startCall = () => call().catch(e => window.failed = String(e));
</script>)JS";

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * values.size()))];
}

// User and system time of a process, in seconds.
double cpuOf(GPid pid) {
    g_autofree gchar* stat = nullptr;
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    if (!g_file_get_contents(path.c_str(), &stat, nullptr, nullptr)) return 0;
    const char* end = strrchr(stat, ')');
    unsigned long user = 0, system = 0;
    if (!end ||
        sscanf(end + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system) != 2)
        return 0;
    return static_cast<double>(user + system) / sysconf(_SC_CLK_TCK);
}

// The client, with the call helper, started on a site's chat page.
struct CallClient {
    CallClient(const site::SiteServer& site, bool camera) {
        h.host().setCallHelper(WHIRLIGIG_CALL_HELPER);
        if (camera) h.host().useMockCaptureDevices();
        const support::Settings settings = guitest::siteSettings(site);
        h.host().setChatSite(settings.chatStartAddress);
        main = std::make_unique<app::Main>(h.host(), settings);
        h.host().start();
    }
    std::string chat(const std::string& script) {
        return guitest::pageEval(h.webView(h.host().WB()), script);
    }

    guitest::Harness h{WHIRLIGIG_APP_FOLDER};
    std::unique_ptr<app::Main> main;
};

// camera: the chat page has a camera to open before the call, as a chat site
// does; without one the call helper starts with the first connection.
void round(int number, int width, int height, bool camera) {
    site::SiteServer site;
    site.setLogging(false);
    std::string script = kCall;
    script.replace(script.find("%W%"), 3, std::to_string(width));
    script.replace(script.find("%H%"), 3, std::to_string(height));
    site.setChatPage(site::SiteServer::defaultChatPage() + script);
    CallClient client(site, camera);
    guitest::Harness& h = client.h;
    auto chat = [&](const std::string& script) { return client.chat(script); };
    // The call starts once the client has prepared the chat page and settled, as
    // when a person clicks a site's Call button.
    if (!guitest::waitFor([&] { return chat("!!document.getElementById('whirligig')") == "true"; },
                          60000)) {
        std::printf("round %d: the chat page was not prepared\n", number);
        return;
    }
    // The demo chat page opens the camera as it loads; the client then starts the call helper.
    if (camera &&
        !guitest::waitFor(
            [&] { return h.host().calls() && h.host().calls()->helperProcess() != 0; }, 20000)) {
        std::printf("round %d: the camera did not start the call helper\n", number);
        return;
    }
    bench::quietWait(2000);
    chat("startCall(), 1");
    if (!guitest::waitFor([&] { return chat("String(window.setup || window.failed || '')") != ""; },
                          60000) ||
        chat("String(window.failed || '')") != "") {
        std::printf("round %d: no call (%s)\n", number, chat("String(window.failed)").c_str());
        return;
    }
    const GPid helper = h.host().calls() ? h.host().calls()->helperProcess() : 0;
    const double cpuBefore = cpuOf(helper);
    const gint64 before = g_get_monotonic_time();
    guitest::waitFor([&] { return chat("latencies.length >= 150") == "true"; }, 20000);
    const double seconds = (g_get_monotonic_time() - before) / 1e6;
    chat("probe(), 1");
    guitest::waitFor([&] { return chat("String(window.probed || '')") != ""; });
    std::printf("round %d: %s\n", number, chat("window.probed").c_str());
    std::printf("round %d stages (ms from createOffer): %s\n", number,
                chat("stagesSoFar()").c_str());
    std::vector<double> latencies;
    const std::string list = chat("latencies.join(' ')");
    for (const char* at = list.c_str(); *at;) {
        char* next = nullptr;
        latencies.push_back(std::strtod(at, &next));
        if (next == at) break;
        at = next;
    }
    std::printf(
        "%dx%d round %d (%s): setup %s ms; glass to glass p50 %.0f ms, p95 %.0f ms (%zu frames); "
        "helper CPU %.1f %% of a core\n",
        width, height, number, camera ? "camera open first" : "cold",
        chat("setup.toFixed(0)").c_str(), percentile(latencies, 0.5), percentile(latencies, 0.95),
        latencies.size(), 100 * (cpuOf(helper) - cpuBefore) / seconds);
}

// User and system time of each process, in seconds.
std::map<int, double> cpuOfEach(const std::set<int>& processes) {
    std::map<int, double> seconds;
    for (int pid : processes) seconds[pid] = cpuOf(pid);
    return seconds;
}

// The processes' total share of a core between two readings, and "name share,
// ..." of each.
double shareOf(const std::map<int, double>& before, const std::map<int, double>& after,
               double seconds, std::string& each) {
    double total = 0;
    for (const auto& [pid, then] : before) {
        const auto found = after.find(pid);
        const double share = found == after.end() ? 0 : 100 * (found->second - then) / seconds;
        total += share;
        g_autofree gchar* name = nullptr;
        g_file_get_contents(("/proc/" + std::to_string(pid) + "/comm").c_str(), &name, nullptr,
                            nullptr);
        if (name) g_strchomp(name);
        if (share >= 0.5)
            each += (each.empty() ? "" : ", ") + std::string(name ? name : "?") + " " +
                    std::to_string(static_cast<int>(share + 0.5));
    }
    return total;
}

// Both sides' CPU over ten seconds: each one's share of a core, and of each of its processes.
struct Shares {
    double client = 0, chromium = 0;
    std::string clientEach, chromiumEach;
};
Shares measureBoth(GPid chromiumRoot) {
    const std::set<int> client = bench::processTree(getpid(), {chromiumRoot});
    const std::set<int> chromium =
        chromiumRoot > 0 ? bench::processTree(chromiumRoot) : std::set<int>{};
    const auto clientBefore = cpuOfEach(client), chromiumBefore = cpuOfEach(chromium);
    const gint64 before = g_get_monotonic_time();
    bench::quietWait(10000);
    const double seconds = (g_get_monotonic_time() - before) / 1e6;
    Shares shares;
    shares.client = shareOf(clientBefore, cpuOfEach(client), seconds, shares.clientEach);
    shares.chromium = shareOf(chromiumBefore, cpuOfEach(chromium), seconds, shares.chromiumEach);
    return shares;
}

// The client's CPU over Chromium's in a two-way call: {all of it, the call's
// part}, {-1, -1} when the call did not run. The client's chat page plays the
// chat's movie all along, which Chromium's page does not: the call's part is
// the client's CPU in the call less its CPU on the same page before the call.
std::pair<double, double> cpuBesideChromium(int width, int height) {
    if (!g_find_program_in_path("chromium"))
        return std::printf("CPU: no chromium\n"), std::pair(-1.0, -1.0);
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    guitest::Mailbox mailbox;
    site::SiteServer site;
    site.setLogging(false);
    site.setChatPage(site::SiteServer::defaultChatPage() + "<script>" + guitest::PeerScript +
                     "</script>");
    CallClient calling(site, false);
    auto chat = [&](const std::string& script) { return calling.chat(script); };
    if (!guitest::waitFor([&] { return chat("typeof runPeer") == "function"; }, 60000))
        return std::printf("CPU: the chat page did not load\n"), std::pair(-1.0, -1.0);
    // The chat page settled, its movie playing.
    if (!guitest::waitFor([&] { return chat("chatMovieReports.length > 0") == "true"; }, 60000))
        std::printf("CPU: the chat's movie did not start (measured anyway)\n");
    bench::quietWait(3000);
    const Shares before = measureBoth(-1);
    guitest::ChromiumPeer far(mailbox, "answer,media," + size);
    chat("runPeer('" + mailbox.base() + "', 'offer', 'chat', 'chromium', {colour: '#e02020', " +
         "hertz: 440, size: '" + size + "'}), 1");
    // Both sides show the other's picture at its size.
    std::string ours, theirs;
    const bool flowing = guitest::waitFor(
        [&] {
            for (const std::string& r : mailbox.take("media-chat")) ours = r;
            for (const std::string& r : mailbox.take("media-chromium")) theirs = r;
            const std::string want = "\"" + size + "\"";
            return ours.find(want) != std::string::npos && theirs.find(want) != std::string::npos;
        },
        60000);
    if (!flowing)
        return std::printf("CPU: no two-way call (%s | %s)\n", ours.c_str(), theirs.c_str()),
               std::pair(-1.0, -1.0);
    bench::quietWait(3000);
    const Shares call = measureBoth(far.pid());
    for (const std::string& r : mailbox.take("media-chat")) ours = r;
    for (const std::string& r : mailbox.take("media-chromium")) theirs = r;
    if (call.chromium <= 0) return std::pair(-1.0, -1.0);
    const double all = call.client / call.chromium,
                 callPart = (call.client - before.client) / call.chromium;
    std::printf(
        "two-way %s call at 30 fps, CPU over 10 s (%% of one core): client %.1f, Chromium %.1f, "
        "ratio %.2fx; the client before the call, its movie playing: %.1f, so the call's part "
        "%.1f, ratio %.2fx (target 1.5x or less)\nclient: %s\nclient before the call: %s\n"
        "Chromium: %s\nthe chat page received %s\nChromium received %s\n",
        size.c_str(), call.client, call.chromium, all, before.client, call.client - before.client,
        callPart, call.clientEach.c_str(), before.clientEach.c_str(), call.chromiumEach.c_str(),
        ours.c_str(), theirs.c_str());
    return {all, callPart};
}

// The helper's start with GStreamer and its look for the call's elements, as a
// process of its own: milliseconds of the quickest of three.
double helperStartMs() {
    double best = -1;
    for (int i = 0; i < 3; ++i) {
        const char* argv[] = {WHIRLIGIG_CALL_HELPER, "--missing-elements",
                              "webrtcbin",           "nicesrc",
                              "dtlssrtpenc",         "rtpvp8pay",
                              "rtpvp8depay",         "rtpopuspay",
                              "rtpopusdepay",        nullptr};
        const gint64 start = g_get_monotonic_time();
        if (!g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_STDOUT_TO_DEV_NULL,
                          nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
            return -1;
        const double ms = (g_get_monotonic_time() - start) / 1000.0;
        if (best < 0 || ms < best) best = ms;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    gtkui::chooseWebRenderer();
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "needs an X11 display\n");
        return 1;
    }
    // [WIDTHxHEIGHT] (640x480 by default) [--cpu: only the CPU beside Chromium].
    int width = 640, height = 480;
    bool cpuOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cpu") == 0)
            cpuOnly = true;
        else
            std::sscanf(argv[i], "%dx%d", &width, &height);
    }
    if (!cpuOnly) {
        std::printf("helper start with GStreamer and the look for its elements: %.0f ms\n",
                    helperStartMs());
        for (int i = 1; i <= 3; ++i) round(i, width, height, true);
        round(4, width, height, false);
    }
    // Three calls: the machine's other work moves single figures by a few points.
    std::vector<double> all, callPart;
    for (int i = 0; i < 3; ++i)
        if (const auto [whole, part] = cpuBesideChromium(width, height); whole > 0) {
            all.push_back(whole);
            callPart.push_back(part);
        }
    std::printf(
        "CPU, client over Chromium, median of %zu calls: %.2fx; the call's part (less the "
        "client's CPU before the call) %.2fx\n",
        all.size(), percentile(all, 0.5), percentile(callPart, 0.5));
    std::printf(
        "targets: setup 1000 ms or less, glass to glass p50 150 ms or less, CPU 1.5x "
        "Chromium's or less\n");
}
