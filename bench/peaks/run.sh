#!/usr/bin/env bash
# The waveform peaks of a 60-minute MP3 (128k, 44.1 kHz stereo) on one core:
#   bench/peaks/run.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cmake --build "$build" --target tolvane_peak_bench -j2 >/dev/null
file=$(bench/noise-60min-mp3.sh)
taskset -c 0 "$build/bin/tolvane_peak_bench" "$file" 5
