#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz, makes their seed corpora and
# runs each for SECONDS: scripts/fuzz.sh SECONDS. Exits non-zero on any finding and
# prints the path of the input that caused it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz.sh SECONDS}
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DTOLVANE_FUZZ=ON -DTOLVANE_BUILD_GUI=OFF \
    -DTOLVANE_BUILD_TESTS=OFF >/dev/null
targets=(fuzz_ini_profile fuzz_time_code fuzz_language_file fuzz_probe_job fuzz_player)
cmake --build "$dir" --target "${targets[@]}" -j"$(nproc)"

corpus=$dir/corpus
rm -rf "$corpus"
bash fuzz/make-corpus.sh "$corpus" >/dev/null
findings=$dir/findings
mkdir -p "$findings"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for target in "${targets[@]}"; do
    name=${target#fuzz_}
    work=$dir/work/$name
    mkdir -p "$work"
    echo "== $target for ${seconds}s"
    log=$findings/$target.log
    # The seeds are kept apart from what the run adds, so the next run starts the same.
    if ! "$dir/bin/$target" "$work" "$corpus/$name" -max_total_time="$seconds" -timeout=30 \
        -rss_limit_mb=2048 -max_len=65536 -artifact_prefix="$findings/$target-" \
        -print_final_stats=1 >"$log" 2>&1; then
        status=1
        echo "finding in $target (log: $log)"
        # The report and its stack, so a finding on another machine can be traced.
        sed -n '/Assertion\|^==[0-9]*== *ERROR\|runtime error/,/^SUMMARY/p' "$log" | head -60 || true
        grep -o "Test unit written to .*" "$log" | sed 's/^Test unit written to /crash input: /' || true
    else
        grep -E "^(stat::number_of_executed_units|Done)" "$log" | tr '\n' ' ' || true
        echo
    fi
done
exit $status
