#include "platform/gtk/CallScripts.h"

namespace gtkui {

// The media part of the page's script, between the common part and the
// connection part, in the same scope. The page's own tracks are encoded here
// with WebCodecs (VP8 and Opus) and their frames go to the helper; the far
// end's frames come back, are decoded here and play as the receivers'
// tracks: a canvas's captureStream for video, an AudioWorklet into a
// MediaStreamAudioDestinationNode for sound.
extern const char* const CallScriptMedia;
const char* const CallScriptMedia = R"JS(
  var audioContext = null, audioModules = null, silence = null;
  function sharedContext() {
    if (!audioContext) {
      audioContext = new AudioContext({ sampleRate: 48000 });
      // The graph runs only while something reaches the speakers: nothing audible does.
      silence = audioContext.createGain();
      silence.gain.value = 0;
      silence.connect(audioContext.destination);
      var code =
        'registerProcessor("whirligig-tap", class extends AudioWorkletProcessor {' +
        ' constructor() { super(); this.b = new Float32Array(960); this.n = 0; }' +
        ' process(inputs) { var c = inputs[0] && inputs[0][0]; if (!c) return true;' +
        '  for (var i = 0; i < c.length; i++) { this.b[this.n++] = c[i];' +
        '   if (this.n === 960) { this.port.postMessage(this.b, [this.b.buffer]); this.b = new Float32Array(960); this.n = 0; } }' +
        '  return true; } });' +
        'registerProcessor("whirligig-play", class extends AudioWorkletProcessor {' +
        ' constructor() { super(); this.q = []; this.at = 0;' +
        '  this.port.onmessage = e => { this.q.push(e.data); if (this.q.length > 12) this.q.splice(0, this.q.length - 3); }; }' +
        ' process(inputs, outputs) { var out = outputs[0][0], i = 0;' +
        '  while (i < out.length && this.q.length) { var b = this.q[0], n = Math.min(out.length - i, b.length - this.at);' +
        '   out.set(b.subarray(this.at, this.at + n), i); i += n; this.at += n;' +
        '   if (this.at >= b.length) { this.q.shift(); this.at = 0; } }' +
        '  for (var c = 1; c < outputs[0].length; c++) outputs[0][c].set(out);' +
        '  return true; } });';
      audioModules = audioContext.audioWorklet.addModule(URL.createObjectURL(new Blob([code], { type: 'text/javascript' })));
    }
    if (audioContext.state === 'suspended') audioContext.resume().catch(function () {});
    return audioContext;
  }
  function sharedAudio() {
    var context = sharedContext();
    return audioModules.then(function () { return context; });
  }
  // The media elements that were given a stream: a received sound track plays
  // as loud as the loudest of them that plays it (none: silent).
  var players = [];
  (function () {
    var property = Object.getOwnPropertyDescriptor(HTMLMediaElement.prototype, 'srcObject');
    if (!property || !property.set) return;
    Object.defineProperty(HTMLMediaElement.prototype, 'srcObject', {
      configurable: true, enumerable: property.enumerable, get: property.get,
      set: function (value) {
        property.set.call(this, value);
        if (value instanceof MediaStream && !players.some(function (p) { return p.deref() === this; }, this))
          players.push(new WeakRef(this));
      }
    });
  })();
  function loudness(track) {
    var level = 0;
    players = players.filter(function (p) { return p.deref(); });
    players.forEach(function (p) {
      var element = p.deref(), stream = element.srcObject;
      if (stream instanceof MediaStream && !element.paused && !element.muted && stream.getAudioTracks().indexOf(track) >= 0)
        level = Math.max(level, element.volume);
    });
    return level;
  }
  // A failure of the page's media is told in the page's console and the client's log (the first 20).
  var warnings = 0;
  function warn(what, error) {
    var text = what + ': ' + (error && error.message || error);
    console.warn('RTCPeerConnection: ' + text);
    if (warnings++ < 20) out({ op: 'warn', text: text });
  }

