#include "demo/SitePages.h"

namespace site::pages {

// The site's own chat features, over the client's chat screen (the client
// hides the body's children, so they hang from the document element): a
// self-view from the camera, a sign-in by name kept in a lasting cookie, and
// a simulated friend whose messages ping and, while the window is not in
// front, notify. The page reports to the site who it greeted
// (/visitor/NAME) and what became of the camera (/camera/live or
// /camera/ERROR), so that a run can be followed in the site's log.
// For a scripted run, "?signin=NAME" signs in and "notify=now" has the friend
// write at once.
std::string chatFeatures() {
    return R"JS((function () {
  var query = new URLSearchParams(location.search);
  var note, friendTimer;
  var report = function (path) { fetch(path).catch(function () {}); };
  var cookie = function (name) {
    var m = document.cookie.match(new RegExp('(?:^|; )' + name + '=([^;]*)'));
    return m ? decodeURIComponent(m[1]) : '';
  };
  var signIn = function (name) {
    document.cookie = 'whirlyname=' + encodeURIComponent(name) +
                      '; max-age=31536000; path=/; SameSite=Lax';
    note.textContent = 'Signed in as ' + name + '.';
    report('/visitor/' + encodeURIComponent(name));
  };
  var ping = function () {
    try {
      var ctx = ping.ctx || (ping.ctx = new AudioContext());
      var tone = ctx.createOscillator(), gain = ctx.createGain();
      tone.frequency.value = 880;
      gain.gain.value = 0.2;
      tone.connect(gain);
      gain.connect(ctx.destination);
      // A running context costs the page CPU even when silent: it sleeps between pings.
      ctx.resume();
      tone.onended = function () { ctx.suspend(); };
      tone.start();
      tone.stop(ctx.currentTime + 0.15);
    } catch (e) {}
  };
  var friendWrites = function () {
    var text = 'Hi ' + (cookie('whirlyname') || 'there') + ', are you on camera?';
    note.textContent = 'Whirly: ' + text;
    window.friendMessages = (window.friendMessages || 0) + 1;
    ping();
    var away = document.hidden || !document.hasFocus() || query.get('notify') === 'now';
    if (away && window.Notification && Notification.permission === 'granted')
      new Notification('Whirly', { body: text });
  };
  var build = function () {
    var panel = document.createElement('div');
    panel.id = 'whirly-panel';
    panel.style.cssText = 'position:fixed;right:24px;bottom:230px;width:160px;padding:4px;' +
        'background:#0e1626;color:#dde4ee;font:11px sans-serif;border-radius:4px;z-index:10';
    var video = document.createElement('video');
    video.id = 'selfview';
    video.autoplay = video.muted = video.playsInline = true;
    video.style.cssText = 'display:block;width:160px;height:120px;background:#000';
    note = document.createElement('div');
    note.id = 'whirly-note';
    note.style.cssText = 'padding-top:3px;min-height:14px';
    panel.appendChild(video);
    panel.appendChild(note);
    var name = cookie('whirlyname');
    if (query.get('signin')) {
      signIn(query.get('signin'));
    } else if (name) {
      note.textContent = 'Welcome back, ' + name + '!';
      report('/visitor/' + encodeURIComponent(name));
    } else {
      var input = document.createElement('input'), go = document.createElement('button');
      input.placeholder = 'Your name';
      input.style.width = '96px';
      go.textContent = 'Sign in';
      go.onclick = function () { if (input.value) { note.textContent = ''; signIn(input.value); } };
      note.appendChild(input);
      note.appendChild(go);
      report('/visitor/anonymous');
    }
    document.documentElement.appendChild(panel);
    if (navigator.mediaDevices && navigator.mediaDevices.getUserMedia) {
      navigator.mediaDevices.getUserMedia({ video: true, audio: true }).then(function (stream) {
        video.srcObject = stream;
        window.selfView = 'live';
        report('/camera/live');
      }, function (error) {
        window.selfView = error.name;
        report('/camera/' + error.name);
      });
    }
    var friend = function () {
      friendTimer = setInterval(friendWrites, 15000);
      if (query.get('notify') === 'now') friendWrites();
    };
    if (window.Notification && Notification.permission === 'default')
      Notification.requestPermission().then(friend, friend);
    else
      friend();
  };
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', build);
  else build();
})();
)JS";
}

}  // namespace site::pages
