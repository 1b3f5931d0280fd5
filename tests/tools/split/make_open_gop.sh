#!/bin/sh
# Encodes 64 pictures of 192x128 with x265: an IDR picture, then a CRA
# picture every 16 in output order, each followed by its 3 RASL pictures
# (open GOP, 3 B-frames); an access unit delimiter before every access unit
# but the first; VPS, SPS and PPS only before the IDR picture. Exits 77
# (skipped) without ffmpeg or x265; the proofs on OUT then skip too.
#   make_open_gop.sh OUT
set -eu
out=${1:?usage: make_open_gop.sh OUT}
if ! command -v ffmpeg >/dev/null 2>&1 || ! command -v x265 >/dev/null 2>&1; then
    echo "SKIPPED: ffmpeg or x265 is not installed"
    exit 77
fi
rm -f "$out"
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=192x128:rate=25 -frames:v 64 -pix_fmt yuv420p -f rawvideo - |
    x265 --log-level error --no-progress --input - --input-res 192x128 --fps 25 --preset ultrafast --keyint 16 --min-keyint 16 \
        --no-scenecut --open-gop --bframes 3 --aud --no-info -o "$out"
