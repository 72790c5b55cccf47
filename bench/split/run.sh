#!/usr/bin/env bash
# The silences of a 60-minute MP3 (128k, 44.1 kHz stereo) on one core, then one more run
# under /usr/bin/time -v for the peak memory:
#   bench/split/run.sh [BUILD_DIR] [runs]
# The file is made once by bench/split/make-data.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-5}
[ -x /usr/bin/time ] || { echo "run.sh: /usr/bin/time is missing (package 'time')" >&2; exit 2; }
cmake --build "$build" --target tolvane_silence_bench -j2 >/dev/null
file=$(bash bench/split/make-data.sh)
taskset -c 0 "$build/bin/tolvane_silence_bench" "$file" "$runs"
/usr/bin/time -v taskset -c 0 "$build/bin/tolvane_silence_bench" "$file" 1 2>&1 >/dev/null |
    grep -E "Maximum resident|Elapsed|User time|System time"
