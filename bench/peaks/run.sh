#!/usr/bin/env bash
# The waveform peaks of a 60-minute MP3 (128k, 44.1 kHz stereo) on one core:
#   bench/peaks/run.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cmake --build "$build" --target tolvane_peak_bench -j2 >/dev/null
file=/tmp/tolvane-bench-peaks-60min.mp3
if [ ! -f "$file" ]; then
    ffmpeg -v error -y -f lavfi -i "anoisesrc=d=3600:a=0.3:seed=3,lowpass=f=9000" -ac 2 \
        -ar 44100 -c:a libmp3lame -b:a 128k "$file"
fi
taskset -c 0 "$build/bin/tolvane_peak_bench" "$file" 5
