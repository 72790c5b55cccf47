#!/usr/bin/env bash
# The zoomed waveform of a 60-minute MP3 (128k, 44.1 kHz stereo): the time from asking
# for a view to its final columns, at five zoom levels:
#   bench/zoom/run.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cmake --build "$build" --target tolvane_zoom_bench -j2 >/dev/null
file=/tmp/tolvane-bench-peaks-60min.mp3
if [ ! -f "$file" ]; then
    ffmpeg -v error -y -f lavfi -i "anoisesrc=d=3600:a=0.3:seed=3,lowpass=f=9000" -ac 2 \
        -ar 44100 -c:a libmp3lame -b:a 128k "$file"
fi
"$build/bin/tolvane_zoom_bench" "$file" 7