  // Encodes a video track at its own frame rate; send(bytes, key) takes each frame.
  function videoPump(track, send) {
    var video = document.createElement('video'), canvas = null, encoder = null, stopped = false, timer = 0;
    var width = 0, height = 0, bitrate = 1200000, count = 0, wantKey = true, start = performance.now();
    var rate = Math.min(60, Math.max(1, (track.getSettings && track.getSettings().frameRate) || 30));
    // Not muted (the stream has no sound): an engine may hold back a muted
    // video that is not on screen, and this one never is.
    video.playsInline = true; video.srcObject = new MediaStream([track]);
    video.play().catch(function () {});
    function configure() {
      encoder.configure({ codec: 'vp8', width: width, height: height, bitrate: bitrate, framerate: rate, latencyMode: 'realtime' });
    }
    function tick() {
      if (stopped) return;
      timer = setTimeout(tick, 1000 / rate);
      var source = track.canvas ? { width: track.canvas.width, height: track.canvas.height }
                                : { width: video.readyState >= 2 ? video.videoWidth : 0, height: video.videoHeight };
      if (track.readyState === 'ended' || !source.width || !source.height) return;
      var w = source.width & ~1, h = source.height & ~1;
      if (!encoder || w !== width || h !== height) {
        if (encoder && encoder.state !== 'closed') encoder.close();
        encoder = new VideoEncoder({
          output: function (chunk) { var bytes = new Uint8Array(chunk.byteLength); chunk.copyTo(bytes); send(bytes, chunk.type === 'key'); },
          error: function (e) { warn('the video encoder failed', e); encoder = null; }
        });
        width = w; height = h; wantKey = true;
        configure();
      }
      if (encoder.encodeQueueSize > 2) return;
      var stamp = { timestamp: Math.round((performance.now() - start) * 1000) }, frame;
      // A canvas's track is read from its canvas; another from the video element.
      try { frame = new VideoFrame(track.canvas || video, stamp); } catch (e) {
        canvas = canvas || document.createElement('canvas');
        canvas.width = w; canvas.height = h;
        canvas.getContext('2d').drawImage(video, 0, 0, w, h);
        frame = new VideoFrame(canvas, stamp);
      }
      encoder.encode(frame, { keyFrame: wantKey || count % 900 === 0 });
      frame.close();
      wantKey = false; count++;
    }
    tick();
    return {
      stop: function () { stopped = true; clearTimeout(timer); if (encoder && encoder.state !== 'closed') encoder.close(); video.srcObject = null; },
      keyframe: function () { wantKey = true; },
      // The far end's loss in percent: less over 10 %, a little more under 2 %.
      loss: function (percent) {
        var next = Math.max(150000, Math.min(2500000, percent > 10 ? bitrate * 0.7 : percent < 2 ? bitrate * 1.05 : bitrate));
        if (Math.abs(next - bitrate) < 20000 || !encoder || encoder.state !== 'configured') return;
        bitrate = Math.round(next);
        configure();
      }
    };
  }

  // Encodes a sound track as Opus, 20 ms a frame.
  function audioPump(track, send) {
    var stopped = false, source = null, tap = null, stamp = 0;
    var encoder = new AudioEncoder({
      output: function (chunk) { var bytes = new Uint8Array(chunk.byteLength); chunk.copyTo(bytes); send(bytes, true); },
      error: function (e) { warn('the sound encoder failed', e); }
    });
    encoder.configure({ codec: 'opus', sampleRate: 48000, numberOfChannels: 1, bitrate: 48000 });
    sharedAudio().then(function (context) {
      if (stopped) return;
      source = context.createMediaStreamSource(new MediaStream([track]));
      tap = new AudioWorkletNode(context, 'whirligig-tap', { channelCount: 1, channelCountMode: 'explicit' });
      tap.port.onmessage = function (e) {
        if (encoder.state !== 'configured') return;
        var data = new AudioData({ format: 'f32-planar', sampleRate: context.sampleRate, numberOfFrames: e.data.length,
                                   numberOfChannels: 1, timestamp: stamp, data: e.data });
        stamp += e.data.length * 1e6 / context.sampleRate;
        encoder.encode(data);
        data.close();
      };
      source.connect(tap);
      tap.connect(silence);
    }, function (e) { warn('no sound worklet', e); });
    return {
      stop: function () { stopped = true; if (tap) { source.disconnect(); tap.disconnect(); } if (encoder.state !== 'closed') encoder.close(); },
      keyframe: function () {}, loss: function () {}
    };
  }

