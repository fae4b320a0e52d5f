#include "platform/gtk/ChatViewPlayer.h"

#include "platform/gtk/GtkApp.h"

namespace gtkui {
namespace {

// Runs at the end of every page of the chat view, in the page's own world (the
// player's ExternalInterface talks to the page's functions).
//
// Ruffle's own polyfill is off: it would turn the site's <object> into a
// <ruffle-object> before the client has read the movie's parameters from it,
// break style rules written for the tag, and give a player also to objects that
// are not rendered (a hidden copy of the chat movie would play, audibly).
// Instead each rendered Flash element gets a player inside it; ruffle.js is
// loaded from the client's own scheme when the first one appears.
//
// A player whose WebAssembly fails after loading (an occasional "Out of bounds
// memory access") stops for good: it is noticed by its state (loaded but not
// playing, with autoplay on, the page shown and the players not held) and the
// player is made again, once.
//
// A player draws on the page's animation frames, sixty a second, though a
// movie shows far fewer (the demo's twelve); each frame of the page costs a
// call into the player and an update of the page's rendering. The frames that
// the players ask for are given at twice the fastest movie's frame rate at
// most: the player runs the movie's frames on time from the time it is given,
// and at twice the rate none is late by more than half a frame. The players'
// requests are told apart from the site's by coming from WebAssembly; the
// site's own animation frames are left as they are.
//
// The client holds the players while no one can see them (its window
// minimised, or another view in front of the chat view): hold(true) pauses
// each one that plays, and hold(false) lets those play on from where they
// were. Held players get no animation frame at all, and the time they were
// held does not count in the time they are given, so that none catches up
// frames on its return. Their sound (an AudioContext each, which WebKit keeps
// rendering while it runs, silent or not) is suspended with them: a paused
// player leaves its context running. A hold asked for before this script runs
// is left in window.whirligigFlashPlayerHeld.
constexpr const char* kPlayerScript = R"JS((function () {
  'use strict';
  if (window.whirligigFlashPlayer) return;
  var base = '%BASE%';
  var config = {
    autoplay: 'on', splashScreen: false, unmuteOverlay: 'hidden', contextMenu: 'off',
    preferredRenderer: 'canvas', polyfills: false, publicPath: base,
    warnOnUnsupportedContent: false, showSwfDownload: false, logLevel: 'error'
  };
  var flashClass = 'clsid:d27cdb6e-ae6d-11cf-96b8-444553540000';
  var flashTypes = ['application/x-shockwave-flash', 'application/futuresplash'];
  var players = new Map();  // element -> { player, reloaded, timer, loaded, paused }
  var ruffle = null, loading = false, scheduled = false;
  var held = window.whirligigFlashPlayerHeld === true;
  var sizes = new ResizeObserver(schedule);
  var sized = new WeakSet();

  var nativeRequest = window.requestAnimationFrame, nativeCancel = window.cancelAnimationFrame;
  var paced = new Map(), nextPaced = -1, pacedTimer = 0, pacedFrame = 0, lastPaced = 0;
  var heldSince = 0, heldFor = 0;
  function pacedInterval() {
    var fastest = 0;
    players.forEach(function (entry) {
      var movie = entry.player.ruffle().metadata;
      if (movie && movie.frameRate > fastest) fastest = movie.frameRate;
    });
    return fastest > 0 ? 500 / fastest : 0;
  }
  function runPaced(now) {
    pacedFrame = 0;
    if (held) return;
    lastPaced = now;
    var due = paced;
    paced = new Map();
    due.forEach(function (callback) {
      try { callback(now - heldFor); } catch (e) { setTimeout(function () { throw e; }); }
    });
  }
  function armPaced() {
    if (held || pacedTimer || pacedFrame || !paced.size) return;
    // Woken a little early: the page's next frame after the wake is the one used.
    var wait = lastPaced + pacedInterval() - performance.now() - 8;
    if (wait <= 0) {
      pacedFrame = nativeRequest.call(window, runPaced);
      return;
    }
    pacedTimer = setTimeout(function () {
      pacedTimer = 0;
      armPaced();
    }, wait);
  }
  window.requestAnimationFrame = function (callback) {
    if (!/wasm/.test(new Error().stack || '')) return nativeRequest.call(window, callback);
    var id = nextPaced--;
    paced.set(id, callback);
    armPaced();
    return id;
  };
  window.cancelAnimationFrame = function (id) {
    if (id < 0) paced.delete(id);
    else nativeCancel.call(window, id);
  };

  // The players' sound, told apart as their frame requests are.
  var sounds = new Set(), heldSounds = [];
  if (window.AudioContext) {
    window.AudioContext = new Proxy(window.AudioContext, {
      construct: function (type, args, newTarget) {
        var context = Reflect.construct(type, args, newTarget);
        if (/wasm/.test(new Error().stack || '')) {
          sounds.add(context);
          context.addEventListener('statechange', function () {
            if (context.state === 'closed') sounds.delete(context);
          });
        }
        return context;
      }
    });
  }

