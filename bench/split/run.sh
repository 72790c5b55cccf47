#!/usr/bin/env bash
# The silences of a 60-minute MP3 (128k, 44.1 kHz stereo) on one core, then one more run
# under /usr/bin/time -v for the peak memory:
#   bench/split/run.sh [BUILD_DIR] [runs]
# The file is made once under bench/data/split (git-ignored): noise shaped like music,
# with 2.5 s of silence at the end of every 3 minutes.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-5}
[ -x /usr/bin/time ] || { echo "run.sh: /usr/bin/time is missing (package 'time')" >&2; exit 2; }
cmake --build "$build" --target tolvane_silence_bench -j2 >/dev/null
data=bench/data/split
file=$data/silences-60min.mp3
mkdir -p "$data"
if [ ! -s "$file" ]; then
    echo "making $file ..." >&2
    ffmpeg -v error -y -f lavfi -i "anoisesrc=d=3600:a=0.3:seed=3,lowpass=f=9000" \
        -af "volume='lt(mod(t,180),177.5)':eval=frame" -ac 2 -ar 44100 -c:a libmp3lame \
        -b:a 128k "$file.part.mp3"
    mv "$file.part.mp3" "$file"
fi
taskset -c 0 "$build/bin/tolvane_silence_bench" "$file" "$runs"
/usr/bin/time -v taskset -c 0 "$build/bin/tolvane_silence_bench" "$file" 1 2>&1 >/dev/null |
    grep -E "Maximum resident|Elapsed|User time|System time"
