#!/usr/bin/env bash
# Builds and runs the whole test suite: a normal build with warnings as errors, then the same
# suite under AddressSanitizer + UndefinedBehaviorSanitizer, then the threaded tests under
# ThreadSanitizer. The threaded tests also run as on machines of 1 and of 16 hardware threads.
# Last, each fuzz target runs for a minute under libFuzzer (scripts/fuzz.sh; FUZZ_SECONDS sets
# the time).
set -euo pipefail
cd "$(dirname "$0")/.."
MURKWELL_WITH_BLENDER=1 MURKWELL_WITH_FUZZ=1 scripts/setup.sh  # Blender (label `blender`) and clang (fuzzing)
jobs=$(nproc)

run_suite() {  # build-dir, ctest filter, cmake options...
  local dir=$1 filter=$2; shift 2
  cmake -S . -B "$dir" -G Ninja -DMURKWELL_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" ${filter:+-R "$filter"})
}

threaded_as_on() {  # build-dir, hardware threads, sanitizer runtime to preload first (or "")
  local dir=$1 n=$2 runtime=$3
  echo "== $dir: threaded tests as on a machine of $n hardware threads"
  (cd "$dir" && MURKWELL_HARDWARE_THREADS=$n \
    LD_PRELOAD="${runtime:+$runtime:}$PWD/tests/libmurkwell-forced-threads.so" \
    ctest --output-on-failure -j "$jobs" -R "Thread|Worker|Pool|Run")
}

echo "== normal build"
run_suite build "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
threaded_as_on build 1 ""
threaded_as_on build 16 ""
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build-asan "" -DCMAKE_BUILD_TYPE=Debug -DMURKWELL_SANITIZE=ON
# The ASan runtime must come first in the preload; ctest itself then runs with it, so leaks are
# left to the full run above.
ASAN_OPTIONS=detect_leaks=0 threaded_as_on build-asan 16 "$(c++ -print-file-name=libasan.so)"
echo "== ThreadSanitizer build (threaded tests)"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp" \
  run_suite build-tsan "Thread|Worker|Pool|Run" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMURKWELL_TSAN=ON
echo "== fuzzing (clang, libFuzzer, AddressSanitizer + UndefinedBehaviorSanitizer)"
scripts/fuzz.sh
