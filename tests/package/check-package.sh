#!/usr/bin/env bash
# Builds the Debian packages (whirligigcam and whirligigcam-demo) from a build
# tree with cpack, checks them with lintian, checks their control data and
# their files, unpacks them into a fresh root and runs the unpacked
# whirligigcam-demo with --verbose against the unpacked whirligigcam-site on
# the built-in port.
#
#   check-package.sh BUILD_DIR PORT run|norun
#
# With WHIRLIGIG_PACKAGE_INSTALL=apt (as root, on a system made for the test,
# such as CI's Debian 13 root) it installs both packages with apt instead,
# which completes them from the archive, runs the installed programs and
# removes the packages again at the end.
#
# "norun" skips running the programs (the built-in addresses do not point at
# the demo site). Needs an X display for the run.
set -euo pipefail
build=$1 port=$2 run=$3

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
fatal() { echo "FAIL: $*" >&2; exit 1; }

tmp=$(mktemp -d)
client_log=$tmp/client.log
pids=()
installed=""
cleanup() {
    set +e
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    [ -z "$installed" ] || DEBIAN_FRONTEND=noninteractive apt-get purge -y -q \
        whirligigcam-demo whirligigcam >"$tmp/purge.log" 2>&1 ||
        echo "could not remove the installed packages: $(cat "$tmp/purge.log")" >&2
    rm -rf "$tmp"
}
trap cleanup EXIT

# ---- The packages ----
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
    fatal "cpack failed: $(tail -n 20 "$tmp/cpack.log")"