  // The far end's video: decoded onto a canvas whose stream is the receiver's track.
  function videoSink(askKeyframe) {
    var canvas = document.createElement('canvas'), decoder = null, waitKey = true, decoded = 0;
    canvas.width = 2; canvas.height = 2;
    // Frames are pushed to the track as they are drawn (the engine does not
    // notice a drawImage of a VideoFrame on a canvas outside the document).
    var context = canvas.getContext('2d'), track = canvas.captureStream(0).getVideoTracks()[0];
    function make() {
      decoder = new VideoDecoder({
        output: function (frame) {
          if (canvas.width !== frame.displayWidth || canvas.height !== frame.displayHeight) {
            canvas.width = frame.displayWidth; canvas.height = frame.displayHeight;
          }
          context.drawImage(frame, 0, 0);
          frame.close();
          if (track.requestFrame) track.requestFrame();
          decoded++;
        },
        error: function (e) { warn('a frame did not decode', e); waitKey = true; askKeyframe(); }
      });
      decoder.configure({ codec: 'vp8', optimizeForLatency: true });
    }
    return {
      track: track,
      decoded: function () { return decoded; },
      take: function (bytes, key) {
        if (waitKey && !key) return;
        if (!decoder || decoder.state === 'closed') make();
        waitKey = false;
        decoder.decode(new EncodedVideoChunk({ type: key ? 'key' : 'delta', timestamp: Math.round(performance.now() * 1000), data: bytes }));
      },
      stop: function () { if (decoder && decoder.state !== 'closed') decoder.close(); track.stop(); }
    };
  }

  // The far end's sound: decoded into a worklet that plays into the track.
  function audioSink() {
    var player = null, stamp = 0, decoded = 0;
    var decoder = new AudioDecoder({
      output: function (data) {
        var samples = new Float32Array(data.numberOfFrames);
        try { data.copyTo(samples, { planeIndex: 0, format: 'f32-planar' }); } catch (e) {
          var all = new Int16Array(data.numberOfFrames * data.numberOfChannels);
          data.copyTo(all, { planeIndex: 0 });
          for (var i = 0; i < samples.length; i++) samples[i] = all[i * data.numberOfChannels] / 32768;
        }
        data.close();
        decoded++;
        if (player) player.port.postMessage(samples, [samples.buffer]);
      },
      error: function (e) { warn('sound did not decode', e); }
    });
    decoder.configure({ codec: 'opus', sampleRate: 48000, numberOfChannels: 1 });
    var context = sharedContext(), destination = context.createMediaStreamDestination();
    var track = destination.stream.getAudioTracks()[0], volume = context.createGain();
    // The engine's media elements do not play a track made by Web Audio:
    // the sound plays here, at the volume of the elements that play the track.
    volume.gain.value = 0;
    volume.connect(context.destination);
    var following = setInterval(function () { volume.gain.value = loudness(track); }, 200);
    sharedAudio().then(function () {
      player = new AudioWorkletNode(context, 'whirligig-play', { numberOfInputs: 0, outputChannelCount: [1] });
      player.connect(destination);
      player.connect(volume);
    }, function (e) { warn('no sound worklet', e); });
    return {
      track: track,
      decoded: function () { return decoded; },
      take: function (bytes) {
        if (decoder.state !== 'configured') return;
        decoder.decode(new EncodedAudioChunk({ type: 'key', timestamp: stamp, data: bytes }));
        stamp += 20000;
      },
      stop: function () {
        clearInterval(following);
        volume.disconnect();
        if (decoder.state !== 'closed') decoder.close();
        if (player) player.disconnect();
      }
    };
  }
)JS";

}  // namespace gtkui
