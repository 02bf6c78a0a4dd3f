#!/bin/sh
# Regenerates bench/BLENDER.md: builds Release into build-release (murkwell and the Blender
# add-on) and times a bake inside Blender against `murkwell bake` (bench/blender_bench.py), with a
# scratch Blender user folder so the user's own add-ons and settings stay out of it.
#
#   bench/blender_bench.sh [options of blender_bench.py]
#
# Needs the shared meshes in ../shared/meshes and Blender.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
MURKWELL_WITH_BLENDER=1 scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMURKWELL_TESTS=OFF >/dev/null
cmake --build build-release --target murkwell murkwell_blender_zip
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
BLENDER_USER_SCRIPTS="$scratch/scripts" BLENDER_USER_CONFIG="$scratch/config" \
  blender -b --factory-startup --python-exit-code 1 --python bench/blender_bench.py -- \
  --zip build-release/blender/murkwell_blender.zip --murkwell build-release/standalone/murkwell "$@"
