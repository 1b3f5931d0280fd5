#!/usr/bin/env bash
# Makes the bundled sample stream and the real-stream test corpus with Debian's
# x265 and ffmpeg (libx265). Sources are ffmpeg's testsrc2 / testsrc patterns,
# so every run with the same tool versions gives the same bytes: threading that
# changes the bitstream is pinned (one frame thread, no lookahead slices) and the
# encoder-identification SEI, which records the host's CPU flags, is left out.
#
#   bash scripts/make-samples.sh            # from anywhere inside the repository
#   SHARED_DIR=/path/to/shared bash scripts/make-samples.sh
#
# Writes samples/x265_320x240.hevc, tests/data/*.{hevc,265} and the inspector's
# tests/tools/x265_switching_192x128_96x64.hevc. The kvazaar
# streams are copied from ${SHARED_DIR:-../shared}/streams (relative to the
# repository root). Afterwards run scripts/trace_to_expected.py to refresh the
# .expected files.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SHARED_DIR=${SHARED_DIR:-../shared}
case "$SHARED_DIR" in
  /*) SHARED=$SHARED_DIR ;;
  *) SHARED=$ROOT/$SHARED_DIR ;;
esac
SAMPLES=$ROOT/samples
DATA=$ROOT/tests/data
mkdir -p "$SAMPLES" "$DATA"

for tool in ffmpeg x265 python3; do
  command -v "$tool" >/dev/null || { echo "make-samples: $tool not found" >&2; exit 1; }
done

# Options pinned for reproducible output.
X265_FIXED=(--frame-threads 1 --pools 2 --lookahead-slices 0 --no-info
            --log-level error --no-progress)
LIBX265_FIXED=info=0:frame-threads=1:pools=2:lookahead-slices=0:log-level=error

# source PATTERN WxH FRAMES: raw 8-bit 4:2:0 pictures on stdout. Raw rather than
# YUV4MPEG because x265's YUV4MPEG reader refuses pictures less than 64 high.
source_yuv() {
  ffmpeg -nostdin -v error -f lavfi -i "$1=size=$2:rate=25" -frames:v "$3" \
    -pix_fmt yuv420p -f rawvideo -
}

# x265_cli OUT PATTERN WxH FRAMES [x265 options...]
x265_cli() {
  local out=$1 pattern=$2 size=$3 frames=$4
  shift 4
  source_yuv "$pattern" "$size" "$frames" |
    x265 --input - --input-res "$size" --input-csp i420 --fps 25 "${X265_FIXED[@]}" "$@" \
      --output "$out"
  echo "make-samples: $(basename "$out") $(stat -c %s "$out") bytes"
}

# libx265 OUT PIX_FMT WxH FRAMES [extra x265 params]: ffmpeg's libx265 wrapper,
# which picks the profile from the pixel format.
libx265() {
  local out=$1 pix_fmt=$2 size=$3 frames=$4 extra=${5:-}
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc=size=$size:rate=25" -frames:v "$frames" \
    -pix_fmt "$pix_fmt" -c:v libx265 -preset ultrafast -crf 32 \
    -x265-params "$LIBX265_FIXED${extra:+:$extra}" -f hevc "$out"
  echo "make-samples: $(basename "$out") $(stat -c %s "$out") bytes"
}

# The inspector's bundled sample: VPS, SPS, PPS, an IDR picture, then P and B pictures.
x265_cli "$SAMPLES/x265_320x240.hevc" testsrc2 320x240 8 --preset ultrafast --crf 30

# Picture sizes that are not multiples of the minimum coding block size, so the
# SPS carries a conformance window; very few frames at low quality to stay small.
# The ultrafast preset alone would give 32x32 CTBs and a 16x16 minimum CU.
x265_cli "$DATA/x265_1918x1078_conf_window.hevc" testsrc2 1918x1078 2 \
  --preset ultrafast --crf 51 --ctu 64 --min-cu-size 8
x265_cli "$DATA/x265_1366x768_mincu16.hevc" testsrc2 1366x768 2 \
  --preset ultrafast --crf 51 --ctu 64 --min-cu-size 16
x265_cli "$DATA/x265_100x60_ctu16.hevc" testsrc2 100x60 8 \
  --preset ultrafast --crf 30 --ctu 16 --min-cu-size 8

# Four slices per picture with 32x32 CTBs, access unit delimiters and an MD5
# decoded picture hash (suffix SEI); later slices of a picture get 3-byte start codes.
x265_cli "$DATA/x265_320x240_slices4_aud_hash.hevc" testsrc2 320x240 4 \
  --preset ultrafast --crf 32 --ctu 32 --slices 4 --aud --hash 1

# Temporal sub-layers: unreferenced B pictures go to sub-layer 1 (TSA_N).
x265_cli "$DATA/x265_256x144_temporal_layers.hevc" testsrc2 256x144 9 \
  --preset ultrafast --crf 32 --temporal-layers --bframes 3

# Random access: open GOP (CRA with RASL pictures), closed GOP (IDR_N_LP), and
# IDR_W_RADL with RADL pictures (a fixed key-picture interval is needed for --radl).
# The last also hides sign bits (sign_data_hiding_enabled_flag 1), which the
# ultrafast preset turns off.
x265_cli "$DATA/x265_192x128_open_gop_cra.hevc" testsrc2 192x128 12 \
  --preset ultrafast --crf 32 --keyint 4 --open-gop
x265_cli "$DATA/x265_192x128_closed_gop_idr_n_lp.hevc" testsrc2 192x128 9 \
  --preset ultrafast --crf 32 --keyint 4 --no-open-gop
x265_cli "$DATA/x265_192x128_idr_w_radl.hevc" testsrc2 192x128 12 \
  --preset ultrafast --crf 32 --keyint 8 --min-keyint 8 --no-scenecut --no-open-gop \
  --radl 2 --bframes 3 --signhide

# A camera's picture size with B pictures and an open GOP, for the camera
# input's tests (served over RTSP): 3 s at 25 frames a second, a CRA picture
# every 24 frames, where a run of 3 B pictures ends, so that each has 3 RASL
# pictures; quality low enough to stay small.
x265_cli "$DATA/x265_1920x1080_open_gop_cra.hevc" testsrc2 1920x1080 75 \
  --preset ultrafast --crf 40 --keyint 24 --min-keyint 24 --no-scenecut --open-gop --bframes 3

# BLA pictures, as a splicer makes them: an open-GOP encode with three CRA
# pictures, rewritten to BLA_W_LP (its RASL pictures kept), BLA_W_RADL and
# BLA_N_LP (their RASL pictures dropped).
open_gop=$(mktemp --suffix=.hevc)
trap 'rm -f "$open_gop"' EXIT
x265_cli "$open_gop" testsrc2 128x96 16 --preset ultrafast --crf 32 --keyint 4 --open-gop
python3 "$ROOT/scripts/cra_to_bla.py" "$open_gop" "$DATA/x265_128x96_bla.hevc" 16 17 18
echo "make-samples: x265_128x96_bla.hevc $(stat -c %s "$DATA/x265_128x96_bla.hevc") bytes"

# Parameter sets repeated at every key picture, with HRD buffering period and
# picture timing prefix SEI.
x265_cli "$DATA/x265_160x96_repeat_headers_hrd.hevc" testsrc2 160x96 8 \
  --preset ultrafast --crf 32 --keyint 4 --repeat-headers \
  --hrd --vbv-bufsize 500 --vbv-maxrate 500

# What the tools' syntax reader reads beyond the library: VUI timing at
# 30000/1001, a sample aspect ratio (4:3, aspect_ratio_idc 14) and full range;
# HDR10 (PQ, BT.2020, mastering display and content light level SEI) and HLG,
# both Main 10; field coding (field_seq_flag, pic_struct in picture timing
# SEI), and frames with pic_struct (frame_field_info_present_flag alone); an open GOP with a B-pyramid at 30000/1001 (picture order count across
# CRA pictures and RASL pictures); scaling_list_data() with every list coded
# explicitly (all lists differ, so none is predicted from another).
x265_cli "$DATA/x265_64x64_vui_sar_full_range.hevc" testsrc2 64x64 6 \
  --preset ultrafast --crf 40 --fps 30000/1001 --sar 4:3 --range full
x265_cli "$DATA/x265_64x64_hdr10_main10.hevc" testsrc2 64x64 4 \
  --preset ultrafast --crf 40 --output-depth 10 --profile main10 \
  --colorprim bt2020 --transfer smpte2084 --colormatrix bt2020nc \
  --master-display "G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,1)" --max-cll 1000,400
x265_cli "$DATA/x265_64x64_hlg_main10.hevc" testsrc2 64x64 4 \
  --preset ultrafast --crf 40 --output-depth 10 --profile main10 \
  --colorprim bt2020 --transfer arib-std-b67 --colormatrix bt2020nc
x265_cli "$DATA/x265_64x64_interlace_tff.hevc" testsrc2 64x64 4 --preset ultrafast --crf 40 --interlace tff
x265_cli "$DATA/x265_64x64_progressive_pic_struct.hevc" testsrc2 64x64 4 --preset ultrafast --crf 40 --pic-struct 0
x265_cli "$DATA/x265_64x64_open_gop_b_pyramid.hevc" testsrc2 64x64 20 \
  --preset ultrafast --crf 40 --fps 30000/1001 --bframes 3 --b-pyramid --keyint 8 --open-gop
scaling_lists=$(mktemp)
python3 - "$scaling_lists" <<'PY'
import sys
lines, m = [], 0
for size, n in (("4X4", 16), ("8X8", 64), ("16X16", 64), ("32X32", 64)):
    for kind in ("INTRA", "INTER"):
        for comp in ("LUMA", "CHROMAU", "CHROMAV"):
            if size == "32X32" and comp != "LUMA":
                continue
            m += 1
            values = [8 + (i * (m + 2) + m * 5) % 60 for i in range(n)]
            lines.append(f"{kind}{size}_{comp} =")
            lines += [" ".join(map(str, values[r:r + 8])) for r in range(0, n, 8)]
            if size in ("16X16", "32X32"):
                lines += [f"{kind}{size}_{comp}_DC =", str(10 + m)]
open(sys.argv[1], "w").write("\n".join(lines) + "\n")
PY
x265_cli "$DATA/x265_64x64_scaling_lists.hevc" testsrc2 64x64 3 \
  --preset ultrafast --crf 40 --scaling-list "$scaling_lists"
rm -f "$scaling_lists"
# Timing in the VPS (vps_timing_info_present_flag 1), which x265 never writes:
# ffmpeg's hevc_metadata sets 24000/1001 in the VPS and the SPS VUI alike.
ffmpeg -hide_banner -loglevel error -nostdin -y -i "$DATA/x265_64x64_scaling_lists.hevc" -c copy \
  -bsf:v hevc_metadata=tick_rate=24000/1001 -f hevc "$DATA/x265_64x64_vps_timing.hevc"

# Chroma formats and bit depths through ffmpeg's libx265 (Main, Main 10, Main 12
# and the format range extensions profiles).
for pix_fmt in gray gray10le gray12le yuv420p yuv420p10le yuv420p12le \
               yuv422p yuv422p10le yuv422p12le yuv444p yuv444p10le yuv444p12le; do
  libx265 "$DATA/libx265_128x96_$pix_fmt.hevc" "$pix_fmt" 128x96 3
done

# 4:0:0 with a conformance window: 100x60 is coded as 112x64 (16x16 minimum CU),
# the offsets in units of one luma sample.
libx265 "$DATA/libx265_100x60_gray_conf_window.hevc" gray 100x60 3

# Streams of a second encoder (dependent slice segments, tiles, IDR_W_RADL).
for f in kvazaar_176x144_dependent_slices.265 kvazaar_320x240_tiles.265 \
         kvazaar_176x144_monochrome.265 kvazaar_320x240_closed_gop.265; do
  cp "$SHARED/streams/$f" "$DATA/$f"
  chmod 644 "$DATA/$f"
done

# Two SPS of different picture sizes and two PPS, all before the first
# picture, and pictures switching between them, as after a splice: two encodes
# of two GOPs each, three slices per picture (slice_segment_address is as long
# as the picture size needs), spliced GOP by GOP with the second one's
# parameter set ids renumbered to 1. The same level for both keeps one VPS.
# Not in tests/data: the library alone reads slices with the latest SPS and
# PPS, as its interface says; h265info picks them by id.
SPLICE=$(mktemp -d)
for size in 192x128 96x64; do
  x265_cli "$SPLICE/$size.hevc" testsrc2 "$size" 8 --preset ultrafast --crf 32 --ctu 16 --slices 3 \
    --keyint 4 --min-keyint 4 --no-scenecut --no-open-gop --level-idc 2
done
python3 "$ROOT/scripts/splice_resolution_switch.py" "$SPLICE/192x128.hevc" "$SPLICE/96x64.hevc" \
  "$ROOT/tests/tools/x265_switching_192x128_96x64.hevc"
rm -r "$SPLICE"
echo "make-samples: x265_switching_192x128_96x64.hevc $(stat -c %s "$ROOT/tests/tools/x265_switching_192x128_96x64.hevc") bytes"

# The open-GOP stream as RTP packets (GStreamer's payloader, in RFC 4571
# framing: each packet after its 16-bit length): parameter sets aggregated,
# slices fragmented at a 400-byte MTU, the sequence numbers wrapping from
# 65530 on. Every packet of a picture has the same RTP timestamp, since a raw
# stream carries no times; the marker bit ends each picture.
gst-launch-1.0 -q filesrc location="$DATA/x265_192x128_open_gop_cra.hevc" ! h265parse \
  ! rtph265pay config-interval=-1 mtu=400 aggregate-mode=max seqnum-offset=65530 timestamp-offset=90000 ssrc=1 \
  ! rtpstreampay ! filesink location="$DATA/x265_192x128_open_gop_cra.rtp"

echo "make-samples: corpus $(du -cb "$DATA"/*.hevc "$DATA"/*.265 | tail -1 | cut -f1) bytes"
