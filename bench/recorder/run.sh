#!/usr/bin/env bash
# Runs the recorder benchmark on an Xvfb of its own, then on the Xwayland of a
# headless weston (where ffmpeg's x11grab records black), and prints figures.
# Both recorders also record sound from a private PulseAudio server: the
# chat's beeps and a microphone (the monitor of a null sink "voice" that
# carries a 660 Hz tone), so the CPU figures include capturing, mixing and
# encoding sound, and the beeps measure how far sound and picture are apart.
#   bench/recorder/run.sh [build-dir] [seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
seconds=${2:-20}
bench="$build/bench/recorder/recorder_bench"
[ -x "$bench" ] || cmake --build "$build" -j2 --target recorder_bench

out=$(mktemp -d /tmp/recorder-bench-XXXXXX)
mkdir -p "$out/xvfb" "$out/xwayland" "$out/pulse"
chmod 700 "$out/pulse"
export PULSE_SERVER="unix:$out/pulse/pulse/native"
XDG_RUNTIME_DIR="$out/pulse" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --log-target=file:"$out/pulse.log" --load=module-native-protocol-unix \
  --load="module-null-sink sink_name=speakers" --load="module-null-sink sink_name=voice" &
pulse=$!
sound=()
trap 'kill ${sound[*]} $pulse 2>/dev/null; wait $pulse 2>/dev/null' EXIT
for _ in $(seq 1 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink speakers
pactl set-default-source voice.monitor
ffmpeg -nostdin -loglevel error -re -f lavfi -i sine=frequency=660:sample_rate=48000 \
  -af volume=0.3 -f pulse -device voice microphone &
sound+=($!)
# Null sinks render in blocks of up to two seconds until a stream asks for
# less: listeners that ask for 10 ms make them deliver as a sound card would.
for sink in speakers voice; do
  parec --latency-msec=10 -d $sink.monitor >/dev/null &
  sound+=($!)
done
sleep 2

exec 3>"$out/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
server=$!
trap 'kill $server ${sound[*]} $pulse 2>/dev/null; wait $server $pulse 2>/dev/null' EXIT
for _ in $(seq 1 100); do [ -s "$out/displayfd" ] && break; sleep 0.1; done

echo "== Xvfb =="
DISPLAY=":$(head -n1 "$out/displayfd")" \
  "$bench" compare --seconds "$seconds" --server-pid "$server" --out "$out/xvfb" --sound
kill $server 2>/dev/null
wait $server 2>/dev/null || true

echo
echo "== Xwayland under headless weston =="
export bench seconds out
"$root/scripts/with-weston" bash -c '
  xdpyinfo >/dev/null  # starts Xwayland
  xwayland=$(pgrep -P "$WESTON_PID" -x Xwayland)
  "$bench" compare --seconds "$seconds" --server-pid "$xwayland" --out "$out/xwayland" --sound'
echo "recordings and ffmpeg's logs: $out"
