#!/usr/bin/env bash
# Runs the player benchmark on a 60-minute 44.1 kHz stereo 128 kbit/s MP3.
# Reuses bench/data/long.mp3 or bench/data/jobs/long.mp3 when present, else makes
# bench/data/player/long.mp3 once (git-ignored data).
#
# Usage: bench/player/run.sh [path/to/tolvane_player_bench] [open-runs] [play-seconds]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
bench=${1:-$root/build-player/bin/tolvane_player_bench}
runs=${2:-9}
seconds=${3:-10}

[ -x "$bench" ] || { echo "run.sh: no benchmark at $bench (build target tolvane_player_bench)" >&2; exit 2; }

file=""
for candidate in "$root/bench/data/long.mp3" "$root/bench/data/jobs/long.mp3"; do
    if [ -s "$candidate" ]; then file=$candidate; break; fi
done
if [ -z "$file" ]; then
    command -v ffmpeg >/dev/null || { echo "run.sh: ffmpeg is missing" >&2; exit 2; }
    file=$root/bench/data/player/long.mp3
    mkdir -p "$(dirname "$file")"
    if [ ! -s "$file" ]; then
        echo "making a 60-minute MP3 ..." >&2
        ffmpeg -nostdin -y -hide_banner -loglevel error \
            -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=3600" \
            -f lavfi -i "sine=frequency=660:sample_rate=44100:duration=3600" \
            -filter_complex "[0:a][1:a]amerge=inputs=2" -c:a libmp3lame -b:a 128k "$file.tmp.mp3"
        mv "$file.tmp.mp3" "$file"
    fi
fi

SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} "$bench" "$file" "$runs" "$seconds"
