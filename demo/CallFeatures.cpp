#include "demo/SitePages.h"

namespace site::pages {

// The site's calls to the simulated friend, in the panel of the chat
// features: "Call" opens the call socket, the friend offers, the page
// answers with its camera and microphone (the self-view's stream) and shows
// and plays the friend; "Hang up" ends it. The page reports to the site when
// the friend's picture arrives (/call/picture/WIDTHxHEIGHT) and how a call
// ended (/call/ended/REASON). window.whirlyAutoCall places a call, for a
// scripted run, as soon as the camera is live and the chat's movie has said it
// started: a call's media share the page's process with the movie's player,
// whose making they would otherwise slow on a small machine.
std::string callFeatures() {
    return R"JS((function () {
  var pc = null, socket = null, button, friendView, friendSound, watch, seen;
  var report = function (path) { fetch(path).catch(function () {}); };
  var send = function (m) { if (socket && socket.readyState === 1) socket.send(JSON.stringify(m)); };
  var hangUp = function (why) {
    window.callState = why;
    if (why !== 'hung up') report('/call/ended/' + encodeURIComponent(why));
    if (socket) { socket.onclose = null; socket.close(); socket = null; }
    if (pc) { pc.close(); pc = null; }
    clearInterval(watch);
    friendView.srcObject = friendSound.srcObject = null;
    friendView.style.display = 'none';
    button.textContent = 'Call';
  };
  // The friend's picture has arrived once its frames show bars in colour.
  var look = function () {
    if (seen || !friendView.videoWidth) return;
    var c = document.createElement('canvas'), g = c.getContext('2d');
    c.width = 64; c.height = 48;
    g.drawImage(friendView, 0, 0, 64, 48);
    var p = g.getImageData(0, 0, 64, 24).data, yellow = 0, cyan = 0;
    for (var i = 0; i < p.length; i += 4) {
      if (p[i] > 140 && p[i + 1] > 140 && p[i + 2] < 90) yellow++;
      if (p[i] < 90 && p[i + 1] > 140 && p[i + 2] > 140) cyan++;
    }
    if (yellow > 20 && cyan > 20) {
      seen = true;
      window.friendPicture = friendView.videoWidth + 'x' + friendView.videoHeight;
      report('/call/picture/' + window.friendPicture);
    }
  };
  var call = function () {
    if (typeof RTCPeerConnection === 'undefined') return hangUp('no calls in this browser');
    var own = document.getElementById('selfview').srcObject, early = [];
    button.textContent = 'Hang up';
    window.callState = 'calling';
    seen = false;
    pc = new RTCPeerConnection();
    pc.ontrack = function (e) {
      var element = e.track.kind === 'video' ? friendView : friendSound;
      element.srcObject = new MediaStream([e.track]);
      element.play().catch(function () {});
      if (element === friendView) friendView.style.display = 'block';
    };
    pc.onicecandidate = function (e) {
      send({ ice: e.candidate ? { candidate: e.candidate.candidate, sdpMLineIndex: e.candidate.sdpMLineIndex } : null });
    };
    pc.onconnectionstatechange = function () {
      if (!pc) return;
      window.callState = pc.connectionState;
      if (pc.connectionState === 'failed') hangUp('failed');
    };
    socket = new WebSocket(location.origin.replace(/^http/, 'ws') + '/call/socket');
    socket.onclose = function (e) { hangUp(e.reason || 'the friend left'); };
    socket.onmessage = function (e) {
      var m;
      try { m = JSON.parse(e.data); } catch (error) { return hangUp('a bad message'); }
      if (m.sdp && pc) {
        pc.setRemoteDescription(m.sdp).then(function () {
          if (own) own.getTracks().forEach(function (t) { pc.addTrack(t, own); });
          early.splice(0).forEach(function (c) { pc.addIceCandidate(c); });
          return pc.setLocalDescription();
        }).then(function () {
          send({ sdp: { type: pc.localDescription.type, sdp: pc.localDescription.sdp } });
        }).catch(function (error) { hangUp(error.name); });
      } else if (m.ice && pc) {
        if (pc.remoteDescription) pc.addIceCandidate(m.ice); else early.push(m.ice);
      }
    };
    watch = setInterval(look, 250);
  };
  var build = function () {
    var panel = document.getElementById('whirly-panel');
    if (!panel) return;
    friendView = document.createElement('video');
    friendView.id = 'friendview';
    friendView.autoplay = friendView.playsInline = true;
    // Beside the self-view, to its left.
    friendView.style.cssText = 'display:none;position:absolute;right:172px;top:4px;width:160px;' +
        'height:120px;background:#000;border-radius:4px';
    friendSound = document.createElement('audio');
    friendSound.id = 'friendsound';
    friendSound.autoplay = true;
    button = document.createElement('button');
    button.id = 'whirly-call';
    button.textContent = 'Call';
    button.onclick = function () { if (pc) hangUp('hung up'); else call(); };
    panel.insertBefore(friendView, panel.firstChild);
    panel.appendChild(friendSound);
    panel.appendChild(button);
    if (window.whirlyAutoCall) {
      var wait = setInterval(function () {
        var movieStarted = window.chatMovieReports && window.chatMovieReports.length > 0;
        if (window.selfView && movieStarted) { clearInterval(wait); call(); }
      }, 200);
    }
  };
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', build);
  else setTimeout(build);
})();
)JS";
}

}  // namespace site::pages
