#!/bin/sh
# Encodes a 1080p stream of 300 pictures at 30000/1001 with x265: open GOP
# (CRA pictures with RASL pictures, dropped at each cut), 3 B-pictures in a
# pyramid, a key picture every 59, so that a segment of the default
# --seconds 2 holds two GOPs (3.94 s); proves h265split's fragmented MP4
# output of it (prove_mp4.py) at that cut, where the frame rate comes from
# the SPS VUI.
# Exits 77 (skipped) without the x265 encoder and when H265SPLIT_SKIP_LARGE
# is set (sanitizer and emulated builds).
#   prove_generated_mp4.sh H265SPLIT WORKDIR
set -eu
tool=${1:?usage: prove_generated_mp4.sh H265SPLIT WORKDIR}
work=${2:?usage: prove_generated_mp4.sh H265SPLIT WORKDIR}
here=$(dirname "$0")

if [ -n "${H265SPLIT_SKIP_LARGE:-}" ]; then
    echo "SKIPPED: $H265SPLIT_SKIP_LARGE"
    exit 77
fi
if ! command -v x265 >/dev/null 2>&1 || ! command -v ffmpeg >/dev/null 2>&1; then
    echo "SKIPPED: x265 or ffmpeg is not installed"
    exit 77
fi
mkdir -p "$work"
stream=$work/testsrc2_1920x1080_300_b_pyramid.265
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=1920x1080:rate=30000/1001 -frames:v 300 -pix_fmt yuv420p \
    -f yuv4mpegpipe - |
    x265 --log-level error --no-progress --input - --y4m --preset ultrafast --fps 30000/1001 --keyint 59 --min-keyint 59 \
        --open-gop --bframes 3 --b-pyramid --bitrate 1500 --output "$stream"
python3 "$here/prove_mp4.py" "$tool" "$stream" "$work/proof"
rm -f "$stream"
