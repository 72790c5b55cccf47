#!/usr/bin/env bash
# Shows the real window under a virtual X display with a file's waveform and a marked
# stretch, zooms in by the wheel and saves a picture at three zoom levels:
#   scripts/zoom-shots.sh [SHOTS_FOLDER] [BUILD_DIR]
# (defaults: BUILD_DIR/zoom-shots and build/). The media file is made here with ffmpeg.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${2:-build}
shots=$(realpath -m "${1:-$build/zoom-shots}")
cmake -S . -B "$build" -G Ninja -DTOLVANE_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --target drive_zoom -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$shots" "$work/program/languages"
rm -f "$shots"/zoom-*.png
cp resources/languages/*.ini "$work/program/languages/"
sed 's/^open=.*/open=0/' resources/setting.ini >"$work/program/setting.ini"
printf '[VIEW]\nwaveform=1\nsnap=0\n' >>"$work/program/setting.ini"
# Bursts of a falling tone with quiet between them, like syllables.
ffmpeg -y -hide_banner -loglevel error -f lavfi \
    -i "aevalsrc=0.8*sin(2*PI*(220+80*mod(t\,0.7))*t)*pow(sin(PI*t/0.7)\,2):s=44100:d=12" \
    -ac 2 "$work/speech.wav"
SDL_AUDIODRIVER=dummy timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/bin/drive_zoom" "$work/program" "$shots" "$work/speech.wav"
ls "$shots"/zoom-*.png
