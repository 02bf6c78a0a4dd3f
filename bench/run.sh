#!/bin/sh
# Regenerates bench/RESULTS.md: builds Release with the benchmarks into build-bench, runs the ray
# query benchmark and the whole bakes, and writes the report.
#
#   bench/run.sh [--full]      --full: also run plain-scan bakes estimated to take over 4 minutes
#                              (each still stops at 10 minutes)
#
# Needs the shared meshes in ../shared/meshes, Python 3, and Embree 3 for its column.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=build-bench
# The project's packages plus Embree 3, the benchmark-only comparison.
MURKWELL_WITH_EMBREE=1 scripts/setup.sh

# No -Werror here: GCC 12 at -O3 reports false maybe-uninitialized/restrict warnings inside
# libstdc++'s string code; the warning-clean gate is the regular build.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMURKWELL_BENCH=ON -DMURKWELL_TESTS=OFF \
    -DMURKWELL_WERROR=OFF >/dev/null
cmake --build "$build" --target murkwell_bench murkwell murkwell_plugin

exec python3 bench/report.py --build "$build" --meshes ../shared/meshes --out bench/RESULTS.md "$@"