  function param(element, name) {
    var params = element.getElementsByTagName('param');
    for (var i = 0; i < params.length; ++i)
      if ((params[i].getAttribute('name') || '').toLowerCase() === name)
        return params[i].getAttribute('value');
    return null;
  }
  function option(element, name) {
    return element.localName === 'embed' ? element.getAttribute(name) : param(element, name);
  }
  function movieOf(element) {
    if (element.localName === 'embed') return element.getAttribute('src');
    return element.getAttribute('data') || param(element, 'movie') || param(element, 'src');
  }
  function isFlash(element) {
    var movie = movieOf(element);
    if (!movie) return false;
    var type = (element.getAttribute('type') || '').toLowerCase();
    var classid = (element.getAttribute('classid') || '').toLowerCase();
    if (flashTypes.indexOf(type) >= 0 || classid === flashClass) return true;
    try { return /\.swf$/i.test(new URL(movie, document.baseURI).pathname); } catch (e) { return false; }
  }
  // An <embed> inside a Flash <object> is its fallback: the object's player stands for both.
  function candidates() {
    var found = [];
    document.querySelectorAll('object, embed').forEach(function (element) {
      var outer = element.parentElement && element.parentElement.closest('object');
      if (outer && isFlash(outer)) return;
      if (isFlash(element)) found.push(element);
    });
    return found;
  }
  function rendered(element) {
    if (!element.isConnected || element.getClientRects().length === 0) return false;
    return !element.checkVisibility || element.checkVisibility({ visibilityProperty: true });
  }
  // Whether the movie may script the page, and the address to load it from.
  // "sameDomain" is judged on the movie's final address, after redirects: an
  // address of the site may lead to another site's movie. Only the response's
  // headers are read; when they cannot be read the movie gets no access.
  function scriptAccess(element, url) {
    var value = (option(element, 'allowscriptaccess') || 'samedomain').toLowerCase();
    if (value === 'always' || value === 'never') return Promise.resolve([value === 'always', url]);
    try { if (new URL(url).origin !== location.origin) return Promise.resolve([false, url]); }
    catch (e) { return Promise.resolve([false, url]); }
    return fetch(url).then(function (response) {
      if (response.body) response.body.cancel().catch(function () {});
      var final = response.url || url;
      return new URL(final).origin === location.origin ? [true, final] : [false, url];
    }, function () { return [false, url]; });
  }

  // Pauses a player once it has loaded, if the players are still held then.
  // One that was just made counts as playing: it starts by itself.
  function pause(element, entry, made) {
    entry.loaded.then(function () {
      if (!held || players.get(element) !== entry) return;
      var api = entry.player.ruffle();
      if (!made && !api.isPlaying) return;
      entry.paused = true;
      api.suspend();
      quietSounds();
    });
  }
  function quietSounds() {
    sounds.forEach(function (context) {
      if (context.state !== 'running') return;
      heldSounds.push(context);
      context.suspend();
    });
  }
  function hold(on) {
    if (held === !!on) return;
    held = !!on;
    if (held) {
      heldSince = performance.now();
      clearTimeout(pacedTimer);
      pacedTimer = 0;
      quietSounds();
    } else {
      heldFor += performance.now() - heldSince;
      heldSounds.forEach(function (context) {
        if (context.state === 'suspended') context.resume();
      });
      heldSounds = [];
    }
    players.forEach(function (entry, element) {
      if (held) {
        pause(element, entry, false);
      } else if (entry.paused) {
        entry.paused = false;
        entry.player.ruffle().resume();
      }
    });
    armPaced();
  }

