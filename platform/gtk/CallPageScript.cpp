#include "platform/gtk/CallScripts.h"

namespace gtkui {

extern const char* const CallScriptCommon;
extern const char* const CallScriptMedia;
extern const char* const CallScriptTransceivers;

namespace {

// The last part of the page's script: RTCPeerConnection and the description
// and candidate types. States follow the standard's tables here; what the
// network does comes from the helper as events, media through Media.
constexpr const char* kConnectionPart = R"JS(
  function invalidState(message) { return new DOMException(message, 'InvalidStateError'); }
  function checkSdp(sdp) {
    var lines = String(sdp).split(/\r?\n/).filter(function (l) { return l.length; });
    var ok = lines[0] === 'v=0' && lines.every(function (l) { return /^[a-z]=/.test(l); }) &&
        ['o=', 's=', 't='].every(function (p) { return lines.some(function (l) { return l.startsWith(p); }); });
    if (!ok) throw new DOMException('Failed to parse SessionDescription.', 'OperationError');
  }
  function midsOf(sdp) {
    var mids = [];
    String(sdp || '').split(/\r?\n/).forEach(function (line) {
      if (line.startsWith('m=')) mids.push(String(mids.length));
      else if (line.startsWith('a=mid:') && mids.length) mids[mids.length - 1] = line.slice(6).trim();
    });
    return mids;
  }
  function iceServers(list) {
    if (list == null) return [];
    return Array.from(list, function (server) {
      var urls = server && server.urls;
      if (urls == null) throw new TypeError("Failed to construct 'RTCPeerConnection': required member urls is undefined.");
      urls = typeof urls === 'string' ? [urls] : Array.from(urls, String);
      urls.forEach(function (url) {
        if (!/^(stuns?|turns?):/i.test(url))
          throw new DOMException("Failed to construct 'RTCPeerConnection': '" + url + "' is not a valid URL.", 'SyntaxError');
        if (/^turns?:/i.test(url) && (server.username == null || server.credential == null))
          throw new DOMException('Both username and credential are required when the URL scheme is "turn" or "turns".', 'InvalidAccessError');
      });
      return { urls: urls, username: server.username == null ? '' : String(server.username),
               credential: server.credential == null ? '' : String(server.credential) };
    });
  }

