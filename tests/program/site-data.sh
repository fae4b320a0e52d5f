#!/usr/bin/env bash
# What the chat site keeps and shows through the client: its sign-in cookie is
# sent again on the next start with the same XDG folders and is gone after
# --forget-site-data; its notification reaches the desktop's notification
# service with its title and body. Needs an X display with a window manager;
# runs in a D-Bus session of its own, with a stand-in notification service.
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
    [ -z "$notified" ] || wait_for "the notification" 60 grep -qxF "$notified" "$tmp/notified.log"
    kill -TERM "$pid"
    wait "$pid" || fatal "the client ended with status $? on SIGTERM"
}

run_client "/?signin=Ann&notify=now" "GET /visitor/Ann " 1 "Whirly|Hi Ann, are you on camera?"
echo "first start: signed in, and the site's notification reached the desktop"
run_client "/" "GET /visitor/Ann " 2
echo "second start: the login was kept"
"$client" --forget-site-data >"$tmp/forget.log" 2>&1 || fatal "--forget-site-data failed: $(cat "$tmp/forget.log")"
grep -q '^removed cookies: ' "$tmp/forget.log" || fatal "--forget-site-data named no cookies: $(cat "$tmp/forget.log")"
run_client "/" "GET /visitor/anonymous " 1
echo "after --forget-site-data: signed out"