deb= demo_deb=
for file in "$tmp"/out/*.deb; do
    [ -f "$file" ] || continue
    echo "package: $(basename "$file") ($(stat -c %s "$file") bytes)"
    case $(dpkg-deb -f "$file" Package) in
    whirligigcam) deb=$file ;;
    whirligigcam-demo) demo_deb=$file ;;
    *) fail "unexpected package $(basename "$file")" ;;
    esac
done
[ -n "$deb" ] || fatal "cpack made no whirligigcam package"
[ -n "$demo_deb" ] || fatal "cpack made no whirligigcam-demo package"
[ "$(dpkg-deb -f "$demo_deb" Depends | grep -o 'whirligigcam (= [^)]*)')" = \
    "whirligigcam (= $(dpkg-deb -f "$deb" Version))" ] ||
    fail "whirligigcam-demo does not depend on this version of whirligigcam"
# The revision names the Debian release the packages were built on.
release=$(. /etc/os-release && [ "${ID:-}" = debian ] && echo "${VERSION_ID:-}")
if [ -n "$release" ]; then
    [[ $(dpkg-deb -f "$deb" Version) == *"~deb$release" ]] ||
        fail "the version $(dpkg-deb -f "$deb" Version) does not end in ~deb$release"
fi

# lintian, pedantic: every tag left at info or pedantic level is overridden in
# the package with its reason, so any tag it still shows fails.
# The spelling check of binaries is left out: newer compilers store pieces of
# string literals as immediate values, and it reads a piece ("updat") as a word.
if command -v lintian >/dev/null; then
    if ! lintian -I -E --pedantic --fail-on error,warning,info,pedantic \
        --suppress-tags spelling-error-in-binary "$deb" "$demo_deb" \
        >"$tmp/lintian" 2>&1; then
        fail "lintian: $(cat "$tmp/lintian")"
    else
        echo "lintian -I -E --pedantic: no tags"
    fi
else
    fail "lintian is not installed (scripts/install-deps installs it)"
fi

# Depends: every entry a package this system knows (or the client), no
# development package, Mesa's GL drivers, and the package of each library the
# programs link to.
depends_of() {
    tr ',|' '\n\n' <<<"$(dpkg-deb -f "$1" Depends)" | sed -e 's/(.*)//' -e 's/:.*//' -e 's/ //g' |
        sed '/^$/d'
}
for package in "$deb" "$demo_deb"; do
    echo "$(dpkg-deb -f "$package" Package) depends on: $(dpkg-deb -f "$package" Depends)"
    mapfile -t wanted < <(depends_of "$package")
    [ ${#wanted[@]} -gt 0 ] || fail "$(basename "$package") depends on nothing"
    for name in "${wanted[@]}"; do
        case $name in *-dev) fail "depends on a development package: $name" ;; esac
        [ "$name" = whirligigcam ] || dpkg-query -W "$name" >/dev/null 2>&1 ||
            fail "depends on $name, which this system does not know"
    done
done
# has_dependency PACKAGE-FILE NAME
has_dependency() {
    local list
    list=$'\n'$(depends_of "$1")$'\n'
    [[ $list == *$'\n'"$2"$'\n'* ]]
}
has_dependency "$deb" libgl1-mesa-dri || fail "does not depend on libgl1-mesa-dri"
# The GStreamer plugins WebKit loads for the chat's camera, microphone and sound.
for name in gstreamer1.0-plugins-base gstreamer1.0-plugins-good; do
    has_dependency "$deb" "$name" || fail "does not depend on $name"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
echo "whirligigcam recommends: $recommends"
[[ ", $recommends," == *", gstreamer1.0-libav,"* ]] || fail "does not recommend gstreamer1.0-libav"

# ---- Its files, unpacked into a fresh root or installed ----
! dpkg-deb -c "$deb" | grep -qE '/usr/bin/whirligigcam-(demo|site)( |$)' ||
    fail "the demo programs are in the whirligigcam package"
if [ "${WHIRLIGIG_PACKAGE_INSTALL:-}" = apt ]; then
    root=""
    installed=yes
    kind=installed
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb" \
        "$demo_deb" >"$tmp/apt.log" 2>&1 || fatal "apt cannot install the packages: $(tail -n 20 "$tmp/apt.log")"
    echo "apt installed both packages"
else
    root=$tmp/root
    kind=unpacked
    mkdir "$root"
    dpkg -x "$deb" "$root"
    dpkg -x "$demo_deb" "$root"
fi
app=$root/usr/lib/whirligigcam
share=$root/usr/share/whirligigcam
for program in whirligigcam whirligigcam-demo whirligigcam-site; do
    link=$root/usr/bin/$program
    if [ ! -L "$link" ]; then
        fail "usr/bin/$program is not a link"
    elif [ "$(readlink -f "$link")" != "$(readlink -f "$app/$program")" ]; then
        fail "usr/bin/$program leads to $(readlink "$link"), not usr/lib/whirligigcam/$program"
    elif [ ! -x "$app/$program" ]; then
        fail "usr/lib/whirligigcam/$program is not an executable"
    fi
done
# The call helper beside the client, started by it only: no link in usr/bin.
[ -x "$app/whirligigcam-call-helper" ] && [ ! -e "$root/usr/bin/whirligigcam-call-helper" ] ||
    fail "usr/lib/whirligigcam/whirligigcam-call-helper is missing or linked from usr/bin"
# The resources are in usr/share/whirligigcam, with links to them in the
# application folder.
for folder in HTML icons; do
    [ -L "$app/$folder" ] && [ "$(readlink -f "$app/$folder")" = "$(readlink -f "$share/$folder")" ] ||
        fail "usr/lib/whirligigcam/$folder does not lead to usr/share/whirligigcam/$folder"
done
# The bundled Flash player: only its run-time files and licences.
if [ -L "$app/flashplayer" ]; then
    [ "$(readlink -f "$app/flashplayer")" = "$(readlink -f "$share/flashplayer")" ] ||
        fail "usr/lib/whirligigcam/flashplayer does not lead to usr/share/whirligigcam/flashplayer"
    shipped=$(cd "$share/flashplayer" && ls | sed -E 's/[0-9a-f]{20}/HASH/g' | sort | tr '\n' ' ')
    [ "$shipped" = "HASH.wasm HASH.wasm LICENSE_APACHE LICENSE_MIT core.ruffle.HASH.js core.ruffle.HASH.js ruffle.js " ] ||
        fail "usr/share/whirligigcam/flashplayer holds: $shipped"
    grep -q '^Files: usr/share/whirligigcam/flashplayer/' "$root/usr/share/doc/whirligigcam/copyright" ||
        fail "the copyright file does not name the Flash player's licence"
else
    fail "no bundled Flash player in usr/lib/whirligigcam/flashplayer"
fi
for file in HTML/Dialog.html HTML/Body.html HTML/Style.css HTML/Script.js HTML/Img/bg.gif \
    HTML/Img/logo.gif HTML/Img/im_button.gif HTML/Img/trans.png icons/whirligigcam-16.png \
    icons/whirligigcam-32.png icons/whirligigcam-48.png; do
    [ -s "$share/$file" ] && [ -s "$app/$file" ] || fail "usr/share/whirligigcam/$file is missing"
done
for page in whirligigcam whirligigcam-demo whirligigcam-site; do
    [ -s "$root/usr/share/man/man1/$page.1.gz" ] || fail "no manual page for $page"
done
for package in whirligigcam whirligigcam-demo; do
    for file in copyright changelog.Debian.gz; do
        [ -s "$root/usr/share/doc/$package/$file" ] || fail "no usr/share/doc/$package/$file"
    done
done
# Everything HTML/ holds in the sources is shipped.
sources=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
if [ -d "$sources/HTML" ]; then
    missing=$(cd "$sources/HTML" && find . -type f | while read -r f; do
        [ -f "$share/HTML/$f" ] || echo "$f"
    done)
    [ -z "$missing" ] || fail "HTML files not shipped: $missing"
fi
entry=$root/usr/share/applications/whirligigcam.desktop
if [ ! -f "$entry" ]; then
    fail "no desktop entry"
else
    grep -qx 'Exec=whirligigcam' "$entry" || fail "the desktop entry does not run whirligigcam"
    grep -qx 'Icon=whirligigcam' "$entry" || fail "the desktop entry has no whirligigcam icon"
    if command -v desktop-file-validate >/dev/null; then
        # It reports some errors as hints and warnings and still succeeds.
        if ! desktop-file-validate "$entry" >"$tmp/validate" 2>&1 ||
            grep -q 'error' "$tmp/validate"; then
            fail "the desktop entry is not valid: $(cat "$tmp/validate")"
        fi
    fi
fi
for size in 16 32 48; do
    icon=$root/usr/share/icons/hicolor/${size}x$size/apps/whirligigcam.png
    if [ ! -f "$icon" ]; then
        fail "no ${size}x$size icon in the hicolor theme"
    elif [ "$(identify -format '%wx%h' "$icon" 2>/dev/null)" != "${size}x$size" ]; then
        fail "the ${size}x$size icon is not ${size}x$size pixels"
    fi
done
[ -f "$root/usr/share/icons/hicolor/scalable/apps/whirligigcam.svg" ] ||
    fail "no scalable icon in the hicolor theme"

# The package of every library a program links to directly is a dependency.
for program in whirligigcam whirligigcam-demo whirligigcam-site; do
    [ -x "$app/$program" ] || continue
    package=$demo_deb
    [ "$program" = whirligigcam ] && package=$deb
    ldd "$app/$program" >"$tmp/ldd" 2>&1 || fail "ldd cannot read $program: $(cat "$tmp/ldd")"
    for soname in $(readelf -d "$app/$program" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p'); do
        path=$(awk -v so="$soname" '$1 == so && $2 == "=>" { print $3 }' "$tmp/ldd")
        if [ -z "$path" ] || [ "$path" = "not" ]; then
            fail "$program needs $soname, which is not found on this system"
            continue
        fi
        owner=$({ dpkg -S "$path" || dpkg -S "/usr$path" || dpkg -S "${path#/usr}"; } 2>/dev/null |
            sed -n '1s/:.*//p')
        [ -n "$owner" ] || { fail "no package owns $path"; continue; }
        has_dependency "$package" "$owner" || fail "$program links to $soname from $owner, not a dependency"
    done
done

[ "$failures" -eq 0 ] || fatal "$failures problem(s) in the package"
echo "package contents and dependencies: ok"

if [ "$run" != run ]; then
    echo "the built-in addresses do not point at the demo site: the $kind programs are not run"
    exit 0
fi

# ---- The programs (installed, or unpacked under the root), run from their launchers ----
[ -n "${DISPLAY:-}" ] || fatal "no X display to run the $kind client on (run under xvfb-run)"
if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    fatal "port $port on 127.0.0.1 is in use: the $kind client's built-in addresses need it"
fi
"$root/usr/bin/whirligigcam-site" --port "$port" >"$tmp/site.out" 2>"$tmp/site.log" &
pids+=($!)
site_pid=$!

# Waits, checking every fifth of a second, for a command to succeed.
# what, seconds, command...
wait_for() {
    local what=$1 limit=$2
    shift 2
    local deadline=$((SECONDS + limit))
    until "$@"; do
        if ((SECONDS >= deadline)); then
            echo "client output ($client_log):" >&2
            tail -n 40 "$client_log" >&2 || true
            echo "site log:" >&2
            cat "$tmp/site.log" >&2
            fatal "gave up after $limit s waiting for $what"
        fi
        sleep 0.2
    done
}
site_up() {
    kill -0 "$site_pid" 2>/dev/null || fatal "the $kind site ended: $(cat "$tmp/site.log")"
    grep -q '^Serving' "$tmp/site.out"
}
wait_for "the $kind site to listen" 30 site_up

# An install without the package's recommendations, and one with them, as far
# as GStreamer sees: its plugins only from the packages the client depends on
# (and what they depend on), then from its recommendations too. Each start
# logs which of the elements the chat needs are missing.
# plugin_folder NAME PACKAGE...: a folder of links to those packages' plugins.
plugin_folder() {
    local folder=$tmp/plugins-$1 package
    shift
    mkdir "$folder"
    for package in $(for p in "$@"; do
        echo "$p"
        dpkg-query -W -f='${Depends}\n' "$p" 2>/dev/null | tr ',|' '\n\n' | sed -e 's/(.*)//' -e 's/:.*//' -e 's/ //g'
    done | sed '/^$/d' | sort -u); do
        dpkg -L "$package" 2>/dev/null | grep '/gstreamer-1.0/libgst[^/]*\.so$' |
            while read -r plugin; do ln -sf "$plugin" "$folder/"; done
    done
    echo "$folder"
}
mapfile -t depends < <(depends_of "$deb")
mapfile -t recommended < <(tr ',|' '\n\n' <<<"$recommends" | sed -e 's/(.*)//' -e 's/ //g' | sed '/^$/d')
without=$(plugin_folder without "${depends[@]}")
with=$(plugin_folder with "${depends[@]}" "${recommended[@]}")
echo "GStreamer plugins without recommendations: $(ls "$without" | wc -l), with: $(ls "$with" | wc -l)"
# start_client LOG PLUGIN-FOLDER: runs the unpacked demo client in the background.
start_client() {
    (cd / && XDG_CONFIG_HOME=$tmp/config GSETTINGS_BACKEND=memory GST_PLUGIN_SYSTEM_PATH_1_0=$2 \
        GST_REGISTRY_1_0=$2.registry \
        exec env -u DBUS_SESSION_BUS_ADDRESS "$root/usr/bin/whirligigcam-demo" --verbose) \
        >"$1" 2>&1 &
    client_log=$1
    pids+=($!)
    client_pid=$!
}
start_client "$tmp/client-without.log" "$without"
media_said() {
    kill -0 "$client_pid" 2>/dev/null || fatal "the $kind client ended early: $(tail -n 30 "$tmp/client-without.log")"
    grep -q 'media: ' "$1" && grep -qF 'update check: reading' "$1"
}
wait_for "the client without recommendations to start and check its media" 300 media_said \
    "$tmp/client-without.log"
kill "$client_pid" && wait "$client_pid" || true
missing=$(grep -o 'media: .*' "$tmp/client-without.log")
echo "without recommendations: $missing"
[[ $missing == *"missing: avdec_h264 (receiving H.264 video; package gstreamer1.0-libav);"* ]] ||
    fail "without recommendations the client does not say that H.264 decoding is missing"

# From the root folder, so that nothing is found through the working folder;
# with no settings files of this user, and away from the desktop's session bus
# (a client already open there would take this start over as its second start).
# with every plugin of the packages it depends on and recommends.
start_client "$tmp/client.log" "$with"
requested() {
    kill -0 "$client_pid" 2>/dev/null || fatal "the $kind client ended early: $(tail -n 30 "$tmp/client.log")"
    grep -q "^site: GET $1 " "$tmp/site.log"
}
# The start page asks the update server; after the reply the chat page is
# prepared, which ends by loading the statistics page.
wait_for "the start page's update request (/update/1)" 180 requested /update/1
echo "the $kind client reached its start page and asked for /update/1"
wait_for "the prepared chat page's statistics request (/stats/index.html)" 180 requested \
    /stats/index.html
echo "the $kind client prepared the chat page"
wait_for "the bundled Flash player's request for the chat movie (/flash/chat.swf)" 180 requested \
    /flash/chat.swf
# The movie, once it runs, calls the page, which tells the site.
wait_for "the chat movie to play (the page's /movie/started report)" 180 requested /movie/started
echo "the $kind client's Flash player plays the chat movie"

# --verbose: the log names the update address and how the check ended.
logged() { grep -qF -- "$1" "$tmp/client.log"; }
for line in "update check: reading http://127.0.0.1:$port/update/1" \
    'update check: the server replied "update=false"' \
    "update check: no update; opening the chat site" \
    "chat view: navigating to http://127.0.0.1:$port/"; do
    logged "$line" || fail "the verbose log lacks '$line'"
done
# The media check scans the plugin folder afresh in a thread of its own; it
# may end after the movie has loaded.
wait_for "the client's media check" 300 logged 'media: '
logged 'media: the GStreamer elements the chat needs are all installed' ||
    fail "with its recommendations the client still misses: $(grep -o 'media: .*' "$tmp/client.log")"
[ "$failures" -eq 0 ] || { tail -n 40 "$tmp/client.log" >&2; fatal "$failures problem(s) in the verbose log"; }
echo "the verbose log names the update address and the outcome"
