#!/usr/bin/env bash
# Installs the Debian 12 packages Murkwell builds and tests with. Idempotent: installs only what
# is missing. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libtinyobjloader-dev libcli11-dev
  libpng-dev zlib1g-dev libtiff-dev libopenexr-dev
  libassimp-dev
)
# Benchmark-only: Embree 3 as the comparison the speed benchmarks report. Never linked into murkwell.
if [[ "${MURKWELL_WITH_EMBREE:-0}" == "1" ]]; then packages+=(libembree-dev); fi
# Test-only: clang with libFuzzer and the sanitizer runtimes, for the fuzz build.
if [[ "${MURKWELL_WITH_FUZZ:-0}" == "1" ]]; then packages+=(clang libclang-rt-14-dev); fi
# Test-only: Blender, the host the add-on's tests run in (headless), with numpy, which its glTF
# importer needs and Debian's blender package does not pull in. Large, so only the test command
# asks for it.
if [[ "${MURKWELL_WITH_BLENDER:-0}" == "1" ]]; then packages+=(blender python3-numpy); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  echo "setup: all packages present"
  exit 0
fi
sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
echo "setup: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
