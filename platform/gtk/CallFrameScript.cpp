#include <libsoup/soup.h>

#include "platform/gtk/CallScripts.h"

namespace gtkui {
namespace {

// Runs at the start of every frame's document in the client's world. It
// answers the page script's question (by cancelling its probe event, or with an
// offer event when the page script ran first, as the order of the two worlds'
// scripts is not fixed) only in chat-site frames, forwards the page's commands with the frame's
// origin and a token naming this document, and long-polls for the events of its connections. The
// window's process checks the origin again.
constexpr const char* kFrameScript = R"JS((function () {
  'use strict';
  // In every frame of the chat view: the engine's media framework must be set
  // up by a media element's question, as a page whose first media use is
  // WebCodecs otherwise ends its web process.
  document.createElement('video').canPlayType('video/webm; codecs="vp8"');
  var handler = window.webkit && window.webkit.messageHandlers &&
      window.webkit.messageHandlers['%CHANNEL%'];
  if (!handler) return;
  var site = { scheme: '%SCHEME%', domain: '%DOMAIN%', port: %PORT% };
  var origin = self.origin, here;
  try { here = new URL(origin); } catch (e) { return; }
  var port = here.port ? Number(here.port) : (here.protocol === 'https:' ? 443 : 80);
  var host = here.hostname.toLowerCase();
  if (here.protocol !== site.scheme + ':' || port !== site.port ||
      (host !== site.domain && !host.endsWith('.' + site.domain))) return;
  var bytes = new Uint8Array(16);
  crypto.getRandomValues(bytes);
  var token = Array.from(bytes, function (b) { return (b + 256).toString(16).slice(1); }).join('');
  var polling = false, gone = false;
  function deliver(text) {
    if (text) window.dispatchEvent(new CustomEvent('whirligig-calls-in', { detail: text }));
  }
  function post(message) {
    message.token = token;
    message.origin = origin;
    return handler.postMessage(JSON.stringify(message));
  }
  function poll() {
    if (gone) return;
    post({ op: 'poll' }).then(function (events) {
      if (events && events !== '[]') deliver(events);
      poll();
    }, function () { polling = false; });
  }
  // Where the engine has no RTCPeerConnection of its own, the window's
  // process learns that this document may call: it can then make ready for
  // the first call once the page opens the camera or the microphone.
  if (typeof RTCPeerConnection !== 'function') post({ op: 'hello' }).catch(function () {});
  window.addEventListener('whirligig-calls-probe', function (e) { e.preventDefault(); });
  window.dispatchEvent(new Event('whirligig-calls-offer'));
  window.addEventListener('whirligig-calls-out', function (e) {
    if (typeof e.detail !== 'string' || gone) return;
    if (!polling) { polling = true; poll(); }
    post({ body: e.detail }).then(function (answer) {
      if (answer) deliver('[' + answer + ']');
    }, function () {});
  });
  window.addEventListener('pagehide', function () {
    if (!polling) return;
    gone = true;
    post({ op: 'bye' });
  });
})();)JS";

void replace(std::string& text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

// Letters, digits, dots and dashes only: a host or a scheme goes into the script as is.
std::string plain(const std::string& text) {
    std::string out;
    for (char c : text)
        if (g_ascii_isalnum(c) || c == '.' || c == '-') out += g_ascii_tolower(c);
    return out;
}

}  // namespace

int portOfAddress(const std::string& address) {
    g_autoptr(GUri) uri = g_uri_parse(address.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!uri || !g_uri_get_scheme(uri)) return -1;
    if (g_uri_get_port(uri) > 0) return g_uri_get_port(uri);
    const std::string scheme = g_uri_get_scheme(uri);
    if (scheme == "http" || scheme == "ws") return 80;
    if (scheme == "https" || scheme == "wss") return 443;
    return -1;
}

std::string callFrameScript(const std::string& chatSite) {
    std::string script = kFrameScript;
    g_autoptr(GUri) uri = g_uri_parse(chatSite.c_str(), G_URI_FLAGS_NONE, nullptr);
    std::string scheme, domain;
    int port = -1;
    if (uri && g_uri_get_host(uri) && g_uri_get_scheme(uri)) {
        g_autofree gchar* host = g_ascii_strdown(g_uri_get_host(uri), -1);
        const gchar* base = soup_tld_get_base_domain(host, nullptr);
        scheme = plain(g_uri_get_scheme(uri));
        domain = plain(base ? base : host);
        port = portOfAddress(chatSite);
    }
    // Without a chat site no frame qualifies.
    if (domain.empty()) scheme = "none";
    replace(script, "%CHANNEL%", CallChannel);
    replace(script, "%SCHEME%", scheme);
    replace(script, "%DOMAIN%", domain.empty() ? "invalid." : domain);
    replace(script, "%PORT%", std::to_string(port));
    return script;
}

}  // namespace gtkui
