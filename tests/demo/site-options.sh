#!/usr/bin/env bash
# The demo site's command line: bad options are refused with the usage text,
# and --update-delay-ms holds the update reply back while other pages are
# served (what scripts/demo relies on to show the start screen).
#   site-options.sh PATH-TO-whirligigcam-site
set -euo pipefail
site=$1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
tmp=$(mktemp -d)
pids=()
cleanup() {
    set +e
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT

# Refused: each line is one command line.
while read -r -a args; do
    status=0
    # A command line taken by mistake starts the server: the time limit ends it.
    timeout 10 "$site" "${args[@]}" >"$tmp/out" 2>&1 || status=$?
    if [ "$status" -ne 2 ] || ! grep -q '^usage:' "$tmp/out"; then
        fail "'${args[*]}' gave status $status: $(cat "$tmp/out")"
    fi
done <<'EOF_ARGS'
--update-delay-ms
--update-delay-ms abc
--update-delay-ms -5
--update-delay-ms +5
--update-delay-ms 600001
--update-delay-ms 99999999999999999999999
--port 65536
--port 80x
--port ""
--unknown
EOF_ARGS

# Starts the site on a free port with the given options; sets port.
start() {
    "$site" --port 0 "$@" >"$tmp/site.out" 2>"$tmp/site.log" &
    pids+=($!)
    local pid=$! deadline=$((SECONDS + 30))
    until grep -q '^Serving' "$tmp/site.out"; do
        kill -0 "$pid" 2>/dev/null || { fail "the site did not start: $(cat "$tmp/site.log")"; return 1; }
        ((SECONDS < deadline)) || { fail "the site did not start within 30 s"; return 1; }
        sleep 0.1
    done
    port=$(sed -n 's|^Serving http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$tmp/site.out")
}
# Sends a GET request on file descriptor fd. fd, path.
request() { printf 'GET %s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' "$2" >&"$1"; }
# Reads the whole answer from a file descriptor (the server closes it).
answer() { cat <&"$1"; }
# Reads the status line of the answer on a file descriptor, waiting up to
# 30 s; sets status_line. Read directly, not through a pipeline: a reader that
# stops early would leave its writer to die of SIGPIPE, which pipefail reports.
read_status() { status_line=""; IFS= read -r -t 30 -u "$1" status_line; }

# Held: the update request is sent first, the chat page is then asked for
# and fully answered, and the update answer has not begun.
if start --update-delay-ms 600000 --update-reply true; then
    exec 3<>"/dev/tcp/127.0.0.1/$port"
    request 3 /update/1
    exec 4<>"/dev/tcp/127.0.0.1/$port"
    request 4 /
    if ! read_status 4 || [[ $status_line != *' 200 '* ]]; then
        fail "the chat page was not served while the reply was held: '$status_line'"
    fi
    if read -r -t 0 -u 3; then
        read_status 3 || true
        fail "the update reply was not held back: '$status_line'"
    fi
    exec 3<&- 4<&-
    kill "${pids[-1]}" && wait "${pids[-1]}" || true
fi

# Not held: the reply arrives with the chosen text.
if start --update-delay-ms 0 --update-reply critical; then
    exec 3<>"/dev/tcp/127.0.0.1/$port"
    request 3 /update/1
    body=$(answer 3 | tail -n 1)
    [ "$body" = "update=critical" ] || fail "the update reply was '$body'"
    exec 3<&-
fi

[ "$failures" -eq 0 ] || exit 1
echo "site options: ok"
