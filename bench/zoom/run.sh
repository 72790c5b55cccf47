#!/usr/bin/env bash
# The zoomed waveform of a 60-minute MP3 (128k, 44.1 kHz stereo): the time from asking
# for a view to its final columns, at five zoom levels:
#   bench/zoom/run.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cmake --build "$build" --target tolvane_zoom_bench -j2 >/dev/null
file=$(bench/noise-60min-mp3.sh)
"$build/bin/tolvane_zoom_bench" "$file" 7
