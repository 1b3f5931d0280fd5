#!/bin/sh
# Encodes two 192x128 streams of 20 pictures with x265 that differ in their
# SPS (the second without SAO, sample_adaptive_offset_enabled_flag 0) and
# joins them: the second's VPS, SPS and PPS, all of id 0, arrive with its IDR
# picture 0.8 s in, before any cut of the default --seconds 2. Exits 77
# (skipped) without ffmpeg or x265; the proofs on OUT then skip too.
#   make_two_sps.sh OUT
set -eu
out=${1:?usage: make_two_sps.sh OUT}
if ! command -v ffmpeg >/dev/null 2>&1 || ! command -v x265 >/dev/null 2>&1; then
    echo "SKIPPED: ffmpeg or x265 is not installed"
    exit 77
fi
rm -f "$out" "$out.second"
for part in first second; do
    case $part in first) sao=--sao ;; *) sao=--no-sao ;; esac
    ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=192x128:rate=25 -frames:v 20 -pix_fmt yuv420p -f rawvideo - |
        x265 --log-level error --no-progress --input - --input-res 192x128 --fps 25 --preset ultrafast --keyint 10 \
            $sao --no-info -o "$out.$part"
done
cat "$out.first" "$out.second" > "$out"
rm -f "$out.first" "$out.second"
