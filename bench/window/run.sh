#!/usr/bin/env bash
# Start-up time of the window: from starting the program to its window being mapped,
# polled with xdotool under a virtual X display (median, min and max of several starts;
# target < 150 ms), alternating with an empty Qt window (tolvane_bare_window), which
# shows what Qt alone takes on this machine.
#
# A desktop session has a session bus. Without one (a bare Xvfb), Qt's accessibility
# bridge has libdbus try to start a bus daemon before the first window shows, which
# every Qt program pays; so the starts are timed under dbus-run-session where it is
# installed, and without a bus as well with --no-bus-too.
#
# The program runs from a copy of the build's program folder, so the settings of the
# build stay as they are. A build with a language refresh address (TOLVANE_LANGUAGE_URL)
# times the network too.
#   bench/window/run.sh [BUILD_DIR] [runs] [--no-bus-too]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
runs=${2:-11}
also_without_bus=${3:-}
app=$build/bin/tolvane
bare=$build/bin/tolvane_bare_window
[ -x "$app" ] || { echo "run.sh: no program at $app (build target tolvane)" >&2; exit 2; }
command -v xdotool >/dev/null || { echo "run.sh: xdotool is missing (scripts/setup.sh)" >&2; exit 2; }

# A display of our own unless one answers already.
if [ -z "${DISPLAY:-}" ] || ! xdotool getdisplaygeometry >/dev/null 2>&1; then
    unset DISPLAY
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$runs" "$also_without_bus"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$build/bin/." "$work/"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
export XDG_CONFIG_HOME=$work/config

now_ms() { date +%s%3N; }

# Milliseconds from starting "$1" until a window of it is visible. Xvfb now and then
# refuses a connection while xdotool's polls connect to it as fast as they can; a start
# that ended on that is made again.
time_start() {
    local start shown="" pid poll attempt
    for ((attempt = 0; attempt < 3; attempt++)); do
        start=$(now_ms)
        "$1" >/dev/null 2>"$work/stderr" &
        pid=$!
        for ((poll = 0; poll < 2000; poll++)); do
            if xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; then
                shown=$(now_ms)
                break
            fi
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.002
        done
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        [ -n "$shown" ] && break
        grep -q "could not connect to display" "$work/stderr" || break
    done
    [ -n "$shown" ] || { echo "run.sh: $1 did not show a window" >&2; cat "$work/stderr" >&2; exit 1; }
    echo $((shown - start))
}

summary() {  # label, times...
    local label=$1
    shift
    local sorted=($(printf '%s\n' "$@" | sort -n))
    local n=${#sorted[@]}
    echo "$label: median ${sorted[$((n / 2))]} ms, min ${sorted[0]} ms, max ${sorted[$((n - 1))]} ms over $n starts"
}

# Times both programs, alternating; the setting is named by $1.
time_both() {
    local ours=() reference=()
    for ((i = 0; i < runs; i++)); do
        ours+=($(time_start "$work/tolvane"))
        [ -x "$bare" ] && reference+=($(time_start "$work/tolvane_bare_window"))
    done
    summary "window shown ($1, target < 150 ms)" "${ours[@]}"
    [ ${#reference[@]} -gt 0 ] && summary "empty Qt window ($1)" "${reference[@]}"
    return 0
}

if [ "${TOLVANE_BENCH_IN_BUS:-}" = 1 ]; then
    time_both "with a session bus"
    exit 0
fi
if command -v dbus-run-session >/dev/null; then
    TOLVANE_BENCH_IN_BUS=1 dbus-run-session -- "$0" "$build" "$runs" 2> >(grep -v "fd limit" >&2)
fi
if [ "$also_without_bus" = --no-bus-too ] || ! command -v dbus-run-session >/dev/null; then
    unset DBUS_SESSION_BUS_ADDRESS
    time_both "without a session bus"
fi
