#!/usr/bin/env bash
# Drives a real cut and real merges (one finished, one cancelled, one failing) through the
# real window under a virtual X display, with keys (Enter, Delete, Tab, Space, Ctrl+Down)
# and a row dragged by the mouse,
# and saves screenshots of the window, the progress dialogs and the result messages:
#   scripts/drive-window.sh [SHOTS_FOLDER] [BUILD_DIR]
# (defaults: BUILD_DIR/drive-shots and build/). The media files are made here with ffmpeg.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${2:-build}
shots=$(realpath -m "${1:-$build/drive-shots}")
if [ ! -x "$build/bin/drive_window" ]; then
    cmake -S . -B "$build" -G Ninja -DTOLVANE_BUILD_TESTS=ON >/dev/null
    cmake --build "$build" --target drive_window -j2
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$shots" "$work/program/languages" "$work/media" "$work/output"
rm -f "$shots"/*.png
cp resources/languages/*.ini "$work/program/languages/"
sed 's/^open=.*/open=0/' resources/setting.ini >"$work/program/setting.ini"

tone() {  # name seconds frequency
    ffmpeg -y -hide_banner -loglevel error -f lavfi -i "sine=frequency=$3:duration=$2" \
        -ac 2 -ar 44100 "$work/media/$1"
}
tone song.mp3 6 440
# Long enough that the merge's progress dialog is up for a few job-timer ticks.
tone first.wav 240 330
tone second.flac 240 550
tone third.wav 120 660

SDL_AUDIODRIVER=dummy timeout 300 xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/bin/drive_window" "$work/program" "$work/output" "$shots" \
    "$work/media/song.mp3" "$work/media/first.wav" "$work/media/second.flac" \
    "$work/media/third.wav"

echo "Outputs:"
for f in "$work/output"/*; do
    printf '  %s: ' "$(basename "$f")"
    ffprobe -v error -show_entries format=duration:stream=codec_name,sample_rate,channels,bit_rate \
        -of compact=p=0:nk=0 "$f" | tr '\n' ' '
    echo
done
ls "$shots"
