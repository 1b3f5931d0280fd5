#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test and run its
# samples. Only what is missing is installed; when everything is there this is a
# handful of dpkg-query calls and returns at once. Safe to run repeatedly.
#
#   bash scripts/install-deps.sh [--bench]
#
# Runs as root (as CI does); falls back to sudo otherwise.
set -euo pipefail

PACKAGES=(
  # native toolchains and test frameworks
  cmake g++ clang libclang-rt-14-dev libgtest-dev libbenchmark-dev
  valgrind pkg-config python3
  # 32-bit ARM cross build, run under qemu user-mode emulation
  g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf qemu-user
  # making and cross-checking sample streams
  x265 ffmpeg libavcodec-dev libgstreamer-plugins-bad1.0-dev
  # headless browser that renders h265info's SVG chart in its test
  chromium
)
# With --bench, also what scripts/run-bench.sh needs beyond that: matplotlib
# for its chart.
if [ "${1:-}" = "--bench" ]; then
  PACKAGES+=(python3-matplotlib)
fi
# qemu-user-binfmt is deliberately not installed: the cross build names its
# emulator explicitly (CMAKE_CROSSCOMPILING_EMULATOR), and binfmt_misc cannot
# be registered inside many containers anyway.

missing=()
for pkg in "${PACKAGES[@]}"; do
  # One status line per installed architecture; any installed one will do.
  if ! dpkg-query -W -f='${Status}\n' "$pkg" 2>/dev/null |
      grep -x 'install ok installed' >/dev/null; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#PACKAGES[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
  --no-install-recommends "${missing[@]}" </dev/null
echo "install-deps: done"
