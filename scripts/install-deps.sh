#!/usr/bin/env bash
# Installs the Debian 12 packages a task needs, by profile. Only what is
# missing is installed; when everything is there this is one dpkg-query call
# and returns at once. Safe to run repeatedly.
#
#   bash scripts/install-deps.sh [PROFILE...]      (default: test)
#
# Profiles, each with everything of `build`:
#   build   compile the library and h265info (scripts/run-sample.sh)
#   test    everything scripts/test-all.sh runs
#   bench   scripts/run-bench.sh: the benchmark, its peers and its report
#
# Runs as root (as CI does); falls back to sudo otherwise.
set -euo pipefail
export LC_ALL=C

BUILD_PACKAGES=(cmake make g++)

TEST_PACKAGES=(
  # clang with its sanitizer and libFuzzer runtimes; test frameworks and checkers
  clang libclang-rt-14-dev libgtest-dev valgrind pkg-config python3
  # fuzz/build.sh packs the seed corpora; the test command unpacks them
  zip unzip
  # 32-bit ARM cross build, run under qemu user-mode emulation
  g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf qemu-user
  # ARMv5TE soft-float and big-endian PowerPC cross builds, also under qemu
  g++-arm-linux-gnueabi binutils-arm-linux-gnueabi g++-powerpc-linux-gnu binutils-powerpc-linux-gnu
  # ffmpeg is the oracle of the corpus tests; x265 and ffmpeg remake the
  # corpus (scripts/make-samples.sh)
  ffmpeg x265
  # headless browser that renders h265info's SVG chart in its test
  chromium
  # independent readers of h265split's MP4 output: GStreamer's qtdemux and
  # h265parse; Node for mp4box.js (installed below from its lock file);
  # MediaInfo for the colour and HDR boxes
  gstreamer1.0-tools gstreamer1.0-plugins-good gstreamer1.0-plugins-bad nodejs mediainfo
  # GStreamer's H.265 decoder, for playbin and playbin3 on the HLS playlists
  gstreamer1.0-libav
  # GNU time: the peak memory of a long recording
  time
  # the camera input's loopback RTSP server (GStreamer's, from Debian's
  # python3 through GObject introspection); rtspsrc, GStreamer's client
  python3-gi gir1.2-gst-rtsp-server-1.0 gstreamer1.0-rtsp
)
# qemu-user-binfmt is deliberately not installed: the cross build names its
# emulator explicitly (CMAKE_CROSSCOMPILING_EMULATOR), and binfmt_misc cannot
# be registered inside many containers anyway.

BENCH_PACKAGES=(
  # Google Benchmark; GStreamer's codecparsers and FFmpeg's parser as peers
  libbenchmark-dev libgstreamer-plugins-bad1.0-dev libavcodec-dev pkg-config
  # the benchmark stream, callgrind counts, the chart
  ffmpeg valgrind python3 python3-matplotlib
)

if [ $# -eq 0 ]; then
  set -- test
fi
packages=("${BUILD_PACKAGES[@]}")
for profile in "$@"; do
  case "$profile" in
    build) ;;
    test) packages+=("${TEST_PACKAGES[@]}") ;;
    bench) packages+=("${BENCH_PACKAGES[@]}") ;;
    *)
      echo "install-deps: unknown profile '$profile' (build, test or bench)" >&2
      exit 2
      ;;
  esac
done
mapfile -t packages < <(printf '%s\n' "${packages[@]}" | sort -u)

# One status line per package and installed architecture; any installed one
# will do. Packages dpkg has never heard of print nothing and count as missing.
mapfile -t installed < <(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null |
  awk '$NF == "installed" && $(NF - 1) == "ok" { sub(/:.*/, "", $1); print $1 }' | sort -u)
mapfile -t missing < <(comm -23 <(printf '%s\n' "${packages[@]}") <(printf '%s\n' "${installed[@]}"))

# mp4box.js for the test profile, at the version of its lock file, in the
# source tree (ignored by git) where tests/tools/split/prove_mp4.py finds it.
install_mp4box() {
  local dir
  dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/tools/split/mp4box"
  case " $* " in *" test "*) ;; *) return 0 ;; esac
  if [ -f "$dir/node_modules/mp4box/package.json" ]; then
    return 0
  fi
  # Debian's nodejs comes without npm; another nodejs may bring its own.
  if ! command -v npm >/dev/null 2>&1; then
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends npm </dev/null || true
  fi
  echo "install-deps: npm ci in $dir (mp4box.js)"
  (cd "$dir" && npm ci --no-audit --no-fund --silent) ||
    echo "install-deps: mp4box.js could not be installed; its checks will be left out" >&2
}

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages of '$*' present"
  install_mp4box "$@"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  SUDO=(sudo)
fi
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
  --no-install-recommends "${missing[@]}" </dev/null
echo "install-deps: done"
install_mp4box "$@"
