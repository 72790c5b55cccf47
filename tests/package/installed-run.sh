#!/usr/bin/env bash
# installed-run.sh BUILD_DIR: unpacks BUILD_DIR's tolvane_*_amd64.deb (made by
# scripts/package.sh; or installs the build with DESTDIR when there is none or it is
# older than the build) into a scratch root, then runs the tool and the window from
# there. Run by root, the window runs as user 65534, for whom the root is an
# installation: it must keep its settings in the user's folder, made in the language
# of the user's locale, and leave the root unchanged. Every check that fails is
# printed; the exit status is 1 then.
set -uo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

chmod 755 "$scratch"
deb=$(ls -t "$build"/tolvane_*_amd64.deb 2>/dev/null | head -n 1)
if [ -n "$deb" ] && [ "$deb" -nt "$build/bin/tolvane-cli" ]; then
    echo "unpacking $deb"
    dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x"; exit 1; }
else
    echo "installing $build into a scratch root"
    DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null ||
        { echo "FAIL: cmake --install"; exit 1; }
fi

for file in usr/bin/tolvane usr/bin/tolvane-cli usr/share/tolvane/setting.ini \
    usr/share/tolvane/languages/english.ini usr/share/tolvane/languages/german.ini \
    usr/share/tolvane/help/index.html usr/share/applications/tolvane.desktop \
    usr/share/man/man1/tolvane.1.gz usr/share/man/man1/tolvane-cli.1.gz \
    usr/share/metainfo/org.tolvane.Tolvane.metainfo.xml; do
    [ -e "$root/$file" ] || fail "$file is not installed"
done
for size in 16 24 32 48 64 128 256; do
    icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/tolvane.png
    if [ ! -f "$icon" ]; then
        fail "no ${size}px icon"
    elif [ "$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$icon")" != "$size,$size" ]; then
        fail "the ${size}px icon is not ${size}x${size}"
    fi
done
if command -v man >/dev/null; then
    man -l "$root/usr/share/man/man1/tolvane-cli.1.gz" 2>/dev/null | grep -q "EXIT STATUS" ||
        fail "the manual page does not render"
fi

# The tool, from the root, on a generated file.
ffmpeg -v error -f lavfi -i "sine=frequency=440:duration=2" -ac 2 -ar 44100 "$scratch/tone.wav"
"$root/usr/bin/tolvane-cli" --version | grep -q "^tolvane-cli [0-9]" || fail "--version"
"$root/usr/bin/tolvane-cli" probe --json "$scratch/tone.wav" >"$scratch/probe.json" ||
    fail "probe exits with $?"
python3 -c '
import json, sys
[o] = json.load(open(sys.argv[1]))
assert o["usable"] and o["rate"] == 44100 and o["channels"] == 2, o
assert o["codec"] == "pcm_s16le" and o["container"] == "wav", o
assert abs(o["duration"] - 2.0) < 0.01, o
' "$scratch/probe.json" || fail "probe --json: $(cat "$scratch/probe.json")"

# Its answers without a display.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/tolvane" --help |
    grep -q "^Usage: tolvane" || fail "tolvane --help"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/tolvane" --version |
    grep -q "^tolvane [0-9]" || fail "tolvane --version"

# The window, offscreen, from the root: it must come up and end on SIGTERM with 143.
# It is given ten seconds to come up; SIGTERM ends it then whatever it is doing.
# A runtime folder of its own: a window of another test would otherwise take its start
# as a second one and be handed the (no) files.
home=$scratch/home
mkdir -p "$home" "$scratch/run"
chmod 700 "$scratch/run"
as_user=()
if [ "$(id -u)" = 0 ]; then
    chown 65534:65534 "$home" "$scratch/run"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
before=$(cd "$root" && find . -printf '%p %s %T@\n' | sort)
env -u LC_ALL -u LC_MESSAGES -u LANGUAGE LANG=de_DE.UTF-8 \
    HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$scratch/run \
    QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
    "${as_user[@]}" "$root/usr/bin/tolvane" >"$scratch/window.log" 2>&1 &
pid=$!
sleep 10
if kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid"
    wait "$pid"
    status=$?
    [ "$status" = 143 ] || fail "the window ended with $status on SIGTERM: $(cat "$scratch/window.log")"
else
    wait "$pid"
    fail "the window ended by itself with $?: $(cat "$scratch/window.log")"
fi

if [ ${#as_user[@]} -gt 0 ]; then
    [ "$before" = "$(cd "$root" && find . -printf '%p %s %T@\n' | sort)" ] ||
        fail "the window changed its installation"
    grep -qx "file=german.ini" "$home/.config/tolvane/setting.ini" 2>/dev/null ||
        fail "a German user's first settings do not name german.ini"
fi

[ "$failures" = 0 ] && echo "installed program OK"
[ "$failures" = 0 ]
