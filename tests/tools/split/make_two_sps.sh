#!/bin/sh
# Encodes two streams of 20 pictures with x265 that differ in their SPS and
# joins them: the second's VPS, SPS and PPS, all of id 0 as in the first,
# arrive with its IDR picture 0.8 s in, before any cut of the default
# --seconds 2. SIZE (default 192x128) is the second's picture size; at
# 192x128 it differs from the first only in having no SAO
# (sample_adaptive_offset_enabled_flag 0). Both are of level 2, as one
# track says. Exits 77 (skipped) without ffmpeg or x265; the proofs on OUT
# then skip too.
#   make_two_sps.sh OUT [SIZE]
set -eu
out=${1:?usage: make_two_sps.sh OUT [SIZE]}
size=${2:-192x128}
if ! command -v ffmpeg >/dev/null 2>&1 || ! command -v x265 >/dev/null 2>&1; then
    echo "SKIPPED: ffmpeg or x265 is not installed"
    exit 77
fi
rm -f "$out" "$out.first" "$out.second"
for part in first second; do
    case $part in first) res=192x128 sao=--sao ;; *) res=$size sao=--no-sao ;; esac
    ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=$res:rate=25 -frames:v 20 -pix_fmt yuv420p -f rawvideo - |
        x265 --log-level error --no-progress --input - --input-res $res --fps 25 --preset ultrafast --keyint 10 --level-idc 2 \
            $sao --no-info -o "$out.$part"
done
cat "$out.first" "$out.second" > "$out"
rm -f "$out.first" "$out.second"
