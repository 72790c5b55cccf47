#!/bin/sh
# Redraws every picture under resources/ (needs fonts-noto-cjk). Run from anywhere.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-artwork}
if [ -f "$build/CMakeCache.txt" ]; then
    cmake "$build" >/dev/null  # an existing build keeps its own options
else
    cmake -S "$root" -B "$build" -G Ninja -DTOLVANE_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target tolvane-artwork -j2
mkdir -p "$root/resources/bitmaps" "$root/resources/icons"
QT_QPA_PLATFORM=offscreen "$build/bin/tolvane-artwork" \
    "$root/resources/bitmaps" "$root/resources/icons/tolvane.png"
