#!/usr/bin/env bash
# Builds and runs the whole test suite: a normal build with warnings as errors, then the same
# suite under AddressSanitizer + UndefinedBehaviorSanitizer, then the threaded tests under
# ThreadSanitizer, then each fuzz target for a minute under libFuzzer (scripts/fuzz.sh;
# FUZZ_SECONDS sets the time).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

run_suite() {  # build-dir, ctest filter, cmake options...
  local dir=$1 filter=$2; shift 2
  cmake -S . -B "$dir" -G Ninja -DMURKWELL_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" ${filter:+-R "$filter"})
}

echo "== normal build"
run_suite build "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build-asan "" -DCMAKE_BUILD_TYPE=Debug -DMURKWELL_SANITIZE=ON
echo "== ThreadSanitizer build (threaded tests)"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp" \
  run_suite build-tsan "Thread|Worker|Pool|Run" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMURKWELL_TSAN=ON
echo "== fuzzing (clang, libFuzzer, AddressSanitizer + UndefinedBehaviorSanitizer)"
scripts/fuzz.sh
