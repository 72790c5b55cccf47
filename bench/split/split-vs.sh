#!/usr/bin/env bash
# A 60-minute MP3 (128k, 44.1 kHz stereo) split at 19 points into 20 parts without
# re-encoding: tolvane-cli split --at against ffmpeg's segment muxer (-c copy) and, when
# installed, mp3splt, with the same points, the tools taking turns in every round.
# Prints each tool's median wall time, then its peak memory from one more run:
#   bench/split/split-vs.sh [path/to/tolvane-cli] [rounds]
# The file is made once by bench/split/make-data.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
cli=$(realpath "${1:-build/bin/tolvane-cli}")
rounds=${2:-5}
[ -x "$cli" ] || { echo "split-vs.sh: no tolvane-cli at $cli" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "split-vs.sh: /usr/bin/time is missing (package 'time')" >&2; exit 2; }
file=$(bash bench/split/make-data.sh)

# Point k at k * 3 min + k * 10 ms: off the frame grid, and in every tool's notation.
at=() seconds=() splt=()
for k in $(seq 1 19); do
    ms=$((k * 180000 + k * 10))
    at+=("$(printf '%02d:%02d:%02d.%03d' $((ms / 3600000)) $((ms / 60000 % 60)) \
        $((ms / 1000 % 60)) $((ms % 1000)))")
    seconds+=("$(printf '%d.%03d' $((ms / 1000)) $((ms % 1000)))")
    splt+=("$(printf '%d.%02d.%02d' $((ms / 60000)) $((ms / 1000 % 60)) $((ms % 1000 / 10)))")
done
join() { local IFS=,; echo "$*"; }

work=$(mktemp -d /tmp/tolvane-split-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
run_tolvane() { "$cli" split "$file" --at "$(join "${at[@]}")" --out "$1" >/dev/null 2>&1; }
run_ffmpeg() {
    ffmpeg -nostdin -v error -i "$file" -map 0:a -c copy -f segment \
        -segment_times "$(join "${seconds[@]}")" "$1/part%02d.mp3"
}
run_mp3splt() { mp3splt -q -d "$1" "$file" 0.00.00 "${splt[@]}" EOF >/dev/null 2>&1; }
tools=(tolvane ffmpeg)
command -v mp3splt >/dev/null && tools+=(mp3splt) || echo "(mp3splt not installed: left out)"

declare -A times
for round in $(seq 1 "$rounds"); do
    for tool in "${tools[@]}"; do
        out=$work/$tool-$round
        mkdir -p "$out"
        start=$(date +%s.%N)
        "run_$tool" "$out"
        end=$(date +%s.%N)
        count=$(find "$out" -type f | wc -l)
        [ "$count" -eq 20 ] || { echo "$tool wrote $count parts, not 20" >&2; exit 1; }
        times[$tool]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }') "
        rm -rf "$out"
    done
done
median() { tr ' ' '\n' | grep . | sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
for tool in "${tools[@]}"; do
    out=$work/$tool-mem
    mkdir -p "$out"
    peak=$( { /usr/bin/time -f %M bash -c "$(declare -f "run_$tool" join); \
        cli='$cli' file='$file'; $(declare -p at seconds splt); run_$tool '$out'"; } 2>&1 | tail -1)
    printf '%-8s median %6.3f s over %d rounds (%s), peak %s KiB\n' "$tool" \
        "$(echo "${times[$tool]}" | median)" "$rounds" "${times[$tool]% }" "$peak"
done
