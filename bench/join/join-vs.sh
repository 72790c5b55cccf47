#!/usr/bin/env bash
# Joins without re-encoding against ffmpeg's concat demuxer with -c copy, the two taking
# turns in every round; prints each one's median wall time:
#   - three 20-minute FLAC files (44.1 kHz stereo, 16 bit) joined into one,
#   - three 20-minute MP3 files (128k, 44.1 kHz stereo) joined into one,
#   - a 10-minute stretch removed from a 60-minute MP3 (cut --remove) against cuts of
#     the same file of the same output length.
#   bench/join/join-vs.sh [path/to/tolvane-cli] [rounds]
# The files are made once under bench/data/join (git-ignored): band-limited noise.
set -euo pipefail
cd "$(dirname "$0")/../.."
cli=$(realpath "${1:-build/bin/tolvane-cli}")
rounds=${2:-5}
[ -x "$cli" ] || { echo "join-vs.sh: no tolvane-cli at $cli" >&2; exit 2; }
data=$(realpath -m bench/data/join)
mkdir -p "$data"
for k in 1 2 3; do
    for ext in flac mp3; do
        file=$data/part$k.$ext
        [ -s "$file" ] && continue
        echo "making $file ..." >&2
        args=(-c:a flac -sample_fmt s16)
        [ "$ext" = mp3 ] && args=(-c:a libmp3lame -b:a 128k)
        ffmpeg -v error -y -f lavfi -i "anoisesrc=d=1200:a=0.3:seed=$k,lowpass=f=9000" \
            -ac 2 -ar 44100 "${args[@]}" "$file.part.$ext"
        mv "$file.part.$ext" "$file"
    done
done
long=$data/long60.mp3
if [ ! -s "$long" ]; then
    printf "file '%s'\n" "$data/part1.mp3" "$data/part2.mp3" "$data/part3.mp3" >"$data/long.list"
    ffmpeg -v error -y -f concat -safe 0 -i "$data/long.list" -c copy "$long.part.mp3"
    mv "$long.part.mp3" "$long"
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
seconds() { date +%s.%N; }
# Runs "$@" with its output folder emptied first; prints the wall time in seconds.
timed() {
    rm -rf "${out:?}"/*
    local start end
    start=$(seconds)
    "$@" >/dev/null 2>&1
    end=$(seconds)
    echo "$end - $start" | bc
}
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

compare() {  # name, then our command and ffmpeg's, separated by "--"
    local name=$1
    shift
    local ours=() theirs=()
    while [ "$1" != "--" ]; do ours+=("$1"); shift; done
    shift
    theirs=("$@")
    local a=() b=()
    for _ in $(seq "$rounds"); do
        a+=("$(timed "${ours[@]}")")
        b+=("$(timed "${theirs[@]}")")
    done
    local ma mb
    ma=$(printf '%s\n' "${a[@]}" | median)
    mb=$(printf '%s\n' "${b[@]}" | median)
    printf '%-34s tolvane %7.3f s   other %7.3f s   ratio %.2f   (medians of %d)\n' \
        "$name" "$ma" "$mb" "$(echo "$ma / $mb" | bc -l)" "$rounds"
}

for ext in flac mp3; do
    printf "file '%s'\n" "$data/part1.$ext" "$data/part2.$ext" "$data/part3.$ext" >"$data/$ext.list"
    compare "join --copy 3 x 20 min $ext" \
        "$cli" join --copy "$data/part1.$ext" "$data/part2.$ext" "$data/part3.$ext" --out "$out" -- \
        ffmpeg -v error -y -f concat -safe 0 -i "$data/$ext.list" -c copy "$out/joined.$ext"
done
# Two cuts of 50 minutes: one from the file's start (as the part before a removed
# stretch is read) and one from 10 minutes in (found by walking the frames).
compare "remove 10 of 60 min mp3 vs cut 0-50" \
    "$cli" cut "$long" --start 00:20:00.000 --end 00:30:00.000 --remove --out "$out" -- \
    "$cli" cut "$long" --start 00:00:00.000 --end 00:50:00.000 --out "$out"
compare "remove 10 of 60 min mp3 vs cut 10-60" \
    "$cli" cut "$long" --start 00:20:00.000 --end 00:30:00.000 --remove --out "$out" -- \
    "$cli" cut "$long" --start 00:10:00.000 --end 01:00:00.000 --out "$out"
