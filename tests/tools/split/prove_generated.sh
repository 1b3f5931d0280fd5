#!/bin/sh
# Encodes a 1080p stream of 600 pictures with a key picture every 50 (an IDR,
# then open-GOP CRA pictures with RASL pictures), proves h265split's segments
# of it at the default cut (2 s at 25 pictures per second) and counts them.
# Exits 77 (skipped) without ffmpeg and its x265 encoder, and when
# H265SPLIT_SKIP_LARGE is set (sanitizer and emulated builds, where the
# encode and decodes would take minutes).
#   prove_generated.sh H265SPLIT WORKDIR
set -eu
tool=${1:?usage: prove_generated.sh H265SPLIT WORKDIR}
work=${2:?usage: prove_generated.sh H265SPLIT WORKDIR}
here=$(dirname "$0")

if [ -n "${H265SPLIT_SKIP_LARGE:-}" ]; then
    echo "SKIPPED: $H265SPLIT_SKIP_LARGE"
    exit 77
fi
if ! command -v ffmpeg >/dev/null 2>&1 || ! ffmpeg -hide_banner -encoders 2>/dev/null | grep -q libx265; then
    echo "SKIPPED: ffmpeg with libx265 is not installed"
    exit 77
fi
mkdir -p "$work"
stream=$work/testsrc2_1920x1080_600.265
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v 600 -c:v libx265 -preset ultrafast \
    -x265-params keyint=50:min-keyint=50:bitrate=1000:log-level=error -f hevc -y "$stream"
python3 "$here/prove_segments.py" "$tool" "$stream" "$work/proof" --json
# A key picture every 50 in output order, 2 s at 25 pictures per second: a
# segment each, although each CRA picture comes before its leading pictures.
rm -rf "$work/count"
"$tool" "$stream" "$work/count"
segments=$(($(wc -l < "$work/count/index.csv") - 1))
if [ "$segments" -ne 12 ]; then
    echo "FAILED: $segments segments of 600 pictures with a key picture every 50"
    exit 1
fi
rm -rf "$work/count"
rm -f "$stream"
