#!/usr/bin/env bash
# Times tolvane-cli against the ffmpeg command doing the same work, alternating runs:
#   cut:  10 minutes from 25:00 of a 60-minute 44.1 kHz stereo file, packets copied
#         (ffmpeg -ss -t -c copy): a 128 kbit/s MP3 (cut_mp3), a FLAC (cut_flac) and a
#         16-bit WAV (cut_wav)
#   join: three 10-minute files of other rates and layouts into one 44.1 kHz stereo
#         128 kbit/s MP3 (libmp3lame; ffmpeg through its concat filter)
# Prints the median wall time and peak memory of each side and the ratio ours/ffmpeg.
#
# Usage: bench/jobs/run.sh [path/to/tolvane-cli] [runs] [jobs]   (jobs: "cut join", the
# default; "cut" stands for "cut_mp3 cut_flac cut_wav", each of which can be named alone)
# The data is made once under bench/data/jobs (git-ignored) and reused.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
cli=${1:-$root/build-cli/bin/tolvane-cli}
runs=${2:-5}
jobs=${3:-cut join}
expanded=
for job in $jobs; do
    [ "$job" = cut ] && job="cut_mp3 cut_flac cut_wav"
    expanded+="$job "
done
jobs=${expanded% }
data=$root/bench/data/jobs
work=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

