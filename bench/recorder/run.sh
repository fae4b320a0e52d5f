#!/usr/bin/env bash
# Runs the recorder benchmark on an Xvfb of its own, then on the Xwayland of a
# headless weston (where ffmpeg's x11grab records black), and prints figures.
#   bench/recorder/run.sh [build-dir] [seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
seconds=${2:-20}
bench="$build/bench/recorder/recorder_bench"
[ -x "$bench" ] || cmake --build "$build" -j2 --target recorder_bench

out=$(mktemp -d /tmp/recorder-bench-XXXXXX)
mkdir -p "$out/xvfb" "$out/xwayland"
exec 3>"$out/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null' EXIT
for _ in $(seq 1 100); do [ -s "$out/displayfd" ] && break; sleep 0.1; done

echo "== Xvfb =="
DISPLAY=":$(head -n1 "$out/displayfd")" \
  "$bench" compare --seconds "$seconds" --server-pid "$server" --out "$out/xvfb"
kill $server 2>/dev/null
wait $server 2>/dev/null || true

echo
echo "== Xwayland under headless weston =="
export bench seconds out
"$root/scripts/with-weston" bash -c '
  xdpyinfo >/dev/null  # starts Xwayland
  xwayland=$(pgrep -P "$WESTON_PID" -x Xwayland)
  "$bench" compare --seconds "$seconds" --server-pid "$xwayland" --out "$out/xwayland"'
echo "recordings and ffmpeg's logs: $out"
