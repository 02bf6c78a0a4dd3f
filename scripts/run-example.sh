#!/usr/bin/env bash
# Builds Murkwell (Release, in build-release) and bakes the example mesh two ways: a 16-bit grit
# map (out/example_grit.png) and grit vertex colours (out/example_grit.ply). The settings used
# are kept in out/config, not in the user's configuration directory.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMURKWELL_TESTS=OFF >/dev/null
cmake --build build-release --target murkwell -j "$(nproc)"

mkdir -p out
murkwell=build-release/standalone/murkwell
example=examples/grooved_block.obj
common=(--config-dir out/config --dist 2 --spread 8x2)

"$murkwell" bake "$example" --mode uv --size 512x512 "${common[@]}" -o out/example_grit.png
"$murkwell" bake "$example" --mode vertex --replace "${common[@]}" -o out/example_grit.ply

echo
echo "Grit map:      $(pwd)/out/example_grit.png  (512 x 512, 16-bit grey, white = crevice)"
echo "Vertex colours: $(pwd)/out/example_grit.ply (binary PLY, dark = crevice)"
