// Calls in the chat page, both ends in the same page (two connections
// through the call helper, on loopback): the time from createOffer to the
// first remote frame shown in a <video>, the glass-to-glass latency of the
// picture (the sender's clock drawn into the frame as 20 black or white
// blocks, read back from the shown frame), and the helper's CPU during the
// call, with a 640x480 picture (or the size given) at 30 fps. Three rounds, each in a fresh window.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" scripts/with-wm build/bench/gtk/gtk_call_bench

#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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
  b.ontrack = e => { v.srcObject = e.streams[0] || new MediaStream([e.track]); v.play(); };
  const start = performance.now();
  const offer = await a.createOffer();
  await a.setLocalDescription(offer); await b.setRemoteDescription(offer);
  await b.setLocalDescription(); await a.setRemoteDescription(b.localDescription);
  await new Promise(r => { const check = () => v.videoWidth ? r() : requestAnimationFrame(check); check(); });
  window.setup = performance.now() - start;
  window.probe = () => b.getStats().then(r => { let d = 0; r.forEach(s => { if (s.type === 'inbound-rtp') d += s.framesDecoded || 0; }); window.probed = d + ' decoded, ' + (v.getVideoPlaybackQuality ? v.getVideoPlaybackQuality().totalVideoFrames : -1) + ' shown, ' + v.currentTime.toFixed(1) + ' s, paused ' + v.paused; });
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
call().catch(e => window.failed = String(e));
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

void round(int number, int width, int height) {
    site::SiteServer site;
    site.setLogging(false);
    std::string script = kCall;
    script.replace(script.find("%W%"), 3, std::to_string(width));
    script.replace(script.find("%H%"), 3, std::to_string(height));
    site.setChatPage(site::SiteServer::defaultChatPage() + script);
    guitest::Harness h(WHIRLIGIG_APP_FOLDER);
    h.host().setCallHelper(WHIRLIGIG_CALL_HELPER);
    const support::Settings settings{site.address("/update/"), site.address("/"),
                                 site.address("/stats/index.html"),
                                 site.address("/my_videos_upload")};
    h.host().setChatSite(settings.chatStartAddress);
    app::Main main(h.host(), settings);
    h.host().start();
    auto chat = [&](const std::string& script) {
        return guitest::pageEval(h.webView(h.host().WB()), script);
    };
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
    std::vector<double> latencies;
    const std::string list = chat("latencies.join(' ')");
    for (const char* at = list.c_str(); *at;) {
        char* next = nullptr;
        latencies.push_back(std::strtod(at, &next));
        if (next == at) break;
        at = next;
    }
    std::printf(
        "%dx%d round %d: setup %s ms; glass to glass p50 %.0f ms, p95 %.0f ms (%zu frames); helper "
        "CPU "
        "%.1f %% of a core\n",
        width, height, number, chat("setup.toFixed(0)").c_str(), percentile(latencies, 0.5),
        percentile(latencies, 0.95), latencies.size(), 100 * (cpuOf(helper) - cpuBefore) / seconds);
}

}  // namespace

int main(int argc, char** argv) {
    gtkui::chooseWebRenderer();
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "needs an X11 display\n");
        return 1;
    }
    // WIDTHxHEIGHT as the first argument; 640x480 by default.
    int width = 640, height = 480;
    if (argc > 1) std::sscanf(argv[1], "%dx%d", &width, &height);
    for (int i = 1; i <= 3; ++i) round(i, width, height);
    std::printf("targets: setup 1000 ms or less, glass to glass p50 150 ms or less\n");
}