  class RTCSessionDescription {
    #type; #sdp;
    constructor(init) {
      init = init || {};
      if (['offer', 'answer', 'pranswer', 'rollback'].indexOf(init.type) < 0)
        throw new TypeError("Failed to construct 'RTCSessionDescription': The provided value '" + init.type + "' is not a valid enum value of type RTCSdpType.");
      this.#type = init.type;
      this.#sdp = init.sdp == null ? '' : String(init.sdp);
    }
    get type() { return this.#type; }
    get sdp() { return this.#sdp; }
    toJSON() { return { type: this.#type, sdp: this.#sdp }; }
  }

  class RTCIceCandidate {
    #candidate; #mid; #index; #ufrag; #parts;
    constructor(init) {
      init = init || {};
      if (init.sdpMid == null && init.sdpMLineIndex == null)
        throw new TypeError("Failed to construct 'RTCIceCandidate': sdpMid and sdpMLineIndex are both null.");
      this.#candidate = init.candidate == null ? '' : String(init.candidate);
      this.#mid = init.sdpMid == null ? null : String(init.sdpMid);
      this.#index = init.sdpMLineIndex == null ? null : Number(init.sdpMLineIndex);
      this.#ufrag = init.usernameFragment == null ? null : String(init.usernameFragment);
      this.#parts = this.#candidate.replace(/^(a=)?candidate:/, '').split(/\s+/);
    }
    get candidate() { return this.#candidate; }
    get sdpMid() { return this.#mid; }
    get sdpMLineIndex() { return this.#index; }
    get usernameFragment() { return this.#ufrag; }
    get foundation() { return this.#parts[0] || null; }
    get component() { return this.#parts[1] === '2' ? 'rtcp' : this.#parts[1] ? 'rtp' : null; }
    get protocol() { return this.#parts[2] ? this.#parts[2].toLowerCase() : null; }
    get priority() { return this.#parts[3] ? Number(this.#parts[3]) : null; }
    get address() { return this.#parts[4] || null; }
    get port() { return this.#parts[5] ? Number(this.#parts[5]) : null; }
    get type() { return this.#parts[6] === 'typ' ? this.#parts[7] : null; }
    toJSON() { return { candidate: this.#candidate, sdpMid: this.#mid, sdpMLineIndex: this.#index, usernameFragment: this.#ufrag }; }
  }

  class RTCPeerConnection extends EventTarget {
    #link = { id: 0 }; #config; #signaling = 'stable'; #gathering = 'new'; #ice = 'new';
    #connection = 'new'; #local = null; #remote = null; #lastOffer = null; #lastAnswer = null;
    #channels = new Map(); #nextChannel = 1; #chain = Promise.resolve(); #closed = false;
    #dead = false; #negotiation = false; #media;
    // Candidates the helper found before setLocalDescription resolved: a
    // browser fires them only after it, and sites send the description first.
    #early = null;
    constructor(configuration) {
      super();
      configuration = configuration || {};
      var servers = iceServers(configuration.iceServers);
      if (connections.size >= MAX_CONNECTIONS)
        throw new DOMException('Cannot create so many PeerConnections', 'UnknownError');
      this.#config = { iceServers: servers,
                       iceTransportPolicy: configuration.iceTransportPolicy === 'relay' ? 'relay' : 'all',
                       bundlePolicy: 'max-bundle', rtcpMuxPolicy: 'require' };
      this.#link.id = nextId++;
      connections.set(this.#link.id, this);
      this.#media = new Media(this, this.#link, () => this.#negotiationNeeded());
      out({ op: 'create', pc: this.#link.id, config: { iceServers: servers, iceTransportPolicy: this.#config.iceTransportPolicy } });
    }
    get signalingState() { return this.#signaling; }
    get iceGatheringState() { return this.#gathering; }
    get iceConnectionState() { return this.#ice; }
    get connectionState() { return this.#connection; }
    get localDescription() { return this.#local; }
    get remoteDescription() { return this.#remote; }
    get currentLocalDescription() { return this.#signaling === 'stable' ? this.#local : null; }
    get pendingLocalDescription() { return this.#signaling === 'stable' ? null : this.#local; }
    get currentRemoteDescription() { return this.#signaling === 'stable' ? this.#remote : null; }
    get pendingRemoteDescription() { return this.#signaling === 'stable' ? null : this.#remote; }
    get canTrickleIceCandidates() { return this.#remote ? true : null; }
    get sctp() { return null; }
    getConfiguration() { return JSON.parse(JSON.stringify(this.#config)); }
    setConfiguration(configuration) {
      if (this.#closed) throw invalidState("Failed to execute 'setConfiguration' on 'RTCPeerConnection': The RTCPeerConnection's signalingState is 'closed'.");
      this.#config.iceServers = iceServers((configuration || {}).iceServers);
    }
    #operation(name, step) {
      if (this.#closed) return Promise.reject(invalidState("Failed to execute '" + name + "' on 'RTCPeerConnection': The RTCPeerConnection's signalingState is 'closed'."));
      var self = this;
      var result = this.#chain.then(function () {
        if (self.#closed) throw invalidState('The RTCPeerConnection is closed.');
        if (self.#dead) throw new DOMException('The connection failed.', 'OperationError');
        return step();
      });
      this.#chain = result.catch(function () {});
      return result;
    }
    #setSignaling(state) {
      if (this.#signaling === state || this.#closed) return;
      this.#signaling = state;
      fire(this, 'signalingstatechange');
      if (state === 'stable' && this.#negotiation) this.#negotiationNeeded();
    }
    #negotiationNeeded() {
      var self = this;
      this.#negotiation = true;
      setTimeout(function () {
        if (self.#closed || self.#signaling !== 'stable' || !self.#negotiation) return;
        self.#negotiation = false;
        fire(self, 'negotiationneeded');
      }, 0);
    }
    createOffer() {
      var self = this;
      return this.#operation('createOffer', function () {
        return ask({ op: 'offer', pc: self.#link.id }).then(function (made) {
          self.#lastOffer = String(made.sdp);
          return { type: 'offer', sdp: self.#lastOffer };
        });
      });
    }
    createAnswer() {
      var self = this;
      return this.#operation('createAnswer', function () {
        if (self.#signaling !== 'have-remote-offer' && self.#signaling !== 'have-local-pranswer')
          throw invalidState("Failed to execute 'createAnswer' on 'RTCPeerConnection': PeerConnection cannot create an answer in a state other than have-remote-offer or have-local-pranswer.");
        return ask({ op: 'answer', pc: self.#link.id }).then(function (made) {
          self.#lastAnswer = String(made.sdp);
          return { type: 'answer', sdp: self.#lastAnswer };
        });
      });
    }
    setLocalDescription(description) {
      var self = this, type = description && description.type, sdp = description && description.sdp;
      return this.#operation('setLocalDescription', async function () {
        var state = self.#signaling;
        if (!type) type = state === 'have-remote-offer' || state === 'have-local-pranswer' ? 'answer' : 'offer';
        if (type === 'rollback') {
          if (state !== 'have-local-offer') throw invalidState('Failed to execute setLocalDescription: Called in wrong state: ' + state);
          await ask({ op: 'local', pc: self.#link.id, type: 'rollback', sdp: '' });
          self.#local = null;
          return self.#setSignaling('stable');
        }
        var offer = type === 'offer';
        if (offer ? state !== 'stable' && state !== 'have-local-offer'
                  : state !== 'have-remote-offer' && state !== 'have-local-pranswer')
          throw invalidState('Failed to set local ' + type + ' sdp: Called in wrong state: ' + state);
        if (!sdp) sdp = (offer ? self.#lastOffer : self.#lastAnswer) ||
            (await ask({ op: offer ? 'offer' : 'answer', pc: self.#link.id })).sdp;
        if (String(sdp).length > MAX_MESSAGE) throw new DOMException('The session description is larger than 256 kB.', 'OperationError');
        checkSdp(sdp);
        await ask({ op: 'local', pc: self.#link.id, type: type, sdp: String(sdp) });
        // Candidates wait until the description is set, after the transceivers are known.
        var made = new RTCSessionDescription({ type: type, sdp: sdp });
        await self.#media.sync(made, self.#remote, type === 'answer');
        self.#local = made;
        self.#setSignaling(offer ? 'have-local-offer' : type === 'pranswer' ? 'have-local-pranswer' : 'stable');
        var early = self.#early;
        self.#early = null;
        if (early) setTimeout(function () { early.forEach(function (item) { deliverToConnection(self, item); }); }, 0);
      });
    }
    setRemoteDescription(description) {
      var self = this, type = description && description.type, sdp = description && description.sdp;
      if (['offer', 'answer', 'pranswer', 'rollback'].indexOf(type) < 0)
        return Promise.reject(new TypeError("Failed to execute 'setRemoteDescription' on 'RTCPeerConnection': The provided value '" + type + "' is not a valid enum value of type RTCSdpType."));
      return this.#operation('setRemoteDescription', async function () {
        var state = self.#signaling;
        if (type === 'rollback') {
          if (state !== 'have-remote-offer') throw invalidState('Failed to execute setRemoteDescription: Called in wrong state: ' + state);
          await ask({ op: 'remote', pc: self.#link.id, type: 'rollback', sdp: '' });
          self.#remote = null;
          return self.#setSignaling('stable');
        }
        if (String(sdp || '').length > MAX_MESSAGE) throw new DOMException('The session description is larger than 256 kB.', 'OperationError');
        checkSdp(sdp || '');
        if (type === 'offer' && state === 'have-local-offer') {
          // An offer from the far end while ours waits: ours is rolled back first.
          await ask({ op: 'local', pc: self.#link.id, type: 'rollback', sdp: '' });
          self.#local = null;
          self.#setSignaling('stable');
          state = 'stable';
        }
        var offer = type === 'offer';
        if (offer ? state !== 'stable' && state !== 'have-remote-offer'
                  : state !== 'have-local-offer' && state !== 'have-remote-pranswer')
          throw invalidState('Failed to set remote ' + type + ' sdp: Called in wrong state: ' + state);
        await ask({ op: 'remote', pc: self.#link.id, type: type, sdp: String(sdp) });
        self.#remote = new RTCSessionDescription({ type: type, sdp: sdp });
        await self.#media.sync(self.#local, self.#remote, type === 'answer');
        self.#setSignaling(offer ? 'have-remote-offer' : type === 'pranswer' ? 'have-remote-pranswer' : 'stable');
      });
    }
    addIceCandidate(candidate) {
      var self = this;
      return this.#operation('addIceCandidate', async function () {
        if (!self.#remote) throw invalidState("Failed to execute 'addIceCandidate' on 'RTCPeerConnection': The remote description was null");
        if (candidate == null || !candidate.candidate) return;  // the end of the far end's candidates
        if (candidate.sdpMid == null && candidate.sdpMLineIndex == null)
          throw new TypeError("Failed to execute 'addIceCandidate' on 'RTCPeerConnection': Candidate missing values for both sdpMid and sdpMLineIndex");
        var mids = midsOf(self.#remote.sdp), index = candidate.sdpMLineIndex;
        if (candidate.sdpMid != null) index = mids.indexOf(String(candidate.sdpMid));
        var text = String(candidate.candidate).replace(/^a=/, '');
        if (!(index >= 0 && index < mids.length) || !/^candidate:/.test(text) || text.length > 4096)
          throw new DOMException("Failed to execute 'addIceCandidate' on 'RTCPeerConnection': Error processing ICE candidate", 'OperationError');
        await ask({ op: 'candidate', pc: self.#link.id, candidate: text, mline: index });
      });
    }
    restartIce() { if (!this.#closed) this.#negotiationNeeded(); }
    getStats() {
      var self = this;
      return this.#operation('getStats', function () {
        return ask({ op: 'stats', pc: self.#link.id }).then(function (answer) {
          var report = new RTCStatsReport(), stats = answer.stats || {};
          stats = self.#media.decorate(stats);
          Object.keys(stats).forEach(function (id) { report.set(id, stats[id]); });
          return report;
        });
      });
    }
    createDataChannel(label, options) {
      if (this.#closed) throw invalidState("Failed to execute 'createDataChannel' on 'RTCPeerConnection': The RTCPeerConnection's signalingState is 'closed'.");
      options = options || {};
      label = String(label === undefined ? '' : label);
      var fields = { label: label, protocol: String(options.protocol || ''), ordered: options.ordered !== false,
                     negotiated: !!options.negotiated, id: options.id == null ? -1 : Number(options.id),
                     maxRetransmits: options.maxRetransmits == null ? -1 : Number(options.maxRetransmits),
                     maxPacketLifeTime: options.maxPacketLifeTime == null ? -1 : Number(options.maxPacketLifeTime) };
      if (encoder.encode(label).length > 65535 || encoder.encode(fields.protocol).length > 65535)
        throw new TypeError("Failed to execute 'createDataChannel' on 'RTCPeerConnection': RTCDataChannel label or protocol is too long.");
      if (fields.maxRetransmits >= 0 && fields.maxPacketLifeTime >= 0)
        throw new TypeError("Failed to execute 'createDataChannel' on 'RTCPeerConnection': RTCDataChannelInit can not have both maxRetransmits and maxPacketLifeTime");
      if (fields.negotiated && !(fields.id >= 0))
        throw new TypeError("Failed to execute 'createDataChannel' on 'RTCPeerConnection': RTCDataChannelInit.negotiated is true but no id is given.");
      if (fields.id > 65534) throw new TypeError("Failed to execute 'createDataChannel' on 'RTCPeerConnection': RTCDataChannel is out of range.");
      var key = this.#nextChannel++;
      var channel = new RTCDataChannel(SECRET, this.#link, key, fields, 'connecting');
      this.#channels.set(key, channel);
      fields.op = 'channel'; fields.pc = this.#link.id; fields.channel = key;
      ask(fields).catch(function (error) { fire(channel, 'error', { error: error }); });
      return channel;
    }
    addTrack(track, ...streams) { return this.#media.addTrack(track, streams); }
    addTransceiver(trackOrKind, init) { return this.#media.addTransceiver(trackOrKind, init); }
    removeTrack(sender) { this.#media.removeTrack(sender); }
    getSenders() { return this.#media.list.filter(t => !t.stopped).map(t => t.sender); }
    getReceivers() { return this.#media.list.filter(t => !t.stopped).map(t => t.receiver); }
    getTransceivers() { return this.#media.list.slice(); }
    close() {
      if (this.#closed) return;
      this.#closed = true;
      this.#signaling = 'closed'; this.#ice = 'closed'; this.#connection = 'closed';
      this.#channels.forEach(function (channel) { deliverToChannel(channel, { event: 'ended' }); });
      connections.delete(this.#link.id);
      this.#media.close();
      out({ op: 'close', pc: this.#link.id });
    }
    #state(which, value) {
      if (which === 'ice-gathering-state' && value !== this.#gathering) {
        this.#gathering = value;
        fire(this, 'icegatheringstatechange');
        if (value === 'complete' && !this.#local) (this.#early = this.#early || []).push({ event: 'end-of-candidates' });
        else if (value === 'complete') fire(this, 'icecandidate', { candidate: null });
      } else if (which === 'ice-connection-state' && value !== this.#ice) {
        this.#ice = value;
        fire(this, 'iceconnectionstatechange');
      } else if (which === 'connection-state' && value !== this.#connection) {
        this.#connection = value;
        this.#media.update();
        fire(this, 'connectionstatechange');
      }
    }
    static {
      deliverToConnection = function (pc, item) {
        if (pc.#closed) return;
        var event = item.event, channel = pc.#channels.get(item.channel);
        if (event === 'negotiationneeded') pc.#negotiationNeeded();
        else if (event === 'frame' || event === 'keyframe' || event === 'loss') pc.#media.incoming(item);
        else if (event === 'end-of-candidates') fire(pc, 'icecandidate', { candidate: null });
        else if (event === 'candidate' && !pc.#local) (pc.#early = pc.#early || []).push(item);
        else if (event === 'candidate') {
          var index = Number(item.mline) || 0, mids = midsOf(pc.#local && pc.#local.sdp);
          fire(pc, 'icecandidate', { candidate: new RTCIceCandidate({ candidate: String(item.candidate), sdpMLineIndex: index, sdpMid: mids[index] || String(index) }) });
        } else if (event === 'state') {
          var states = ['new', 'checking', 'connecting', 'connected', 'completed', 'failed', 'disconnected', 'closed', 'gathering', 'complete'];
          if (states.indexOf(item.value) >= 0) pc.#state(String(item.which), item.value);
        } else if (event === 'datachannel' && item.channel < 0 && !channel) {
          channel = new RTCDataChannel(SECRET, pc.#link, item.channel, item, 'open');
          pc.#channels.set(item.channel, channel);
          fire(pc, 'datachannel', { channel: channel });
          if (channel.readyState === 'open') fire(channel, 'open');
        } else if (event === 'gone') {
          // The helper went: the connection failed, as a lost network would.
          pc.#dead = true;
          connections.delete(pc.#link.id);
          pc.#media.close();
          pc.#state('ice-connection-state', 'failed');
          pc.#state('connection-state', 'failed');
          pc.#channels.forEach(function (c) { deliverToChannel(c, { event: 'ended', loud: true }); });
        } else if (channel) deliverToChannel(channel, item);
      };
    }
  }
  handlerProperties(RTCPeerConnection.prototype, ['negotiationneeded', 'icecandidate', 'icecandidateerror',
      'signalingstatechange', 'iceconnectionstatechange', 'icegatheringstatechange', 'connectionstatechange',
      'datachannel', 'track']);
  RTCPeerConnection.generateCertificate = function () {
    return Promise.reject(new DOMException('Certificates are made by the connection itself.', 'NotSupportedError'));
  };
  class RTCStatsReport extends Map {}
  var exported = { RTCPeerConnection: RTCPeerConnection, RTCSessionDescription: RTCSessionDescription,
                   RTCIceCandidate: RTCIceCandidate, RTCDataChannel: RTCDataChannel, RTCStatsReport: RTCStatsReport,
                   RTCRtpSender: RTCRtpSender, RTCRtpReceiver: RTCRtpReceiver,
                   RTCRtpTransceiver: RTCRtpTransceiver, RTCTrackEvent: RTCTrackEvent };
  Object.keys(exported).forEach(function (name) {
    Object.defineProperty(window, name, { value: exported[name], writable: true, configurable: true });
  });
  }
})();
)JS";

}  // namespace

std::string callPageScript() {
    return std::string(CallScriptCommon) + CallScriptMedia + CallScriptTransceivers +
           kConnectionPart;
}

}  // namespace gtkui
