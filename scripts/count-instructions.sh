#!/usr/bin/env bash
# Guest instructions per query on 32-bit ARM, counted under qemu-arm: the
# counts do not depend on the host's load, so they can be compared across runs
# and held to budgets. Beside the library's queries, whole runs of h265split
# per byte of input, and the RTP depacketizer per byte of RTP packets.
#
#   bash scripts/count-instructions.sh                 the table for every flavour
#   H265_COUNT_FLAVOURS="armhf" H265_COUNT_QUERIES='^depacketize/' \
#     bash scripts/count-instructions.sh               the rows matching the
#                                   pattern (grep -E), for those flavours only
#   bash scripts/count-instructions.sh --check BUILD FLAVOUR...
#                                   the library's counts of an ARM build (made
#                                   with the flavour's toolchain and flags),
#                                   and h265split's where the build has it,
#                                   against bench/arm-budgets.txt
#
# Method: bench/h265_count runs one query K times and once with K = 0; a
# QEMU plugin (bench/insn_count_plugin.c) counts every guest instruction each
# run executes; (count(K) - count(0)) / (K * items) is the count per item
# (per byte for the scans, per access unit otherwise). Both runs read the same
# data and make the same first call, so start-up and lazy binding cancel out.
# The depacketizers (depacketize/*) take the benchmark stream as RTP packets
# (GStreamer's rtph265pay, 1400-byte MTU, parameter sets before each IRAP
# picture), one pass of them after another with the sequence numbers and
# timestamps carried on, and are counted per byte of RTP packets: ours
# (rtp::H265Depacketizer, in builds with the tools), FFmpeg's (libavformat's
# SDP demuxer with custom I/O: its depacketizer and HEVC parser to access
# units, and with AVFMT_FLAG_NOPARSE its depacketizer alone), and the copy
# into a receive buffer that FFmpeg's rows include (the read callback's
# memcpy, which a socket's recv would do in the kernel).
# h265split (split/raw, split/fmp4: --format raw, fmp4) runs once on the
# benchmark stream and once on two copies of it, one after the other; the
# difference over the bytes of one copy is its count per byte of input, its
# start-up cancelling out. The writes are system calls, done by the host.
#
# Flavours (build, qemu CPU):
#   armhf         Debian's stock arm-linux-gnueabihf flags (ARMv7-A, Thumb-2,
#                 VFPv3-D16, no NEON in the build), on a Cortex-A15 with NEON
#   armhf-noneon  the same build on a Cortex-A15 without NEON: the scanner's
#                 portable path
#   armhf-neon    built with -mfpu=neon, on a Cortex-A15
#   armel         arm-linux-gnueabi, ARMv5TE soft-float, on an ARM926
#
# Data: 1 MiB of the benchmark's random bytes without a start code for the
# scans, and the benchmark stream (1920x1080, 60 pictures, 4 slices each,
# made by scripts/make-bench-stream.sh) for the other queries; its first
# access unit is the IDR one with VPS, SPS and PPS.
#
# FFmpeg's and GStreamer's searches (scan/ffmpeg, scan/gstreamer) and
# FFmpeg's depacketizer (depacketize/ffmpeg, depacketize/ffmpeg_noparse) come from
# Debian's armhf and armel packages, unpacked under <build root>/arm-peers by
# scripts/fetch-arm-peers.sh (about 60 MB from the archive per architecture);
# H265_COUNT_PEERS=0 leaves them out. The --check mode never needs them.
#
# Environment: H265_BUILD_ROOT (default <repo>/build), H265_JOBS (default 2).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${H265_BUILD_ROOT:-$ROOT/build}
JOBS=${H265_JOBS:-2}
DATA=$ROOT/build/count-data
BUDGETS=$ROOT/bench/arm-budgets.txt
PLUGIN=$DATA/libinsn_count.so
LIBRARY_QUERIES=(scan/h265headers nalu_type/h265headers parameter_sets/h265headers
  slice_type/h265headers resolution/h265headers)
SPLIT_QUERIES=(split/raw split/fmp4)
STREAM=x265_1920x1080_60f_slices4.hevc
STREAM_TWICE=x265_1920x1080_60f_slices4_twice.hevc
PACKETS=x265_1920x1080_60f_slices4.rtp
BASELINE_QUERIES=(scan/byte_loop scan/memchr)
RTP_QUERIES=(depacketize/h265headers depacketize/copy)

