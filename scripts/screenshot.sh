#!/usr/bin/env bash
# Renders the real window under a virtual X display and saves a PNG of each tab and of
# the language menu:
#   scripts/screenshot.sh [OUTPUT_FOLDER] [BUILD_DIR]
# (defaults: BUILD_DIR/screenshots and build/). The pictures are taken by
# tolvane_screenshots, which runs the program's window as the program does; it is
# (re)built first.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${2:-build}
out=$(realpath -m "${1:-$build/screenshots}")
# The picture taker is built with the tests (scripts/run.sh turns them off).
cmake -S . -B "$build" -G Ninja -DTOLVANE_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --target tolvane_screenshots -j"$(nproc)" >/dev/null
mkdir -p "$out"
rm -f "$out/cut-tab.png" "$out/merge-tab.png" "$out/split-tab.png" "$out/language-menu.png"
timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" "$build/bin/tolvane_screenshots" "$out"
for tab in cut-tab merge-tab split-tab language-menu; do
    if [ ! -s "$out/$tab.png" ]; then
        echo "screenshot.sh: $out/$tab.png was not written" >&2
        exit 1
    fi
done
echo "Screenshots: $out/cut-tab.png $out/merge-tab.png $out/split-tab.png $out/language-menu.png"
