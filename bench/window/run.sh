#!/usr/bin/env bash
# Start-up time of the window: from starting the program to its window being mapped,
# polled with xdotool under a virtual X display (median, min and max of several starts;
# target < 150 ms). The program runs from a copy of the build's program folder, so the
# settings of the build stay as they are. A build with a language refresh address
# (TOLVANE_LANGUAGE_URL) times the network too.
#   bench/window/run.sh [BUILD_DIR] [runs]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
runs=${2:-11}
app=$build/bin/tolvane
[ -x "$app" ] || { echo "run.sh: no program at $app (build target tolvane)" >&2; exit 2; }
command -v xdotool >/dev/null || { echo "run.sh: xdotool is missing (scripts/setup.sh)" >&2; exit 2; }

# A display of our own unless one answers already.
if [ -z "${DISPLAY:-}" ] || ! xdotool getdisplaygeometry >/dev/null 2>&1; then
    unset DISPLAY
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$runs"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$build/bin/." "$work/"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
export XDG_CONFIG_HOME=$work/config

now_ms() { date +%s%3N; }
times=()
for ((i = 0; i < runs; i++)); do
    start=$(now_ms)
    "$work/tolvane" >/dev/null 2>&1 &
    pid=$!
    shown=""
    for ((poll = 0; poll < 2000; poll++)); do
        if xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; then
            shown=$(now_ms)
            break
        fi
        sleep 0.002
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    [ -n "$shown" ] || { echo "run.sh: the window did not show" >&2; exit 1; }
    times+=($((shown - start)))
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "window shown: median ${sorted[$((runs / 2))]} ms, min ${sorted[0]} ms, max ${sorted[$((runs - 1))]} ms over $runs starts (target < 150 ms)"
