#include "platform/gtk/CallScripts.h"

namespace gtkui {

// The senders, receivers and transceivers of the page's script, and the
// media of one connection (Media). A transceiver is known to the helper by
// its index in webrtcbin's list; the page learns the indexes of those that
// the far end's offer made after each description.
extern const char* const CallScriptTransceivers;
const char* const CallScriptTransceivers = R"JS(
  var senderState, receiverState, transceiverState;
  var DIRECTIONS = ['sendrecv', 'sendonly', 'recvonly', 'inactive'];
  function sendsIn(direction) { return direction === 'sendrecv' || direction === 'sendonly'; }
  function capabilities(kind) {
    if (kind === 'video') return { codecs: [{ mimeType: 'video/VP8', clockRate: 90000 }], headerExtensions: [] };
    if (kind === 'audio') return { codecs: [{ mimeType: 'audio/opus', clockRate: 48000, channels: 2 }], headerExtensions: [] };
    return null;
  }
  // The m-sections of a description: kind, direction, mid and stream ids.
  function sectionsOf(sdp) {
    var sections = [];
    String(sdp || '').split(/\r?\n/).forEach(function (line) {
      if (line.startsWith('m=')) sections.push({ kind: line.slice(2).split(' ')[0], direction: 'sendrecv', streams: [] });
      var section = sections[sections.length - 1];
      if (!section) return;
      var found = /^a=(sendrecv|sendonly|recvonly|inactive)\s*$/.exec(line);
      if (found) section.direction = found[1];
      found = /^a=(?:ssrc:\d+ )?msid:(\S+)/.exec(line);
      if (found && found[1] !== '-' && section.streams.indexOf(found[1]) < 0) section.streams.push(found[1]);
    });
    return sections;
  }
  function reversed(direction) {
    return direction === 'sendonly' ? 'recvonly' : direction === 'recvonly' ? 'sendonly' : direction;
  }