# flavour -> "toolchain|extra flags|qemu cpu|sysroot"
flavour() {
  case $1 in
    armhf) echo "arm-linux-gnueabihf.cmake||cortex-a15|/usr/arm-linux-gnueabihf" ;;
    armhf-noneon) echo "arm-linux-gnueabihf.cmake||cortex-a15,neon=off|/usr/arm-linux-gnueabihf" ;;
    armhf-neon) echo "arm-linux-gnueabihf.cmake|-mfpu=neon|cortex-a15|/usr/arm-linux-gnueabihf" ;;
    armel) echo "arm-linux-gnueabi.cmake||arm926|/usr/arm-linux-gnueabi" ;;
    *) echo "count-instructions: unknown flavour $1" >&2; return 1 ;;
  esac
}

prepare_data() {
  mkdir -p "$DATA"
  if [ ! -f "$PLUGIN" ] || [ "$ROOT/bench/insn_count_plugin.c" -nt "$PLUGIN" ]; then
    cc -O2 -Wall -Wextra -shared -fPIC -o "$PLUGIN.tmp" "$ROOT/bench/insn_count_plugin.c"
    mv "$PLUGIN.tmp" "$PLUGIN"
  fi
  bash "$ROOT/scripts/make-bench-stream.sh" "$DATA/$STREAM" 1920x1080 60 >&2
  if [ ! -f "$DATA/$STREAM_TWICE" ] || [ "$DATA/$STREAM" -nt "$DATA/$STREAM_TWICE" ]; then
    cat "$DATA/$STREAM" "$DATA/$STREAM" > "$DATA/$STREAM_TWICE.tmp"
    mv "$DATA/$STREAM_TWICE.tmp" "$DATA/$STREAM_TWICE"
  fi
}

# The benchmark stream as RTP packets, for the depacketizers (the table
# only: the --check mode has no depacketize/* budgets).
prepare_packets() {
  if [ ! -f "$DATA/$PACKETS" ] || [ "$DATA/$STREAM" -nt "$DATA/$PACKETS" ]; then
    gst-launch-1.0 -q filesrc location="$DATA/$STREAM" ! h265parse \
      ! rtph265pay config-interval=-1 mtu=1400 seqnum-offset=0 timestamp-offset=0 ssrc=1 \
      ! rtpstreampay ! filesink location="$DATA/$PACKETS.tmp"
    mv "$DATA/$PACKETS.tmp" "$DATA/$PACKETS"
  fi
}

# library_path <build> <sysroot>: where the build's driver finds its
# libraries; a build against FFmpeg and GStreamer finds them where they were
# unpacked.
library_path() {
  local peers triple
  peers=$(sed -n 's/^H265_COUNT_PEERS_ROOT:PATH=//p' "$1/CMakeCache.txt")
  if [ -n "$peers" ]; then
    triple=$(basename "$2")
    echo "$1:$peers/usr/lib/$triple:$peers/lib/$triple"
  else
    echo "$1"
  fi
}

# count <build> <flavour> <query> <K>: "<instructions of one run> <items of
# one repetition>".
count() {
  local build=$1 query=$3 reps=$4 setup cpu sysroot out
  setup=$(flavour "$2")
  IFS='|' read -r _ _ cpu sysroot <<< "$setup"
  out=$(mktemp)
  qemu-arm -cpu "$cpu" -L "$sysroot" -E LD_LIBRARY_PATH="$(library_path "$build" "$sysroot")" \
    -plugin "$PLUGIN,out=$out" \
    "$build/bench/h265_count" run "$DATA/$(basename "$build")" "$query" "$reps" > "$out.stdout"
  echo "$(cat "$out") $(sed -n 's/^items //p' "$out.stdout")"
  rm -f "$out" "$out.stdout"
}

