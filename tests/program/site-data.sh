#!/usr/bin/env bash
# What the chat site keeps and shows through the client: its sign-in cookie is
# sent again on the next start with the same XDG folders and is gone after
# --forget-site-data; its notification reaches the desktop's notification
# service with its title and body. The data and cache folders are the user's
# alone (0700, files 0600), and --forget-site-data refuses while the window is
# open, also without a display and a session bus. Needs an X display with a
# window manager; runs in a D-Bus session of its own, with a stand-in
# notification service.
#   site-data.sh PATH-TO-whirligigcam-demo PATH-TO-whirligigcam-site PATH-TO-fake-notifications
set -euo pipefail
client=$1 site=$2 notifications=$3
[ -n "${DISPLAY:-}" ] || { echo "FAIL: no X display (run under xvfb-run)" >&2; exit 1; }
if [ -z "${WHIRLIGIG_OWN_BUS:-}" ]; then
    exec env WHIRLIGIG_OWN_BUS=1 dbus-run-session -- bash "$0" "$@"
fi

tmp=$(mktemp -d)
pids=()
cleanup() {
    set +e
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT
fatal() {
    echo "FAIL: $*" >&2
    for log in client site notified; do
        [ -s "$tmp/$log.log" ] && { echo "--- $log:" >&2; tail -n 30 "$tmp/$log.log" >&2; }
    done
    exit 1
}
wait_for() {
    local what=$1 limit=$2
    shift 2
    local deadline=$((SECONDS + limit))
    until "$@"; do
        ((SECONDS < deadline)) || fatal "gave up after $limit s waiting for $what"
        sleep 0.2
    done
}
export XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data XDG_CACHE_HOME=$tmp/cache
export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1
umask 022

"$notifications" >"$tmp/notified.log" 2>&1 &
pids+=($!)
wait_for "the notification service" 30 grep -qx ready "$tmp/notified.log"
"$site" --port 0 >"$tmp/site.out" 2>"$tmp/site.log" &
pids+=($!)
wait_for "the site" 30 grep -q '^Serving' "$tmp/site.out"
address=$(sed -n 's/^Serving \(http:[^ ]*\).*/\1/p' "$tmp/site.out")
address=${address%/}

# Runs the client against the site, with the chat page at chat (a path),
# until the site's log holds a line a number of times (and the notification
# service a line), then ends it as the desktop would.
run_client() {
    local chat=$1 line=$2 times=$3 notified=${4:-}
    mkdir -p "$XDG_CONFIG_HOME/whirligigcam"
    printf '[Addresses]\nUpdateBase=%s/update/\nChatStart=%s%s\nStatisticsPage=%s/stats/index.html\nUploadPage=%s/my_videos_upload\n' \
        "$address" "$address" "$chat" "$address" "$address" >"$XDG_CONFIG_HOME/whirligigcam/whirligigcam.conf"
    "$client" --verbose >"$tmp/client.log" 2>&1 &
    local pid=$!
    pids+=($pid)
    seen() {
        kill -0 "$pid" 2>/dev/null || fatal "the client ended early"
        [ "$(grep -cF "$line" "$tmp/site.log")" -ge "$times" ]
    }
    wait_for "'$line' in the site's log" 120 seen
    [ -z "${while_open:-}" ] || "$while_open"
    [ -z "$notified" ] || wait_for "the notification" 60 grep -qxF "$notified" "$tmp/notified.log"
    kill -TERM "$pid"
    wait "$pid" || fatal "the client ended with status $? on SIGTERM"
}

# Modes of a path, and a forget that must be refused under the open window.
mode() { stat -c %a "$1"; }
refuse_forget() {
    local got=0
    env -u DISPLAY DBUS_SESSION_BUS_ADDRESS=unix:path=$tmp/no-bus "$client" --forget-site-data \
        >"$tmp/forget.log" 2>&1 || got=$?
    [ "$got" -eq 1 ] && grep -q 'close its window first' "$tmp/forget.log" ||
        fatal "--forget-site-data under the open window: status $got: $(cat "$tmp/forget.log")"
    [ -f "$data/cookies.sqlite" ] || fatal "the open window's cookies were removed"
}

# A data folder left readable by an older version, with a file in it.
data=$XDG_DATA_HOME/$(basename "$client")
mkdir -p -m 755 "$data/old"
echo left >"$data/old/left.txt"
run_client "/?signin=Ann&notify=now" "GET /visitor/Ann " 1 "Whirly|Hi Ann, are you on camera?"
echo "first start: signed in, and the site's notification reached the desktop"
for path in "$data" "$data/old" "$XDG_CACHE_HOME/$(basename "$client")"; do
    [ "$(mode "$path")" = 700 ] || fatal "$path has mode $(mode "$path"), not 700"
done
for path in "$data/cookies.sqlite" "$data/old/left.txt"; do
    [ "$(mode "$path")" = 600 ] || fatal "$path has mode $(mode "$path"), not 600"
done
while_open=refuse_forget run_client "/" "GET /visitor/Ann " 2
echo "second start: the login was kept"
env -u DISPLAY "$client" --forget-site-data >"$tmp/forget.log" 2>&1 || fatal "--forget-site-data failed: $(cat "$tmp/forget.log")"
grep -q '^removed cookies: ' "$tmp/forget.log" || fatal "--forget-site-data named no cookies: $(cat "$tmp/forget.log")"
run_client "/" "GET /visitor/anonymous " 1
echo "after --forget-site-data: signed out"
