#!/usr/bin/env bash
# Encodes the benchmark stream: FFmpeg's testsrc2 pattern through libx265 with
# four slices per picture, written as a raw Annex B byte stream. Nothing is
# done when the file already exists.
#
#   bash scripts/make-bench-stream.sh OUT.hevc [WIDTHxHEIGHT] [FRAMES]
#
# Defaults: 1920x1080, 60 frames at 30 frames per second.
set -euo pipefail

out=${1:?usage: make-bench-stream.sh OUT.hevc [WIDTHxHEIGHT] [FRAMES]}
size=${2:-1920x1080}
frames=${3:-60}

if [ -s "$out" ]; then
  echo "make-bench-stream: $out already there"
  exit 0
fi
mkdir -p "$(dirname "$out")"
tmp="$out.partial.hevc"
ffmpeg -hide_banner -loglevel error -nostdin -y \
  -f lavfi -i "testsrc2=size=${size}:rate=30" -frames:v "$frames" \
  -c:v libx265 -x265-params "slices=4:log-level=error" -f hevc "$tmp"
mv "$tmp" "$out"
echo "make-bench-stream: wrote $out ($(stat -c %s "$out") bytes)"
