#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang under AddressSanitizer +
# UndefinedBehaviorSanitizer in build-fuzz, and fuzzes each for a bounded time, a few at a time,
# each starting from a temporary copy of its seed corpus and regression inputs (nothing is
# written into the repository). Prints a summary of the executions each target ran. Exits
# non-zero when a target found a crash, a leak, a timeout or a failed check, and prints the path
# of each input that did (kept under build-fuzz/findings/<target>/).
#
#   FUZZ_SECONDS  time per target (default 60)
#   FUZZ_JOBS     targets fuzzed at once (default 2)
#   FUZZ_TARGETS  the targets to run (default: all)
#   FUZZ_BUILD    the build directory (default build-fuzz)
#
# An input that failed becomes a regression input by copying it into
# tests/fuzz/regressions/<target>/; the test suite replays those in every build.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-2}
targets=(${FUZZ_TARGETS:-obj_bake mesh_import settings_file number_text})
build=${FUZZ_BUILD:-build-fuzz}
MURKWELL_WITH_FUZZ=1 scripts/setup.sh

# Per target: the dictionary and the longest input worth trying.
declare -A dict=([obj_bake]=obj.dict [mesh_import]=mesh.dict [settings_file]=ini.dict [number_text]=number.dict)
declare -A max_len=([obj_bake]=4096 [mesh_import]=16384 [settings_file]=4096 [number_text]=256)
# mesh_import reaches Assimp's readers, which crash on some malformed files and allocate what a
# file's counts ask for (without bound under the sanitizers; outside them the import holds itself
# to a memory ceiling, and the program turns a reader's crash into an error line). Those faults
# are Assimp's to mend, not ours, so the target runs in fork mode, which sets every failing input
# aside and goes on; afterwards each one is replayed and fails the run unless its stack shows
# the fault inside Assimp's reading of the file (see owner_of_failure).
declare -A extra=([mesh_import]="-fork=1 -ignore_ooms=1 -ignore_timeouts=1 -ignore_crashes=1")
declare -A replayed=([mesh_import]=1)

# -O1 with line tables: quick to build, still fast to run, and readable stack traces.
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DMURKWELL_FUZZ=ON -DMURKWELL_TESTS=OFF -DMURKWELL_WERROR=ON \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

# The fuzzers' working files, and the temporary directories the targets make, live here; on a
# memory file system when there is one, since the settings target writes a file per input.
tmp_parent=/dev/shm
[[ -d $tmp_parent && -w $tmp_parent ]] || tmp_parent=${TMPDIR:-/tmp}
work=$(mktemp -d "$tmp_parent/murkwell-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
findings="$build/findings"
rm -rf "$findings"

fuzz() {  # target
  local t=$1 dir="$work/$1"
  mkdir -p "$dir/corpus" "$dir/artifacts" "$dir/tmp"
  cp tests/fuzz/corpus/"$t"/* "$dir/corpus/"
  if [[ -d tests/fuzz/regressions/$t ]]; then cp tests/fuzz/regressions/"$t"/* "$dir/corpus/" 2>/dev/null || true; fi
  local status=0
  TMPDIR="$dir/tmp" ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/tests/fuzz/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/tests/fuzz/fuzz_$t" "$dir/corpus" -dict="tests/fuzz/${dict[$t]}" -max_len="${max_len[$t]}" \
    -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$dir/artifacts/" ${extra[$t]:-} >"$dir/log" 2>&1 || status=$?
  echo "$status" >"$dir/status"
}

echo "== fuzzing ${targets[*]}: ${seconds} s each, $jobs at a time"
start=$SECONDS
running=0
for t in "${targets[@]}"; do
  if ((running >= jobs)); then
    wait -n || true
    running=$((running - 1))
  fi
  fuzz "$t" &
  running=$((running + 1))
done
wait || true
wall=$((SECONDS - start))

stat() {  # log, name
  sed -n "s/^stat::$2: *//p" "$1" | tail -n 1
}
# In fork mode libFuzzer prints progress lines instead of final stats:
# "#5103: cov: 14745 ft: 12884 corp: 145 exec/s 99 oom/timeout/crash: 0/0/0 time: 48s ...".
fork_stat() {  # log, field (executions, exec/s, corp)
  local line
  line=$(grep -E '^#[0-9]+: cov:' "$1" | tail -n 1)
  case $2 in
    executions) sed -E 's/^#([0-9]+):.*/\1/' <<<"$line" ;;
    exec/s) sed -E 's/.* exec\/s ([0-9]+).*/\1/' <<<"$line" ;;
    corp) sed -E 's/.* corp: ([0-9]+).*/\1/' <<<"$line" ;;
  esac
}

# Whose fault a failure's report shows: "assimp" when, in its first stack, frames in libassimp
# come before the first frame in our sources and that frame is the module's call into Assimp;
# "ours" otherwise (including a report without any frame of our sources).
owner_of_failure() {  # replay log
  awk -v root="$PWD/" '
    /^ *#0 / { stacks++ }
    stacks == 1 && /^ *#[0-9]+ / && !decided {
      if (index($0, "libassimp.so")) { sawAssimp = 1; next }
      if (match($0, " " root "[^ ]+:[0-9]+")) {
        decided = 1
        owner = (sawAssimp && index(substr($0, RSTART, RLENGTH), "standalone/modules/AssimpReader.cpp")) ? "assimp" : "ours"
      }
    }
    END { print decided ? owner : "ours" }' "$1"
}

