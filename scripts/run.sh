#!/usr/bin/env bash
# Installs what building and running need, builds the two programs (no tests), and
# starts Tolvane. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DTOLVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target tolvane tolvane-cli
exec build/bin/tolvane "$@"
