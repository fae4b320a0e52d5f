#!/usr/bin/env bash
# One instance per session: with the first window minimised, a second start of
# the program brings that window back to the front and exits 0 without a
# window of its own. Needs an X display with a window manager; runs in a D-Bus
# session of its own, where the running instance is found.
#   second-start.sh PATH-TO-whirligigcam
set -euo pipefail
program=$1
[ -n "${DISPLAY:-}" ] || { echo "FAIL: no X display (run under xvfb-run)" >&2; exit 1; }
if [ -z "${WHIRLIGIG_OWN_BUS:-}" ]; then
    exec env WHIRLIGIG_OWN_BUS=1 dbus-run-session -- bash "$0" "$@"
fi

tmp=$(mktemp -d)
first=
cleanup() {
    set +e
    [ -n "$first" ] && kill "$first" 2>/dev/null && wait "$first" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
fatal() {
    echo "FAIL: $*" >&2
    echo "first instance's output:" >&2
    cat "$tmp/first.log" >&2
    exit 1
}
# No settings files of this user, a fresh web state.
export XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data XDG_CACHE_HOME=$tmp/cache
export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1

# Waits, checking every fifth of a second, for a command to succeed.
# what, seconds, command...
wait_for() {
    local what=$1 limit=$2
    shift 2
    local deadline=$((SECONDS + limit))
    until "$@"; do
        ((SECONDS < deadline)) || fatal "gave up after $limit s waiting for $what"
        sleep 0.2
    done
}
windows_of() { xdotool search --onlyvisible --pid "$1" --name '^Whirligigcam Desktop$' 2>/dev/null; }
first_window_shown() {
    kill -0 "$first" 2>/dev/null || fatal "the first instance ended"
    window=$(windows_of "$first") || true
    window=${window%%$'\n'*}
    [ -n "$window" ]
}
state_of() { xprop -id "$window" WM_STATE 2>/dev/null | sed -n 's/.*window state: //p'; }
is_iconic() { [ "$(state_of)" = Iconic ]; }
is_active() { [ "$(state_of)" = Normal ] && [ "$(xdotool getactivewindow 2>/dev/null)" = "$window" ]; }

"$program" >"$tmp/first.log" 2>&1 &
first=$!
window=
wait_for "the first window" 120 first_window_shown
# The request is sent again until it takes: a window manager ignores it for a
# window it has not taken over yet.
minimised() { is_iconic || { xdotool windowminimize "$window" 2>/dev/null; false; }; }
wait_for "the first window to be minimised" 60 minimised

status=0
timeout 120 "$program" >"$tmp/second.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || fatal "the second start exited with $status: $(cat "$tmp/second.log")"
wait_for "the first window to come back to the front" 60 is_active
kill -0 "$first" 2>/dev/null || fatal "the first instance ended"
count=$(xdotool search --onlyvisible --name '^Whirligigcam Desktop$' | wc -l)
[ "$count" -eq 1 ] || fatal "$count windows named Whirligigcam Desktop, not 1"
echo "second start: the first window came to the front, the second process exited 0"