# Replays each input a fork-mode target set aside, alone; prints "<owner> <input>" per input:
# "ours" or "assimp" (owner_of_failure), or "unrepeated" for a timeout or out-of-memory input that
# ran through when replayed alone (slow only while the fuzzers shared the cores). A timeout is
# replayed with a shorter limit, so the report's stack shows where the time goes.
classify_findings() {  # target
  local t=$1 dir="$work/$1" f limit name
  for f in "$dir"/artifacts/*; do
    [[ -f $f ]] || continue
    name=$(basename "$f") limit=30
    [[ $name != timeout-* ]] || limit=10
    TMPDIR="$dir/tmp" ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/tests/fuzz/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 \
      timeout 120 "$build/tests/fuzz/fuzz_$t" -timeout=$limit -rss_limit_mb=2048 "$f" >"$f.replay" 2>&1 || true
    if [[ $name == timeout-* || $name == oom-* ]] && ! grep -qE 'ERROR|SUMMARY' "$f.replay"; then
      echo "unrepeated $f"
    else
      echo "$(owner_of_failure "$f.replay") $f"
    fi
  done
}

failed=0
printf '%-14s %12s %10s %10s %8s  %s\n' target executions "exec/s" "new units" "rss MB" result
for t in "${targets[@]}"; do
  dir="$work/$t"
  status=$(cat "$dir/status" 2>/dev/null || echo 1)
  result=ok
  shopt -s nullglob
  found=("$dir"/artifacts/*)
  shopt -u nullglob
  theirs=0 unrepeated=0
  # In fork mode libFuzzer exits with the exit code of its last job, which may be an input it set
  # aside; the run itself ended well when it says it is exiting. Its inputs are replayed below.
  if [[ -n ${replayed[$t]:-} ]] && ((status != 0)) && grep -q '^INFO: exiting: ' "$dir/log"; then status=0; fi
  if ((status == 0 && ${#found[@]} > 0)) && [[ -n ${replayed[$t]:-} ]]; then
    # Inputs whose fault lies in Assimp are kept under findings and counted, not failed.
    mkdir -p "$findings/$t/assimp"
    ours=()
    while read -r owner f; do
      if [[ $owner == assimp ]]; then
        theirs=$((theirs + 1))
        cp "$f" "$f.replay" "$findings/$t/assimp/"
      elif [[ $owner == unrepeated ]]; then
        unrepeated=$((unrepeated + 1))
      else
        ours+=("$f")
      fi
    done < <(classify_findings "$t")
    found=("${ours[@]}")
  fi
  if ((status != 0 || ${#found[@]} > 0)); then
    failed=1
    if ((status != 0)); then result="FAILED (exit $status)"; else result="FAILED (${#found[@]} failing input(s))"; fi
    mkdir -p "$findings/$t"
    cp "$dir/log" "$findings/$t/fuzz.log"
    for f in "${found[@]}"; do
      cp "$f" "$findings/$t/"
      if [[ -f $f.replay ]]; then cp "$f.replay" "$findings/$t/"; fi
    done
  fi
  if ((theirs > 0)); then result="$result; $theirs input(s) failing inside Assimp, kept in $findings/$t/assimp"; fi
  if ((unrepeated > 0)); then result="$result; $unrepeated slow input(s) that ran through when replayed alone"; fi
  if [[ -n $(stat "$dir/log" number_of_executed_units) ]]; then
    printf '%-14s %12s %10s %10s %8s  %s\n' "$t" "$(stat "$dir/log" number_of_executed_units)" \
      "$(stat "$dir/log" average_exec_per_sec)" "$(stat "$dir/log" new_units_added)" \
      "$(stat "$dir/log" peak_rss_mb)" "$result"
  else  # fork mode: the corpus size stands in for new units, and no peak memory is printed
    printf '%-14s %12s %10s %10s %8s  %s\n' "$t" "$(fork_stat "$dir/log" executions)" \
      "$(fork_stat "$dir/log" exec/s)" "corpus $(fork_stat "$dir/log" corp)" "-" "$result"
  fi
done
echo "fuzzing took ${wall} s"

if ((failed)); then
  echo
  for t in "${targets[@]}"; do
    [[ -d $findings/$t ]] || continue
    echo "== $t: $findings/$t/fuzz.log"
    grep -E 'ERROR|fuzz check failed|SUMMARY' "$findings/$t/fuzz.log" | head -n 5 || true
    for f in "$findings/$t"/*; do
      if [[ -f $f && $f != */fuzz.log && $f != *.replay ]]; then
        echo "input: $f"
        if [[ -f $f.replay ]]; then grep -E 'ERROR|fuzz check failed|SUMMARY' "$f.replay" | head -n 3 || true; fi
      fi
    done
  done
  echo "Reproduce with $build/tests/fuzz/fuzz_<target> INPUT; keep it as a regression input in tests/fuzz/regressions/<target>/."
  exit 1
fi
