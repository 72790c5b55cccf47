#!/usr/bin/env bash
# Where the CPU time of the join goes, thread by thread: the join of bench/jobs/run.sh
# (three 10-minute files into one 44.1 kHz stereo 128 kbit/s MP3) under `perf record`
# with the kernel's cpu-clock (no hardware counters needed), one sample per millisecond
# of CPU. For each tolvane-cli given (alternating, so a change of load hits all alike) it
# prints the medians of:
#   wall, cpu     wall and user+system seconds of the whole run (/usr/bin/time)
#   encoder       CPU seconds of the thread that encodes (the one running libmp3lame)
#   lame          of which inside libmp3lame itself
#   decoders      CPU seconds of the decoding threads (all others but the main thread)
#   ctxsw         voluntary context switches (each a sleep on the queue, or I/O)
# The encoder thread's time is the least wall time a pipeline with one encoder can reach.
#
# Usage: bench/jobs/threads.sh [runs] [tolvane-cli ...]   (run bench/jobs/run.sh once
# first: it makes the data under bench/data/jobs)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
runs=${1:-3}
shift || true
clis=("$@")
[ ${#clis[@]} -gt 0 ] || clis=("$root/build-cli/bin/tolvane-cli")
data=$root/bench/data/jobs
work=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-threads-XXXXXX")
trap 'rm -rf "$work"' EXIT

command -v perf >/dev/null || { echo "threads.sh: perf is missing (linux-perf)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "threads.sh: /usr/bin/time is missing" >&2; exit 2; }
for part in part1.wav part2.flac part3.ogg; do
    [ -s "$data/$part" ] || { echo "threads.sh: no $data/$part (run bench/jobs/run.sh)" >&2; exit 2; }
done
for cli in "${clis[@]}"; do
    [ -x "$cli" ] || { echo "threads.sh: no tolvane-cli at $cli" >&2; exit 2; }
done

# profile INDEX CLI: appends "wall cpu encoder lame decoders ctxsw" to $work/INDEX.times
profile() {
    rm -rf "$work/out" && mkdir -p "$work/out"
    /usr/bin/time -f "%e %U %S %w" -o "$work/time" \
        perf record -q -e cpu-clock -c 1000000 -o "$work/perf.data" -- \
        "$2" join "$data/part1.wav" "$data/part2.flac" "$data/part3.ogg" --out "$work/out" \
        >/dev/null 2>"$work/err" || { echo "threads.sh: $2 failed:" >&2; cat "$work/err" >&2; exit 1; }
    # One line per sample: "pid/tid address (dso)"; one sample is one millisecond of CPU.
    perf script -i "$work/perf.data" -F pid,tid,ip,dso 2>/dev/null | awk -v t="$(cat "$work/time")" '
        { split($1, id, "/"); tid = id[2]; all[tid]++; main = (id[1] == tid) ? tid : main
          if ($3 ~ /libmp3lame/) lame[tid]++ }
        END {
            enc = ""; for (k in lame) if (enc == "" || lame[k] > lame[enc]) enc = k
            dec = 0; for (k in all) if (k != enc && k != main) dec += all[k]
            split(t, f, " ")
            printf "%.2f %.2f %.2f %.2f %.2f %d\n", f[1], f[2] + f[3], all[enc] / 1000,
                lame[enc] / 1000, dec / 1000, f[4]
        }' >> "$work/$1.times"
}

for ((i = 1; i <= runs; i++)); do
    echo "run $i of $runs (load: $(cut -d' ' -f1-3 /proc/loadavg)) ..." >&2
    for ((c = 0; c < ${#clis[@]}; c++)); do
        # Alternate the order, so a warm cache favours none.
        idx=$(((i % 2) ? c : ${#clis[@]} - 1 - c))
        profile "$idx" "${clis[$idx]}"
    done
done

median() {  # column file
    awk -v c="$1" '{print $c}' "$2" | sort -g | awk '{v[NR]=$1} END {
        if (NR % 2) print v[(NR+1)/2]; else printf "%.3f\n", (v[NR/2]+v[NR/2+1])/2 }'
}
echo
printf "%7s %7s %8s %7s %9s %7s  %s\n" wall cpu encoder lame decoders ctxsw cli
for ((c = 0; c < ${#clis[@]}; c++)); do
    printf "%7s %7s %8s %7s %9s %7s  %s\n" "$(median 1 "$work/$c.times")" \
        "$(median 2 "$work/$c.times")" "$(median 3 "$work/$c.times")" \
        "$(median 4 "$work/$c.times")" "$(median 5 "$work/$c.times")" \
        "$(median 6 "$work/$c.times")" "${clis[$c]}"
done
echo "(median of $runs runs; seconds, ctxsw = voluntary context switches; load average at"
echo " the end: $(cut -d' ' -f1-3 /proc/loadavg))"