[ -x "$cli" ] || { echo "run.sh: no tolvane-cli at $cli (build it, or give its path)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "run.sh: /usr/bin/time is missing (package 'time', scripts/setup.sh)" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "run.sh: ffmpeg is missing" >&2; exit 2; }

mkdir -p "$data"
make_audio() {  # name seconds rate channels codec-args
    local out=$data/$1
    [ -s "$out" ] && return 0
    echo "making $1 ..." >&2
    # A gliding tone with a second voice and some noise, so the encoders have real work.
    local left="0.35*sin(2*PI*(220+110*sin(2*PI*t/9))*t)+0.2*sin(2*PI*(523+40*sin(t))*t)+0.05*(2*random(0)-1)"
    local right="0.35*sin(2*PI*(330+90*sin(2*PI*t/11))*t)+0.2*sin(2*PI*(659+30*sin(t/2))*t)+0.05*(2*random(1)-1)"
    local expr=$left
    [ "$4" -ge 2 ] && expr="$left|$right"
    ffmpeg -nostdin -y -hide_banner -loglevel error \
        -f lavfi -i "aevalsrc=${expr}:s=$3:d=$2" $5 "$out.tmp.${1##*.}"
    mv "$out.tmp.${1##*.}" "$out"
}
wants() { [[ " $jobs " == *" $1 "* ]]; }
wants cut_mp3 && make_audio long.mp3 3600 44100 2 "-c:a libmp3lame -b:a 128k"
wants cut_flac && make_audio long.flac 3600 44100 2 "-c:a flac"
wants cut_wav && make_audio long.wav 3600 44100 2 "-c:a pcm_s16le"
if wants join; then
    make_audio part1.wav 600 48000 2 "-c:a pcm_s16le"
    make_audio part2.flac 600 22050 1 "-c:a flac"
    make_audio part3.ogg 600 32000 1 "-c:a libvorbis -q:a 4"
fi

# measure LABEL command...: appends "wall-seconds kilobytes cpu-seconds" to $work/LABEL.times
# (wall time to the millisecond from the shell's clock: time(1) gives hundredths, too
# coarse for a cut of a tenth of a second)
measure() {
    local label=$1; shift
    rm -rf "$work/out" && mkdir -p "$work/out"
    local started=$EPOCHREALTIME
    /usr/bin/time -f "%M %U %S" -o "$work/last.time" "$@" >/dev/null 2>"$work/last.err" || {
        echo "run.sh: $label failed:" >&2; cat "$work/last.err" >&2; exit 1; }
    local ended=$EPOCHREALTIME
    awk -v from="$started" -v to="$ended" '{printf "%.3f %s %.2f\n", to - from, $1, $2 + $3}' \
        "$work/last.time" >> "$work/$label.times"
}

ffmpeg_quiet=(ffmpeg -nostdin -y -hide_banner -loglevel error)
concat_graph="[0:a]aresample=44100,aformat=sample_fmts=fltp:channel_layouts=stereo[a0];\
[1:a]aresample=44100,aformat=sample_fmts=fltp:channel_layouts=stereo[a1];\
[2:a]aresample=44100,aformat=sample_fmts=fltp:channel_layouts=stereo[a2];\
[a0][a1][a2]concat=n=3:v=0:a=1[out]"

# The cut takes a fraction of a second, so it gets more runs to steady its median.
cut_runs=$((runs * 3))
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
[[ " $jobs " == *" cut_"* ]] || cut_runs=0
for job in cut_mp3 cut_flac cut_wav; do
    wants $job || continue
    ext=${job#cut_}
    for ((i = 1; i <= cut_runs; i++)); do
        for side in $( ((i % 2)) && echo "ours ffmpeg" || echo "ffmpeg ours"); do
            if [ "$side" = ours ]; then
                measure ${job}_ours "$cli" cut "$data/long.$ext" --start 00:25:00.000 \
                    --end 00:35:00.000 --out "$work/out"
                cp "$work/out/long.$ext" "$work/${job}_ours.$ext"
            else
                measure ${job}_ffmpeg "${ffmpeg_quiet[@]}" -ss 1500 -t 600 -i "$data/long.$ext" \
                    -c copy "$work/out/cut.$ext"
                cp "$work/out/cut.$ext" "$work/${job}_ffmpeg.$ext"
            fi
        done
    done
done

join_runs=$runs
wants join || join_runs=0
for ((i = 1; i <= join_runs; i++)); do
    echo "join run $i of $runs (load $(cut -d' ' -f1-3 /proc/loadavg)) ..." >&2
    # Alternate which side goes first, so a warm cache favours neither.
    for side in $( ((i % 2)) && echo "ours ffmpeg" || echo "ffmpeg ours"); do
        if [ "$side" = ours ]; then
            measure join_ours "$cli" join "$data/part1.wav" "$data/part2.flac" "$data/part3.ogg" \
                --out "$work/out"
            cp "$work/out/part1.mp3" "$work/join_ours.mp3"
        else
            measure join_ffmpeg "${ffmpeg_quiet[@]}" -i "$data/part1.wav" -i "$data/part2.flac" \
                -i "$data/part3.ogg" -filter_complex "$concat_graph" -map "[out]" \
                -c:a libmp3lame -b:a 128k -ar 44100 -ac 2 "$work/out/join.mp3"
            cp "$work/out/join.mp3" "$work/join_ffmpeg.mp3"
        fi
    done
done

median() {  # column file
    awk -v c="$1" '{print $c}' "$2" | sort -g | awk '{v[NR]=$1} END {
        if (NR % 2) print v[(NR+1)/2]; else printf "%.3f\n", (v[NR/2]+v[NR/2+1])/2 }'
}
duration() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1"; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {print (b > 0 ? a / b : 0)}'; }

output() {  # job side: the kept output of the job
    local ext=${1#cut_}
    [ "$1" = join ] && ext=mp3
    echo "$work/$1_$2.$ext"
}

echo
printf "%-8s %9s %9s %6s   %9s %9s %6s   %11s %11s %6s   %8s %8s\n" job "ours s" "ffmpeg s" \
    ratio "ours cpu" "ff cpu" ratio "ours KiB" "ffmpeg KiB" ratio "ours len" "ff len"
for job in $jobs; do
    ot=$(median 1 "$work/${job}_ours.times");  ft=$(median 1 "$work/${job}_ffmpeg.times")
    om=$(median 2 "$work/${job}_ours.times");  fm=$(median 2 "$work/${job}_ffmpeg.times")
    oc=$(median 3 "$work/${job}_ours.times");  fc=$(median 3 "$work/${job}_ffmpeg.times")
    printf "%-8s %9s %9s %6.2f   %9s %9s %6.2f   %11s %11s %6.2f   %8.2f %8.2f\n" "$job" \
        "$ot" "$ft" "$(ratio "$ot" "$ft")" "$oc" "$fc" "$(ratio "$oc" "$fc")" \
        "$om" "$fm" "$(ratio "$om" "$fm")" \
        "$(duration "$(output "$job" ours)")" "$(duration "$(output "$job" ffmpeg)")"
done
echo "(median of $cut_runs cut runs and $join_runs join runs; wall and cpu (user+system) time in"
echo " seconds, peak resident memory in KiB; len = output duration in seconds)"
echo "load average (1, 5, 15 min) before: $load_before, after: $(cut -d' ' -f1-3 /proc/loadavg)"