  class RTCRtpSender {
    #s;
    constructor(secret, media, kind) {
      if (secret !== SECRET) throw new TypeError('Illegal constructor');
      this.#s = { media: media, kind: kind, track: null, streams: [], pump: null, pumping: null, everSent: false, transceiver: null };
    }
    get track() { return this.#s.track; }
    get transport() { return null; }
    get rtcpTransport() { return null; }
    get dtmf() { return null; }
    static getCapabilities(kind) { return capabilities(kind); }
    getParameters() { return { transactionId: '0', encodings: [{ active: true }], codecs: [], headerExtensions: [], rtcp: { cname: '', reducedSize: false } }; }
    setParameters() { return Promise.resolve(); }
    setStreams() { this.#s.streams = Array.from(arguments); }
    getStats() { return this.#s.media.pc.getStats(); }
    replaceTrack(track) {
      var s = this.#s;
      if (track != null && !(track instanceof MediaStreamTrack))
        return Promise.reject(new TypeError("Failed to execute 'replaceTrack' on 'RTCRtpSender': parameter 1 is not of type 'MediaStreamTrack'."));
      if (track && track.kind !== s.kind)
        return Promise.reject(new TypeError("Failed to execute 'replaceTrack' on 'RTCRtpSender': The kind of the track does not match the sender's."));
      if (s.media.closed()) return Promise.reject(invalidState("Failed to execute 'replaceTrack' on 'RTCRtpSender': The peer connection is closed."));
      s.track = track || null;
      s.media.update();
      return Promise.resolve();
    }
    static { senderState = function (sender) { return sender.#s; }; }
  }

  class RTCRtpReceiver {
    #s;
    constructor(secret, media, kind, askKeyframe) {
      if (secret !== SECRET) throw new TypeError('Illegal constructor');
      var sink = kind === 'video' ? videoSink(askKeyframe) : audioSink();
      this.#s = { media: media, kind: kind, sink: sink, track: sink.track };
    }
    get track() { return this.#s.track; }
    get transport() { return null; }
    get rtcpTransport() { return null; }
    static getCapabilities(kind) { return capabilities(kind); }
    getParameters() { return { codecs: [], headerExtensions: [], rtcp: {} }; }
    getContributingSources() { return []; }
    getSynchronizationSources() { return []; }
    getStats() { return this.#s.media.pc.getStats(); }
    static { receiverState = function (receiver) { return receiver.#s; }; }
  }

  class RTCRtpTransceiver {
    #s;
    constructor(secret, media, kind, direction, fromRemote) {
      if (secret !== SECRET) throw new TypeError('Illegal constructor');
      var s = this.#s = { media: media, kind: kind, direction: direction, current: null, mid: null, mline: -1,
                          stopped: false, index: null, made: Promise.resolve(), fromRemote: fromRemote, receiving: false };
      s.sender = new RTCRtpSender(SECRET, media, kind);
      s.receiver = new RTCRtpReceiver(SECRET, media, kind, function () {});
      senderState(s.sender).transceiver = this;
    }
    get mid() { return this.#s.mid; }
    get sender() { return this.#s.sender; }
    get receiver() { return this.#s.receiver; }
    get stopped() { return this.#s.stopped; }
    get currentDirection() { return this.#s.stopped ? 'stopped' : this.#s.current; }
    get direction() { return this.#s.stopped ? 'stopped' : this.#s.direction; }
    set direction(value) {
      var s = this.#s;
      if (DIRECTIONS.indexOf(value) < 0) throw new TypeError("Failed to set the 'direction' property on 'RTCRtpTransceiver': The provided value '" + value + "' is not a valid enum value of type RTCRtpTransceiverDirection.");
      if (s.media.closed()) throw invalidState("Failed to set the 'direction' property on 'RTCRtpTransceiver': The peer connection is closed.");
      if (s.stopped) throw invalidState("Failed to set the 'direction' property on 'RTCRtpTransceiver': The transceiver is stopped.");
      if (value === s.direction) return;
      s.media.direct(this, value);
    }
    setCodecPreferences() {}
    stop() {
      var s = this.#s;
      if (s.media.closed()) throw invalidState("Failed to execute 'stop' on 'RTCRtpTransceiver': The peer connection is closed.");
      if (s.stopped) return;
      s.media.direct(this, 'inactive');
      s.stopped = true;
      senderState(s.sender).track = null;
      receiverState(s.receiver).track.stop();
      s.media.update();
    }
    static { transceiverState = function (transceiver) { return transceiver.#s; }; }
  }

  class RTCTrackEvent extends Event {
    #init;
    constructor(type, init) { super(type); this.#init = init || {}; }
    get receiver() { return this.#init.receiver; }
    get track() { return this.#init.track; }
    get streams() { return this.#init.streams || []; }
    get transceiver() { return this.#init.transceiver; }
  }

  // The media of one connection: its transceivers, what they send and what
  // they receive.
  class Media {
    constructor(pc, link, needed) {
      this.pc = pc; this.link = link; this.needed = needed; this.list = []; this.streams = new Map();
      this.ended = false; this.sample = null;
    }
    closed() { return this.ended || this.pc.signalingState === 'closed'; }
    add(kind, direction, track, streams, fromRemote) {
      var self = this, t = new RTCRtpTransceiver(SECRET, this, kind, direction, !!fromRemote), s = transceiverState(t);
      senderState(s.sender).track = track || null;
      senderState(s.sender).streams = streams || [];
      this.list.push(t);
      if (!fromRemote) {
        s.made = ask({ op: 'transceiver', pc: this.link.id, kind: kind, direction: direction }).then(function (answer) {
          s.index = answer.index >= 0 ? answer.index : null;
          self.update();
        }, function (e) { warn('a transceiver was not made', e); });
        this.needed();
      }
      return t;
    }
    addTrack(track, streams) {
      if (!(track instanceof MediaStreamTrack)) throw new TypeError("Failed to execute 'addTrack' on 'RTCPeerConnection': parameter 1 is not of type 'MediaStreamTrack'.");
      if (this.closed()) throw invalidState("Failed to execute 'addTrack' on 'RTCPeerConnection': The RTCPeerConnection's signalingState is 'closed'.");
      if (this.list.some(function (t) { return t.sender.track === track; }))
        throw new DOMException("Failed to execute 'addTrack' on 'RTCPeerConnection': A sender already exists for the track.", 'InvalidAccessError');
      var reuse = this.list.find(function (t) {
        var s = transceiverState(t), sender = senderState(s.sender);
        return s.kind === track.kind && s.fromRemote && !s.stopped && !sender.track && !sender.everSent;
      });
      if (!reuse) return this.add(track.kind, 'sendrecv', track, streams).sender;
      var s = transceiverState(reuse);
      senderState(s.sender).track = track;
      senderState(s.sender).streams = streams;
      this.direct(reuse, s.direction === 'recvonly' ? 'sendrecv' : s.direction === 'inactive' ? 'sendonly' : s.direction);
      return s.sender;
    }
    addTransceiver(trackOrKind, init) {
      init = init || {};
      var track = trackOrKind instanceof MediaStreamTrack ? trackOrKind : null;
      var kind = track ? track.kind : String(trackOrKind), direction = init.direction || 'sendrecv';
      if (kind !== 'audio' && kind !== 'video')
        throw new TypeError("Failed to execute 'addTransceiver' on 'RTCPeerConnection': The argument provided is an invalid kind.");
      if (DIRECTIONS.indexOf(direction) < 0)
        throw new TypeError("Failed to execute 'addTransceiver' on 'RTCPeerConnection': The provided value '" + direction + "' is not a valid enum value of type RTCRtpTransceiverDirection.");
      if (this.closed()) throw invalidState("Failed to execute 'addTransceiver' on 'RTCPeerConnection': The RTCPeerConnection's signalingState is 'closed'.");
      return this.add(kind, direction, track, Array.from(init.streams || []));
    }
    removeTrack(sender) {
      if (!(sender instanceof RTCRtpSender)) throw new TypeError("Failed to execute 'removeTrack' on 'RTCPeerConnection': parameter 1 is not of type 'RTCRtpSender'.");
      if (this.closed()) throw invalidState("Failed to execute 'removeTrack' on 'RTCPeerConnection': The RTCPeerConnection's signalingState is 'closed'.");
      var t = this.list.find(function (x) { return x.sender === sender; });
      if (!t) throw new DOMException("Failed to execute 'removeTrack' on 'RTCPeerConnection': The sender was not created by this peer connection.", 'InvalidAccessError');
      if (!sender.track) return;
      senderState(sender).track = null;
      var d = transceiverState(t).direction;
      this.direct(t, d === 'sendrecv' ? 'recvonly' : d === 'sendonly' ? 'inactive' : d);
    }
    direct(t, direction) {
      var s = transceiverState(t), link = this.link;
      s.direction = direction;
      s.made.then(function () { if (s.index != null) out({ op: 'direction', pc: link.id, index: s.index, direction: direction }); });
      this.update();
      this.needed();
    }
    // After a description: the transceivers the far end's offer made, mids,
    // the negotiated directions, and a track event for each that now receives.
    async sync(local, remote, stable) {
      await Promise.all(this.list.map(function (t) { return transceiverState(t).made; }));
      var answer = await ask({ op: 'transceivers', pc: this.link.id }), self = this, events = [];
      var remoteSections = sectionsOf(remote && remote.sdp), localSections = sectionsOf(local && local.sdp);
      (Array.isArray(answer.transceivers) ? answer.transceivers : []).forEach(function (item) {
        if (!item || typeof item.index !== 'number') return;
        var t = self.list.find(function (x) { return transceiverState(x).index === item.index; });
        if (!t) {
          if (item.kind !== 'audio' && item.kind !== 'video') return;
          t = self.add(item.kind, 'recvonly', null, [], true);
          transceiverState(t).index = item.index;
          out({ op: 'direction', pc: self.link.id, index: item.index, direction: 'recvonly' });
        }
        var s = transceiverState(t), section = remoteSections[item.mline];
        s.mline = item.mline;
        if (item.mid) s.mid = String(item.mid);
        if (stable && localSections[item.mline])
          s.current = local.type === 'answer' ? localSections[item.mline].direction : reversed(section ? section.direction : 'inactive');
        var receives = !!section && sendsIn(section.direction) && !s.stopped;
        if (receives && !s.receiving) events.push({ t: t, ids: section.streams });
        s.receiving = receives;
      });
      // Every stream has its tracks before the first event, as in a browser.
      events.forEach(function (e) {
        var track = transceiverState(e.t).receiver.track;
        e.streams = e.ids.map(function (id) {
          if (!self.streams.has(id)) self.streams.set(id, new MediaStream());
          var stream = self.streams.get(id);
          if (stream.getTracks().indexOf(track) < 0) stream.addTrack(track);
          return stream;
        });
      });
      events.forEach(function (e) {
        var s = transceiverState(e.t);
        fire(self.pc, 'track', { receiver: s.receiver, track: s.receiver.track, streams: e.streams, transceiver: e.t }, RTCTrackEvent);
      });
      this.update();
    }
    // Starts and stops the encoders as tracks, directions and the connection change.
    update() {
      var connected = this.pc.connectionState === 'connected' && !this.closed(), link = this.link;
      this.list.forEach(function (t) {
        var s = transceiverState(t), sender = senderState(s.sender);
        var want = connected && !!sender.track && s.index != null && sendsIn(s.direction) && !s.stopped ? sender.track : null;
        if (sender.pumping === want) return;
        if (sender.pump) sender.pump.stop();
        sender.pump = null;
        sender.pumping = want;
        if (!want) return;
        sender.everSent = true;
        var send = function (bytes, key) { out({ op: 'media', pc: link.id, index: s.index, key: key, data: toBase64(bytes) }); };
        try { sender.pump = s.kind === 'video' ? videoPump(want, send) : audioPump(want, send); } catch (e) { warn('the track is not sent', e); }
      });
    }
    incoming(item) {
      var t = this.list.find(function (x) { return transceiverState(x).index === item.index; });
      if (item.event === 'loss') t = null;
      this.list.forEach(function (x) {
        var sender = senderState(transceiverState(x).sender);
        if (item.event === 'loss' && sender.pump) sender.pump.loss(Number(item.value) || 0);
      });
      if (!t) return;
      var s = transceiverState(t);
      if (item.event === 'keyframe' && senderState(s.sender).pump) senderState(s.sender).pump.keyframe();
      if (item.event === 'frame' && typeof item.data === 'string' && !s.stopped)
        receiverState(s.receiver).sink.take(fromBase64(item.data), !!item.key);
    }
    // Adds what only the page knows to the helper's statistics: frames decoded and their rate.
    decorate(stats) {
      var decoded = 0, now = performance.now(), self = this;
      this.list.forEach(function (t) {
        var s = transceiverState(t);
        if (s.kind === 'video') decoded += receiverState(s.receiver).sink.decoded();
      });
      var last = this.sample, rate = last && now > last.at ? (decoded - last.decoded) * 1000 / (now - last.at) : 0;
      if (!last || now - last.at > 500) this.sample = { at: now, decoded: decoded, rate: rate };
      var rtt = null;
      Object.keys(stats).forEach(function (id) {
        var entry = stats[id];
        if (entry.type === 'remote-inbound-rtp' && entry.roundTripTime != null) rtt = entry.roundTripTime;
        if (entry.kind) entry.mediaType = entry.kind;
        if (entry.type === 'inbound-rtp' && entry.kind === 'video') {
          entry.framesDecoded = decoded;
          entry.framesPerSecond = Math.round((last ? (self.sample === last ? rate : self.sample.rate) : 0) * 10) / 10;
        }
      });
      Object.keys(stats).forEach(function (id) {
        if (stats[id].type === 'candidate-pair' && stats[id].currentRoundTripTime == null && rtt != null) stats[id].currentRoundTripTime = rtt;
      });
      return stats;
    }
    close() {
      this.ended = true;
      this.update();
      this.list.forEach(function (t) {
        var receiver = receiverState(transceiverState(t).receiver);
        receiver.sink.stop();
      });
    }
  }
)JS";

}  // namespace gtkui