  function start(element, reloaded) {
    var url = new URL(movieOf(element), document.baseURI).href;
    var player = ruffle.createPlayer();
    player.style.cssText = 'display:block;width:100%;height:100%';
    element.insertBefore(player, element.firstChild);
    var entry = { player: player, reloaded: reloaded, timer: 0, paused: false };
    players.set(element, entry);
    var api = player.ruffle();
    entry.loaded = scriptAccess(element, url).then(function (access) {
      if (players.get(element) !== entry) return;
      return api.load({ url: access[1], parameters: option(element, 'flashvars') || '',
                        allowScriptAccess: access[0] });
    }).catch(function () {});
    if (held) pause(element, entry, true);
    // Loaded, yet stopped (the player pauses by itself only while the page is
    // hidden): made again once; a second failure stays, showing its message.
    entry.timer = setInterval(function () {
      if (document.hidden || held || entry.paused || api.readyState !== 2 || api.isPlaying)
        return;
      clearInterval(entry.timer);
      if (entry.reloaded) return;
      stop(element);
      start(element, true);
    }, 1000);
  }
  function stop(element) {
    var entry = players.get(element);
    if (!entry) return;
    players.delete(element);
    clearInterval(entry.timer);
    var player = entry.player;
    player.remove();  // the player frees its instance when it leaves the page...
    // ...unless the instance was still being made: it then appears afterwards,
    // detached but playing. Stop it, and free it by letting the player leave
    // the page once more.
    entry.loaded.then(function () {
      player.ruffle().suspend();
      var holder = document.createElement('div');
      holder.hidden = true;
      holder.appendChild(player);
      document.documentElement.appendChild(holder);
      holder.remove();
    });
  }
  function loadPlayer() {
    if (loading) return;
    loading = true;
    window.RufflePlayer = window.RufflePlayer || {};
    window.RufflePlayer.config = config;
    var script = document.createElement('script');
    script.src = base + 'ruffle.js';
    script.onload = function () { ruffle = window.RufflePlayer.newest(); schedule(); };
    (document.head || document.documentElement).appendChild(script);
  }
  function scan() {
    scheduled = false;
    var found = candidates();
    players.forEach(function (entry, element) {
      if (found.indexOf(element) < 0 || !rendered(element)) stop(element);
    });
    var wanted = found.filter(function (element) {
      if (!sized.has(element)) { sized.add(element); sizes.observe(element); }
      return !players.has(element) && rendered(element);
    });
    if (!wanted.length) return;
    if (!ruffle) { loadPlayer(); return; }
    wanted.forEach(function (element) { start(element, false); });
  }
  function schedule() {
    if (scheduled) return;
    scheduled = true;
    setTimeout(scan, 50);
  }
  window.whirligigFlashPlayer = { players: players, hold: hold };
  new MutationObserver(schedule).observe(document, {
    childList: true, subtree: true, attributes: true,
    attributeFilter: ['style', 'class', 'hidden', 'data', 'src', 'type']
  });
  scan();
})();
)JS";

}  // namespace

bool havePlayer(const std::string& playerRoot) {
    const std::string loader = playerRoot + "/ruffle.js";
    return g_file_test(loader.c_str(), G_FILE_TEST_IS_REGULAR);
}

std::string chatViewPlayerScript() {
    std::string source = kPlayerScript;
    const std::string base = std::string(ResourceScheme) + "://" + "/" + PlayerFolder + "/";
    source.replace(source.find("%BASE%"), 6, base);
    return source;
}

void addChatViewPlayer(WebKitUserContentManager* content) {
    const std::string source = chatViewPlayerScript();
    g_autoptr(WebKitUserScript) script =
        webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
}

ChatPlayerHold::ChatPlayerHold(GtkWindow* window, WebKitWebView* chatView)
    : window_(window), view_(chatView) {
    g_object_add_weak_pointer(G_OBJECT(window_), reinterpret_cast<gpointer*>(&window_));
    g_object_add_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
    g_signal_connect(window_, "window-state-event", G_CALLBACK(onWindowState), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
    if (GdkWindow* own = gtk_widget_get_window(GTK_WIDGET(window_)))
        hidden_ = gdk_window_get_state(own) &
                  (GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_WITHDRAWN);
}

ChatPlayerHold::~ChatPlayerHold() {
    if (window_) {
        g_signal_handlers_disconnect_by_data(window_, this);
        g_object_remove_weak_pointer(G_OBJECT(window_), reinterpret_cast<gpointer*>(&window_));
    }
    if (view_) {
        g_signal_handlers_disconnect_by_data(view_, this);
        g_object_remove_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
    }
}

void ChatPlayerHold::setCovered(bool covered) {
    covered_ = covered;
    update();
}

gboolean ChatPlayerHold::onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer data) {
    auto* self = static_cast<ChatPlayerHold*>(data);
    self->hidden_ = event->new_window_state &
                    (GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_WITHDRAWN);
    self->update();
    return FALSE;
}

void ChatPlayerHold::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    // A new document starts unheld: it is told before its own scripts have
    // made any player (the player script runs at the document's end).
    auto* self = static_cast<ChatPlayerHold*>(data);
    if (event == WEBKIT_LOAD_COMMITTED && self->held()) self->tellPage();
}

void ChatPlayerHold::update() {
    if (held() != told_) tellPage();
}

void ChatPlayerHold::tellPage() {
    told_ = held();
    if (!view_) return;
    // In the page's own world, where the player script runs.
    const std::string script =
        std::string("(function (h) { var p = window.whirligigFlashPlayer;"
                    " if (p && p.hold) p.hold(h); else window.whirligigFlashPlayerHeld = h; })(") +
        (told_ ? "true" : "false") + ")";
    webkit_web_view_evaluate_javascript(view_, script.c_str(), -1, nullptr, nullptr, nullptr,
                                        nullptr, nullptr);
}

}  // namespace gtkui
