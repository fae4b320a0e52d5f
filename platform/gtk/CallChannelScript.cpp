#include "platform/gtk/CallScripts.h"

namespace gtkui {

// The first part of the page's script: the link to the client's script of
// the frame (requests with numbered replies, events by connection), the
// common pieces, and RTCDataChannel. It leaves its function open: the
// connection part follows in the same scope.
extern const char* const CallScriptCommon;
const char* const CallScriptCommon = R"JS((function () {
  'use strict';
  if (typeof window.RTCPeerConnection === 'function') return;
  // Only a chat-site frame's client script cancels the probe; when it runs
  // after this script, it offers calls with an event of its own instead.
  if (!window.dispatchEvent(new CustomEvent('whirligig-calls-probe', { cancelable: true }))) {
    install();
  } else {
    window.addEventListener('whirligig-calls-offer', function offered() {
      window.removeEventListener('whirligig-calls-offer', offered);
      if (typeof window.RTCPeerConnection !== 'function') install();
    });
  }
  function install() {
  var MAX_MESSAGE = 262144, MAX_CONNECTIONS = 32, SECRET = {};
  var requests = new Map(), nextRequest = 1, connections = new Map(), nextId = 1;
  var encoder = new TextEncoder();
  var deliverToConnection, deliverToChannel;

  function out(message) {
    window.dispatchEvent(new CustomEvent('whirligig-calls-out', { detail: JSON.stringify(message) }));
  }
  function ask(message) {
    return new Promise(function (resolve, reject) {
      message.request = nextRequest++;
      requests.set(message.request, { resolve: resolve, reject: reject });
      out(message);
    });
  }
  function failure(name, message) {
    if (name === 'TypeError') return new TypeError(message);
    return new DOMException(message || 'The operation failed.', name || 'OperationError');
  }
  window.addEventListener('whirligig-calls-in', function (e) {
    var list;
    try { list = JSON.parse(e.detail); } catch (x) { return; }
    if (!Array.isArray(list)) return;
    list.forEach(function (item) {
      if (!item || typeof item !== 'object') return;
      if ('reply' in item) {
        var waiting = requests.get(item.reply);
        if (!waiting) return;
        requests.delete(item.reply);
        if (item.error) waiting.reject(failure(String(item.error.name), String(item.error.message)));
        else waiting.resolve(item);
        return;
      }
      var pc = connections.get(item.pc);
      if (!pc) return;
      try { deliverToConnection(pc, item); } catch (x) { setTimeout(function () { throw x; }); }
    });
  });
  function handlerProperties(proto, names) {
    names.forEach(function (name) {
      var key = Symbol(name);
      Object.defineProperty(proto, 'on' + name, {
        configurable: true, enumerable: true,
        get: function () { return this[key] ? this[key].handler : null; },
        set: function (handler) {
          if (this[key]) this.removeEventListener(name, this[key].listener);
          this[key] = null;
          if (typeof handler !== 'function') return;
          var self = this, entry = { handler: handler };
          entry.listener = function (e) { return entry.handler.call(self, e); };
          this[key] = entry;
          this.addEventListener(name, entry.listener);
        }
      });
    });
  }
  function fire(target, name, fields, EventType) {
    var event = EventType ? new EventType(name, fields) : new Event(name);
    if (fields && !EventType) Object.keys(fields).forEach(function (k) {
      Object.defineProperty(event, k, { value: fields[k], enumerable: true });
    });
    target.dispatchEvent(event);
  }
  function toBase64(bytes) {
    var text = '';
    for (var i = 0; i < bytes.length; i += 0x8000)
      text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(text);
  }
  function fromBase64(text) {
    var s = atob(text), bytes = new Uint8Array(s.length);
    for (var i = 0; i < s.length; i++) bytes[i] = s.charCodeAt(i);
    return bytes;
  }
  function notOpen(what) {
    return new DOMException("Failed to execute '" + what + "' on 'RTCDataChannel': RTCDataChannel.readyState is not 'open'", 'InvalidStateError');
  }

  class RTCDataChannel extends EventTarget {
    #pc; #key; #label; #protocol; #ordered; #negotiated; #id; #retransmits; #lifetime;
    #state; #binaryType = 'blob'; #pending = 0; #remote = 0; #threshold = 0;
    #sending = Promise.resolve();
    constructor(secret, pc, key, fields, state) {
      if (secret !== SECRET) throw new TypeError('Illegal constructor');
      super();
      this.#pc = pc; this.#key = key; this.#state = state;
      this.#label = String(fields.label || ''); this.#protocol = String(fields.protocol || '');
      this.#ordered = fields.ordered !== false; this.#negotiated = !!fields.negotiated;
      this.#id = fields.id >= 0 ? fields.id : null;
      this.#retransmits = fields.maxRetransmits >= 0 ? fields.maxRetransmits : null;
      this.#lifetime = fields.maxPacketLifeTime >= 0 ? fields.maxPacketLifeTime : null;
    }
    get label() { return this.#label; }
    get protocol() { return this.#protocol; }
    get ordered() { return this.#ordered; }
    get negotiated() { return this.#negotiated; }
    get id() { return this.#id; }
    get maxRetransmits() { return this.#retransmits; }
    get maxPacketLifeTime() { return this.#lifetime; }
    get readyState() { return this.#state; }
    get bufferedAmount() { return this.#pending + this.#remote; }
    get bufferedAmountLowThreshold() { return this.#threshold; }
    set bufferedAmountLowThreshold(value) {
      this.#threshold = Math.max(0, Math.floor(Number(value)) || 0);
      out({ op: 'threshold', pc: this.#pc.id, channel: this.#key, value: this.#threshold });
    }
    get binaryType() { return this.#binaryType; }
    set binaryType(value) { if (value === 'blob' || value === 'arraybuffer') this.#binaryType = value; }
    send(data) {
      if (this.#state !== 'open') throw notOpen('send');
      var size, make;
      if (data instanceof Blob) {
        size = data.size;
        make = function () { return data.arrayBuffer().then(function (b) { return { data: toBase64(new Uint8Array(b)) }; }); };
      } else if (data instanceof ArrayBuffer || ArrayBuffer.isView(data)) {
        var bytes = data instanceof ArrayBuffer ? new Uint8Array(data.slice(0))
            : new Uint8Array(data.buffer.slice(data.byteOffset, data.byteOffset + data.byteLength));
        size = bytes.length;
        make = function () { return { data: toBase64(bytes) }; };
      } else {
        var text = String(data);
        size = encoder.encode(text).length;
        make = function () { return { text: text }; };
      }
      if (size > MAX_MESSAGE)
        throw new TypeError("Failed to execute 'send' on 'RTCDataChannel': RTCDataChannel message is too long (" + size + ' bytes; the limit is 262144).');
      this.#pending += size;
      var self = this;
      // In order, Blobs too: each message waits for the one before it to be read.
      this.#sending = this.#sending.then(make).then(function (fields) {
        fields.op = 'send'; fields.pc = self.#pc.id; fields.channel = self.#key;
        ask(fields).then(function (reply) { self.#sent(size, Number(reply.buffered) || 0); },
                         function () { self.#sent(size, 0); });
      }, function () { self.#sent(size, 0); });
    }
    #sent(size, remote) {
      var before = this.bufferedAmount;
      this.#pending -= size;
      this.#remote = remote;
      if (before > this.#threshold && this.bufferedAmount <= this.#threshold) fire(this, 'bufferedamountlow');
    }
    close() {
      if (this.#state === 'closing' || this.#state === 'closed') return;
      this.#state = 'closing';
      out({ op: 'closechannel', pc: this.#pc.id, channel: this.#key });
    }
    static {
      deliverToChannel = function (channel, item) {
        if (item.event === 'open') {
          if (channel.#state !== 'connecting') return;
          channel.#state = 'open';
          if (item.id >= 0) channel.#id = item.id;
          fire(channel, 'open');
        } else if (item.event === 'close') {
          if (channel.#state === 'closed') return;
          channel.#state = 'closed';
          fire(channel, 'close');
        } else if (item.event === 'channelerror') {
          fire(channel, 'error', { error: new DOMException(String(item.message || ''), 'OperationError') });
        } else if (item.event === 'low') {
          var before = channel.bufferedAmount;
          channel.#remote = 0;
          if (before > channel.#threshold && channel.bufferedAmount <= channel.#threshold) fire(channel, 'bufferedamountlow');
        } else if (item.event === 'message' && channel.#state === 'open') {
          var data = typeof item.text === 'string' ? item.text : fromBase64(String(item.data || ''));
          if (typeof data !== 'string') data = channel.#binaryType === 'blob' ? new Blob([data]) : data.buffer;
          fire(channel, 'message', { data: data, origin: location.origin }, MessageEvent);
        } else if (item.event === 'ended') {
          // The connection closed (no event) or failed (with one).
          var was = channel.#state;
          channel.#state = 'closed';
          if (item.loud && was !== 'closed') fire(channel, 'close');
        } else if (item.event === 'opened') {
          channel.#state = 'open';
        }
      };
    }
  }
  handlerProperties(RTCDataChannel.prototype, ['open', 'message', 'close', 'closing', 'error', 'bufferedamountlow']);
)JS";

}  // namespace gtkui
