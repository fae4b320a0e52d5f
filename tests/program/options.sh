#!/usr/bin/env bash
# The programs' command line where no display exists: --help and --version
# answer and exit 0, a start without a display says so plainly and exits 1,
# an unknown option is refused. --forget-site-data works without a display,
# and a relative XDG folder is ignored: the data under the home folder goes,
# the folder relative to the working folder stays.
#   options.sh PATH-TO-whirligigcam PATH-TO-whirligigcam-demo
set -euo pipefail
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for program in "$@"; do
    name=$(basename "$program")
    # arguments | exit status | stream | text the stream must hold
    while IFS='|' read -r args status stream text; do
        got=0
        # A command line taken by mistake would wait for a window: the time limit ends it.
        env -u DISPLAY -u WAYLAND_DISPLAY timeout 60 "$program" $args \
            >"$tmp/stdout" 2>"$tmp/stderr" </dev/null || got=$?
        if [ "$got" -ne "$status" ]; then
            fail "$name $args: exit status $got, not $status: $(cat "$tmp/stdout" "$tmp/stderr")"
        elif ! grep -qF -- "${text//@NAME@/$name}" "$tmp/$stream"; then
            fail "$name $args: $stream lacks '$text': $(cat "$tmp/$stream")"
        fi
    done <<'EOF_CASES'
--version|0|stdout|@NAME@ 1.
--help|0|stdout|--verbose
--help|0|stdout|--version
|1|stderr|needs an X11 display
--verbose|1|stderr|needs an X11 display
--no-such-option|1|stderr|no-such-option
EOF_CASES

    home=$tmp/home-$name
    mkdir -p "$home/.local/share/$name" "$tmp/work/reldata/$name"
    got=0
    (cd "$tmp/work" && env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_CACHE_HOME HOME="$home" \
        XDG_DATA_HOME=reldata timeout 60 "$program" --forget-site-data \
        >"$tmp/stdout" 2>"$tmp/stderr" </dev/null) || got=$?
    if [ "$got" -ne 0 ]; then
        fail "$name --forget-site-data: exit status $got: $(cat "$tmp/stdout" "$tmp/stderr")"
    elif ! grep -qxF "removed website storage: $home/.local/share/$name" "$tmp/stdout"; then
        fail "$name --forget-site-data missed the home folder's data: $(cat "$tmp/stdout")"
    fi
    [ -d "$tmp/work/reldata/$name" ] || fail "$name --forget-site-data followed a relative XDG_DATA_HOME"
done

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "command line without a display: ok"
