#include "CallPeers.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace guitest {

const char* const PeerScript = R"JS(
// A peer's own media: a canvas track of one colour (320x240 unless a size
// "WxH" is given) and a tone.
function ownMedia(colour, hertz, size) {
  const canvas = document.createElement('canvas');
  const [w, h] = (size || '320x240').split('x').map(Number);
  canvas.width = w; canvas.height = h;
  const g = canvas.getContext('2d');
  let tick = 0;
  setInterval(() => { g.fillStyle = colour; g.fillRect(0, 0, w, h); g.fillStyle = '#808080'; g.fillRect(tick++ % (w - 20), 0, 4, 4); }, 33);
  const audio = new AudioContext(), tone = audio.createOscillator(), out = audio.createMediaStreamDestination();
  tone.frequency.value = hertz;
  tone.connect(out);
  tone.start();
  return new MediaStream([canvas.captureStream(30).getVideoTracks()[0], out.stream.getAudioTracks()[0]]);
}
// What arrived: frames decoded (the connection's statistics) and shown (the
// <video>), the mean colour of the far end's picture, its size and the
// loudest frequency heard.
async function received(pc) {
  let decoded = 0, soundIn = 0, soundOut = 0;
  (await pc.getStats()).forEach(s => {
    const kind = s.kind || s.mediaType;
    if (s.type === 'inbound-rtp' && kind === 'video') decoded += s.framesDecoded || 0;
    if (s.type === 'inbound-rtp' && kind === 'audio') soundIn += s.packetsReceived || 0;
    if (s.type === 'outbound-rtp' && kind === 'audio') soundOut += s.packetsSent || 0;
  });
  // Sound packets in and out tell a silent far end from a silent path.
  const video = document.getElementById('far'), report = { decoded, shown: 0, colour: '', size: '', hertz: 0, soundIn, soundOut };
  if (video) report.shown = video.getVideoPlaybackQuality().totalVideoFrames;
  if (video && video.videoWidth) {
    const c = document.createElement('canvas');
    c.width = video.videoWidth; c.height = video.videoHeight;
    const g = c.getContext('2d');
    g.drawImage(video, 0, 0);
    const pixels = g.getImageData(0, 0, c.width, c.height).data, mean = [0, 0, 0];
    for (let i = 0; i < pixels.length; i += 4) for (let k = 0; k < 3; k++) mean[k] += pixels[i + k] * 4 / pixels.length;
    report.colour = mean.map(Math.round).join(',');
    report.size = c.width + 'x' + c.height;
  }
  if (window.analyser) {
    const bins = new Float32Array(analyser.frequencyBinCount);
    analyser.getFloatFrequencyData(bins);
    let loudest = 0;
    bins.forEach((v, i) => { if (v > bins[loudest]) loudest = i; });
    report.hertz = Math.round(loudest * analyser.context.sampleRate / analyser.fftSize);
  }
  return report;
}
// The far end's picture plays in a <video>, its sound in an <audio> of its
// own (an engine may hand Web Audio a received track's sound only while an
// element plays it), where an analyser listens.
function play(e) {
  const kind = e.track.kind, id = kind === 'audio' ? 'far-sound' : 'far';
  let element = document.getElementById(id);
  if (!element) {
    element = document.createElement(kind);
    element.id = id; element.autoplay = true; element.playsInline = true;
    document.body.appendChild(element);
  }
  const stream = new MediaStream([e.track]);
  element.srcObject = stream;
  element.play().catch(() => {});
  if (kind === 'audio') {
    const context = new AudioContext();
    window.analyser = context.createAnalyser();
    analyser.fftSize = 4096;
    context.createMediaStreamSource(stream).connect(analyser);
  }
}
async function runPeer(base, role, me, them, media) {
  const pc = new RTCPeerConnection();
  window.pc = pc;
  window.got = [];
  const addMedia = () => { const stream = ownMedia(media.colour, media.hertz, media.size); stream.getTracks().forEach(t => pc.addTrack(t, stream)); };
  if (media) {
    pc.ontrack = play;
    setInterval(async () => post('media-' + me, await received(pc)), 500);
  }
  // A track added during the call: the offer goes out again.
  pc.onnegotiationneeded = async () => {
    if (pc.connectionState !== 'connected') return;
    await pc.setLocalDescription();
    post(them, { description: pc.localDescription });
  };
  // Messages reach the mailbox in the order they were sent, and candidates
  // that come before the description wait for it, as a site's signalling does.
  let sent = Promise.resolve();
  const post = (box, m) => (sent = sent.then(() => fetch(base + '/box/' + box, { method: 'POST', body: JSON.stringify(m) })));
  const early = [];
  pc.onicecandidate = e => post(them, { candidate: e.candidate });
  const use = channel => {
    window.channel = channel;
    channel.binaryType = 'arraybuffer';
    channel.onmessage = e => {
      got.push(typeof e.data === 'string' ? 's:' + e.data : 'b:' + new Uint8Array(e.data).join('.'));
      if (got.length === 2) post('result-' + me, got);
    };
    const greet = () => { channel.send('hello from ' + me); channel.send(new Uint8Array([1, 2, 3, me.length])); };
    if (channel.readyState === 'open') greet(); else channel.onopen = greet;
  };
  if (role === 'offer') {
    if (media && !media.watch) addMedia();
    use(pc.createDataChannel('chat'));
    await pc.setLocalDescription();
    post(them, { description: pc.localDescription });
  } else {
    pc.ondatachannel = e => use(e.channel);
  }
  for (;;) {
    const list = await (await fetch(base + '/box/' + me)).json();
    for (const m of list) {
      if (m.description) {
        await pc.setRemoteDescription(m.description);
        for (const c of early.splice(0)) await pc.addIceCandidate(c);
        if (m.description.type === 'offer') {
          if (media && !media.watch && !pc.getSenders().some(s => s.track)) addMedia();
          await pc.setLocalDescription();
          post(them, { description: pc.localDescription });
        }
      } else if ('candidate' in m) {
        if (pc.remoteDescription) await pc.addIceCandidate(m.candidate); else early.push(m.candidate);
      }
    }
    await new Promise(r => setTimeout(r, 20));
  }
}
)JS";