# split_count <build> <flavour> <format> <input>: instructions of one
# h265split run, into an empty directory.
split_count() {
  local build=$1 format=$3 input=$4 setup cpu sysroot out
  setup=$(flavour "$2")
  IFS='|' read -r _ _ cpu sysroot <<< "$setup"
  out=$(mktemp -d)
  if ! qemu-arm -cpu "$cpu" -L "$sysroot" -E LD_LIBRARY_PATH="$(library_path "$build" "$sysroot")" \
    -plugin "$PLUGIN,out=$out/count" "$build/tools/h265split" --format "$format" "$input" "$out/segments" \
    > /dev/null 2> "$out/stderr"; then
    echo "count-instructions: h265split --format $format failed:" >&2
    cat "$out/stderr" >&2
    rm -rf "$out"
    return 1
  fi
  cat "$out/count"
  rm -rf "$out"
}

# per_item <build> <flavour> <query>: instructions per byte (scans and
# h265split, two decimals) or per query (whole numbers).
per_item() {
  local reps=20 c0 c1 items
  case $3 in
    split/*)
      c0=$(split_count "$1" "$2" "${3#split/}" "$DATA/$STREAM")
      c1=$(split_count "$1" "$2" "${3#split/}" "$DATA/$STREAM_TWICE")
      awk -v a="$c0" -v b="$c1" -v n="$(stat -c %s "$DATA/$STREAM")" 'BEGIN { printf "%.2f\n", (b - a) / n }'
      return ;;
  esac
  case $3 in
    # Start-up with FFmpeg's and GStreamer's hundred libraries varies by a
    # few hundred thousand instructions from run to run; 16 MiB of scanning
    # makes that less than 0.03 per byte. Over 16 passes of the packets
    # (1.2 MB each), FFmpeg's rows still vary by up to 1 % from run to run.
    scan/ffmpeg | scan/gstreamer | depacketize/*) reps=16 ;;
    scan/*) reps=2 ;;
    nalu_type/* | slice_type/*) reps=3 ;;
  esac
  read -r c0 _ <<< "$(count "$1" "$2" "$3" 0)"
  read -r c1 items <<< "$(count "$1" "$2" "$3" "$reps")"
  case $3 in
    scan/* | depacketize/*) awk -v a="$c0" -v b="$c1" -v n="$((reps * items))" 'BEGIN { printf "%.2f\n", (b - a) / n }' ;;
    *) awk -v a="$c0" -v b="$c1" -v n="$((reps * items))" 'BEGIN { printf "%.0f\n", (b - a) / n }' ;;
  esac
}

# The data a build's driver reads, in a directory named after the build.
prepare_build_data() {
  local build=$1 setup sysroot
  setup=$(flavour "$2")
  IFS='|' read -r _ _ _ sysroot <<< "$setup"
  mkdir -p "$DATA/$(basename "$build")"
  qemu-arm -L "$sysroot" -E LD_LIBRARY_PATH="$(library_path "$build" "$sysroot")" "$build/bench/h265_count" prepare \
    "$DATA/$(basename "$build")" "$DATA/$STREAM" $([ -f "$DATA/$PACKETS" ] && echo "$DATA/$PACKETS")
}

# build_flavour <flavour> <dir> [<peers root>]: h265_count, and h265split
# in a build without the peers.
build_flavour() {
  local name=$1 dir=$2 peers=${3:-} setup toolchain flags tools=ON targets=(h265_count h265split)
  setup=$(flavour "$name")
  IFS='|' read -r toolchain flags _ _ <<< "$setup"
  if [ -n "$peers" ]; then
    tools=OFF
    targets=(h265_count)
  fi
  cmake -S "$ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    "-DCMAKE_CXX_FLAGS=$flags" -DH265_BUILD_TOOLS=$tools "-DH265_COUNT_PEERS_ROOT=$peers" > /dev/null
  nice -n 10 cmake --build "$dir" -j"$JOBS" --target "${targets[@]}" > /dev/null
}

if [ "${1:-}" = "--check" ]; then
  build=$(cd "$2" && pwd)
  shift 2
  prepare_data
  failed=0
  # h265split's runs are counted where the build has it (not with
  # H265_BUILD_TOOLS=OFF, as the arm-bench stage builds).
  queries=("${LIBRARY_QUERIES[@]}")
  if [ -x "$build/tools/h265split" ]; then
    queries+=("${SPLIT_QUERIES[@]}")
  fi
  for name in "$@"; do
    prepare_build_data "$build" "$name"
    for query in "${queries[@]}"; do
      budget=$(awk -v f="$name" -v q="$query" '$1 == f && $2 == q { print $3 }' "$BUDGETS")
      if [ -z "$budget" ]; then
        echo "no budget for $name $query in $BUDGETS" >&2
        failed=1
        continue
      fi
      got=$(per_item "$build" "$name" "$query")
      if awk -v g="$got" -v b="$budget" 'BEGIN { exit !(g > b * 1.05) }'; then
        verdict="OVER BUDGET"
        failed=1
      else
        verdict=ok
      fi
      printf '%-13s %-28s %10s  budget %8s  %s\n' "$name" "$query" "$got" "$budget" "$verdict"
    done
  done
  exit "$failed"
fi

prepare_data
prepare_packets
read -r -a FLAVOURS <<< "${H265_COUNT_FLAVOURS:-armhf armhf-noneon armhf-neon armel}"
QUERY_PATTERN=${H265_COUNT_QUERIES:-.}
declare -A BUILD_OF=([armhf]=count-armhf [armhf-noneon]=count-armhf [armhf-neon]=count-armhf-neon
  [armel]=count-armel)
declare -A BUILT=()
for name in "${FLAVOURS[@]}"; do
  flavour "$name" > /dev/null
  if [ -z "${BUILT[${BUILD_OF[$name]}]:-}" ]; then
    build_flavour "$name" "$BUILD_ROOT/${BUILD_OF[$name]}"
    prepare_build_data "$BUILD_ROOT/${BUILD_OF[$name]}" "$name"
    BUILT[${BUILD_OF[$name]}]=1
  fi
done
# FFmpeg's and GStreamer's searches, from Debian's armhf and armel packages,
# through a driver of their own so that the library's builds stay as the
# budget check sees them.
declare -A PEERS_OF=([armhf]=count-peers-armhf [armhf-noneon]=count-peers-armhf
  [armhf-neon]=count-peers-armhf [armel]=count-peers-armel)
if [ "${H265_COUNT_PEERS:-1}" = 1 ]; then
  for name in "${FLAVOURS[@]}"; do
    arch=${name%%-*}
    if [ -z "${BUILT[${PEERS_OF[$name]}]:-}" ]; then
      bash "$ROOT/scripts/fetch-arm-peers.sh" "$BUILD_ROOT/arm-peers/$arch" "$arch" >&2
      build_flavour "$arch" "$BUILD_ROOT/${PEERS_OF[$name]}" "$BUILD_ROOT/arm-peers/$arch"
      prepare_build_data "$BUILD_ROOT/${PEERS_OF[$name]}" "$arch"
      BUILT[${PEERS_OF[$name]}]=1
    fi
  done
  PEER_QUERIES=(scan/ffmpeg scan/gstreamer depacketize/ffmpeg depacketize/ffmpeg_noparse)
else
  PEER_QUERIES=()
fi

echo "instructions per query (per byte of input for the scans and h265split's runs, of RTP packets for" \
  "the depacketizers), $(git -C "$ROOT" log -1 --format=%h 2>/dev/null || echo '')"
echo
echo "| query | $(IFS='|'; echo "${FLAVOURS[*]}" | sed 's/|/ | /g') |"
echo "| --- |$(for _ in "${FLAVOURS[@]}"; do printf ' ---: |'; done)"
# table_row <query> <name of the array mapping flavours to builds>
table_row() {
  local -n builds=$2
  local row="| $1 |" name
  for name in "${FLAVOURS[@]}"; do
    row="$row $(per_item "$BUILD_ROOT/${builds[$name]}" "$name" "$1") |"
  done
  echo "$row"
}
for query in "${LIBRARY_QUERIES[@]}" "${BASELINE_QUERIES[@]}" "${SPLIT_QUERIES[@]}" "${RTP_QUERIES[@]}"; do
  if grep -q -E -e "$QUERY_PATTERN" <<< "$query"; then
    table_row "$query" BUILD_OF
  fi
done
for query in "${PEER_QUERIES[@]}"; do
  if grep -q -E -e "$QUERY_PATTERN" <<< "$query"; then
    table_row "$query" PEERS_OF
  fi
done
