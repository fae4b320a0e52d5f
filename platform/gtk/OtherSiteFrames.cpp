#include "platform/gtk/OtherSiteFrames.h"

#include <set>

#include "platform/gtk/BridgeChannels.h"
#include "platform/gtk/ChatSitePermissions.h"
#include "support/Log.h"

namespace gtkui {
namespace {

// The frames' messages, in the client's isolated world: a page cannot post them.
constexpr const char* OtherSiteChannel = "whirligigOtherSiteFrames";
// Origins logged at most: a page that makes frames in a loop does not flood the log.
constexpr std::size_t LoggedOrigins = 50;

// Whether the document's origin is the chat site's: same scheme, port and
// registrable domain (or host, where the chat site has no registrable domain).
// A blank or sandboxed document is judged by the origin it has.
constexpr const char* kIsChatSite = R"JS(
  function isChatSite(origin) {
    var url;
    try { url = new URL(origin); } catch (e) { return false; }
    var port = url.port || { 'http:': '80', 'https:': '443' }[url.protocol] || '';
    if (url.protocol !== site.scheme || port !== site.port) return false;
    var host = url.hostname.toLowerCase();
    return host === site.domain || (!site.hostOnly && host.endsWith('.' + site.domain));
  }
)JS";

// In the page's world at the start of every document: the page's own scripts
// cannot run first. A blank frame's first document gets no user script, so
// the frames of a guarded window are guarded too, as they are made and reached.
constexpr const char* kGuard = R"JS(
  var guarded = new WeakSet();
  function refused() {
    return Promise.reject(new DOMException('camera and microphone are for the chat site only',
                                           'NotAllowedError'));
  }
  function noDevices() { return Promise.resolve([]); }
  function fix(object, name, value) {
    Object.defineProperty(object, name, { value: value, writable: false, configurable: false });
  }
  function guardFrames(w) {
    for (var i = 0; i < w.length; ++i) guard(w[i]);
  }
  function after(object, name, w) {
    var original = object[name];
    if (typeof original !== 'function') return;
    fix(object, name, function () {
      try { return original.apply(this, arguments); } finally { guardFrames(w); }
    });
  }
  function afterSetter(object, name, w) {
    var property = Object.getOwnPropertyDescriptor(object, name);
    if (!property || !property.set) return;
    Object.defineProperty(object, name, { get: property.get, configurable: false,
      set: function (value) { try { property.set.call(this, value); } finally { guardFrames(w); } } });
  }
  function guard(w) {
    try {
      if (guarded.has(w) || isChatSite(w.origin)) return;
      guarded.add(w);
      var media = w.MediaDevices && w.MediaDevices.prototype;
      if (media) {
        fix(media, 'getUserMedia', refused);
        fix(media, 'getDisplayMedia', refused);
        fix(media, 'enumerateDevices', noDevices);
      }
      ['HTMLIFrameElement', 'HTMLFrameElement', 'HTMLObjectElement'].forEach(function (type) {
        var proto = w[type] && w[type].prototype;
        ['contentWindow', 'contentDocument'].forEach(function (name) {
          var property = proto && Object.getOwnPropertyDescriptor(proto, name);
          if (!property || !property.get) return;
          Object.defineProperty(proto, name, { configurable: false, get: function () {
            var got = property.get.call(this);
            try { guard(name === 'contentWindow' ? got : got && got.defaultView); } catch (e) {}
            return got;
          } });
        });
      });
      ['appendChild', 'insertBefore', 'replaceChild'].forEach(function (name) {
        after(w.Node.prototype, name, w);
      });
      ['append', 'prepend', 'after', 'before', 'replaceWith', 'insertAdjacentElement',
       'insertAdjacentHTML', 'replaceChildren'].forEach(function (name) {
        after(w.Element.prototype, name, w);
      });
      ['write', 'writeln', 'append', 'prepend', 'replaceChildren', 'execCommand'].forEach(
        function (name) { after(w.Document.prototype, name, w); });
      ['insertNode', 'surroundContents'].forEach(function (name) {
        after(w.Range.prototype, name, w);
      });
      afterSetter(w.Element.prototype, 'innerHTML', w);
      afterSetter(w.Element.prototype, 'outerHTML', w);
      new w.MutationObserver(function () { guardFrames(w); })
        .observe(w.document, { childList: true, subtree: true });
      guardFrames(w);
    } catch (e) {}
  }
  guard(window);
)JS";

// In the client's world at the start of every document: tells the client
// that a document of another site had its devices taken away.
constexpr const char* kTell = R"JS(
  if (!isChatSite(self.origin))
    webkit.messageHandlers.%CHANNEL%.postMessage(String(self.origin));
)JS";

std::string quoted(const std::string& text) {
    g_autofree gchar* escaped = g_strescape(text.c_str(), nullptr);
    return std::string("'") + escaped + "'";
}

std::string siteObject(const std::string& chatSite) {
    const SiteOf site = siteOf(chatSite);
    // The host as URL.hostname writes it: an IPv6 address in brackets.
    const std::string domain =
        site.site.find(':') != std::string::npos ? "[" + site.site + "]" : site.site;
    return "var site = { scheme: " + quoted(site.scheme + ":") + ", domain: " + quoted(domain) +
           ", port: " + quoted(site.port > 0 ? std::to_string(site.port) : "") +
           ", hostOnly: " + (site.hostOnly ? "true" : "false") + " };";
}

void addScript(WebKitUserContentManager* content, const std::string& body, const char* world) {
    const std::string source = "(function () {\n'use strict';\n" + body + "})();";
    g_autoptr(WebKitUserScript) script =
        world
            ? webkit_user_script_new_for_world(
                  source.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                  WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, world, nullptr, nullptr)
            : webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                     WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
}

struct Logged {
    std::set<std::string> origins;
};

void onMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
    auto* logged = static_cast<Logged*>(data);
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!value || !jsc_value_is_string(value) || logged->origins.size() >= LoggedOrigins) return;
    g_autofree gchar* origin = jsc_value_to_string(value);
    if (!logged->origins.insert(origin).second) return;
    support::logInfo(std::string("permission: camera, microphone and the list of devices for ") +
                     origin + " refused (a document of another site than the chat site)");
}

}  // namespace

void keepDevicesFromOtherSites(WebKitUserContentManager* content, const std::string& chatSite) {
    const std::string site = siteObject(chatSite);
    addScript(content, site + kIsChatSite + kGuard, nullptr);
    std::string tell = kTell;
    tell.replace(tell.find("%CHANNEL%"), 9, OtherSiteChannel);
    addScript(content, site + kIsChatSite + tell, ScriptWorld);
    webkit_user_content_manager_register_script_message_handler_in_world(content, OtherSiteChannel,
                                                                         ScriptWorld);
    auto* logged = new Logged;
    g_object_set_data_full(G_OBJECT(content), OtherSiteChannel, logged,
                           [](gpointer data) { delete static_cast<Logged*>(data); });
    g_signal_connect(content, messageSignal(OtherSiteChannel).c_str(), G_CALLBACK(onMessage),
                     logged);
}

}  // namespace gtkui