Mailbox::Mailbox() {
    server_ = soup_server_new(nullptr, nullptr);
    soup_server_add_handler(server_, nullptr, onRequest, this, nullptr);
    GError* error = nullptr;
    soup_server_listen_local(server_, 0, SOUP_SERVER_LISTEN_IPV4_ONLY, &error);
    g_clear_error(&error);
    GSList* uris = soup_server_get_uris(server_);
    if (uris) port_ = g_uri_get_port(static_cast<GUri*>(uris->data));
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
}

Mailbox::~Mailbox() {
    soup_server_disconnect(server_);
    g_object_unref(server_);
}

std::vector<std::string> Mailbox::take(const std::string& box) {
    std::vector<std::string> taken;
    taken.swap(boxes_[box]);
    return taken;
}

void Mailbox::onRequest(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*,
                        gpointer self) {
    auto* mailbox = static_cast<Mailbox*>(self);
    const std::string where = path;
    soup_message_headers_append(soup_server_message_get_response_headers(message),
                                "Access-Control-Allow-Origin", "*");
    std::string body, type = "application/json";
    if (where == "/peer.html") {
        type = "text/html";
        body = std::string("<!DOCTYPE html><script>") + PeerScript +
               "const [role, media, size] = location.hash.slice(1).split(',');"
               "runPeer(location.origin, role, 'chromium', 'chat', media && {colour: '#2040e0', "
               "hertz: 880, watch: media === 'watch', size});</script>";
    } else if (where.rfind("/box/", 0) == 0) {
        const std::string box = where.substr(5);
        if (std::string(soup_server_message_get_method(message)) == "POST") {
            SoupMessageBody* request = soup_server_message_get_request_body(message);
            mailbox->boxes_[box].emplace_back(request->data ? request->data : "",
                                              static_cast<size_t>(request->length));
            body = "{}";
        } else {
            body = "[";
            for (const std::string& each : mailbox->take(box))
                body += (body.size() > 1 ? "," : "") + each;
            body += "]";
        }
    }
    soup_server_message_set_status(message, body.empty() ? 404 : 200, nullptr);
    soup_server_message_set_response(message, type.c_str(), SOUP_MEMORY_COPY, body.data(),
                                     body.size());
}

ChromiumPeer::ChromiumPeer(const Mailbox& mailbox, const std::string& role) {
    char folder[] = "/tmp/whirligig-chromium-XXXXXX";
    if (!g_mkdtemp(folder)) return;
    profile_ = folder;
    std::string url = mailbox.base() + "/peer.html#" + role;
    std::vector<std::string> args = {"chromium",
                                     "--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--no-first-run",
                                     "--use-fake-device-for-media-stream",
                                     "--use-fake-ui-for-media-stream",
                                     "--autoplay-policy=no-user-gesture-required",
                                     "--disable-features=WebRtcHideLocalIpsWithMdns",
                                     "--user-data-dir=" + profile_,
                                     "--remote-debugging-port=0",
                                     url};
    std::vector<gchar*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    g_spawn_async(
        nullptr, argv.data(), nullptr,
        static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                 G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
        [](gpointer) { setpgid(0, 0); }, nullptr, &pid_, nullptr);
}

ChromiumPeer::~ChromiumPeer() {
    if (pid_ > 0) {
        kill(-pid_, SIGKILL);
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        g_spawn_close_pid(pid_);
    }
    if (profile_.empty()) return;
    const std::string remove = "rm -rf '" + profile_ + "'";
    if (std::system(remove.c_str()) != 0) g_warning("%s failed", remove.c_str());
}

}  // namespace guitest
