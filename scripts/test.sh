#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with CTest: the normal build,
# then the whole suite under AddressSanitizer with UndefinedBehaviorSanitizer, then
# the whole suite again under ThreadSanitizer. `--quick` runs the normal build only.
set -euo pipefail
cd "$(dirname "$0")/.."
quick=0
[ "${1:-}" = "--quick" ] && quick=1

bash scripts/setup.sh --test

export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy
jobs=$(nproc)

run_suite() {
    local dir=$1; shift
    local filter=$1; shift
    bash scripts/build.sh "$dir" "$@"
    if [ -n "$filter" ]; then
        ctest --test-dir "$dir" --output-on-failure -j"$jobs" -R "$filter"
    else
        ctest --test-dir "$dir" --output-on-failure -j"$jobs"
    fi
}

echo "== normal build"
run_suite build "" -DTOLVANE_BUILD_TESTS=ON
[ $quick = 1 ] && exit 0

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
run_suite build-asan "" -DTOLVANE_SANITIZE=address

echo "== ThreadSanitizer"
# Qt is not built with TSan: its raster painting runs on its own thread pool, whose
# futex-based locks TSan cannot see. ignore_noninstrumented_modules drops only the
# allocator and libc calls made from inside such libraries; every access of our own
# code is still checked.
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1
run_suite build-tsan "" -DTOLVANE_SANITIZE=thread -DTOLVANE_BUILD_GUI=ON

echo "== Fuzzing (60 seconds per target)"
bash scripts/fuzz.sh 60
