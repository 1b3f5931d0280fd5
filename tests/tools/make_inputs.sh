#!/bin/sh
# Writes the small H.265 byte streams that the h265info tests run on into the
# directory given as $1. Parameter sets and slice segment headers come from
# x265 encodes of testsrc2 (64x64 4:2:0 8-bit; 66x34 4:2:2 10-bit; 64x64
# Main 10 High tier level 4.1); slice segments are cut after their first bytes,
# which hold the header fields up to slice_type. A few units are made by hand
# where the encoder does not produce them (dependent slice segments, an
# out-of-range slice_type, truncated units).
set -eu
out=${1:?usage: make_inputs.sh OUTPUT_DIRECTORY}
mkdir -p "$out"
cd "$out"

# bytes HEX...: the bytes, in hexadecimal, to standard output.
bytes() {
    for b in "$@"; do
        printf "\\$(printf '%03o' "0x$b")"
    done
}

# filler COUNT: COUNT bytes 0xff.
filler() {
    head -c "$1" /dev/zero | tr '\000' '\377'
}

# 64x64 4:2:0 8-bit Main, level 1.
vps()  { bytes 00 00 00 01 40 01 0c 01 ff ff 01 60 00 00 03 00 90 00 00 03 00 00 03 00 1e 95 98 09; }
sps()  { bytes 00 00 00 01 42 01 01 01 60 00 00 03 00 90 00 00 03 00 00 03 00 1e a0 20 81 05 96 56 69 24 ca f0 16 80 80 00 00 03 00 80 00 00 03 02 84; }
pps()  { bytes 00 00 00 01 44 01 c1 72 b4 22 40; }
idr()  { bytes 00 00 01 28 01 af 26 a3 47 67 56 5f c4 ff; }       # IDR_N_LP, slice_type I
trailr() { bytes 00 00 00 01 02 01 d0 11 57 84 46 44 55 09; }   # TRAIL_R, slice_type P
trailn() { bytes 00 00 01 00 01 e0 24 bf 86 23 fe 7b 3c; }       # TRAIL_N, slice_type B
params() { vps; sps; pps; }                                       # 28 + 45 + 11 = 84 bytes

: > empty.h265
printf 'not a video stream\n' > no_start_code.h265
bytes 00 00 02 00 00 00 >> no_start_code.h265
bytes 00 00 01 > only_start_code.h265

# Truncated units: the SPS after 14 bytes (in profile_tier_level), a PPS with
# one payload byte, a slice segment header that stops inside slice_type.
{ vps; bytes 00 00 00 01 42 01 01 01 60 00 00 03 00 90; } > truncated_sps.h265
{ vps; sps; bytes 00 00 01 44 01 c1; } > truncated_pps.h265
{ params; bytes 00 00 01 02 01 c0; } > truncated_slice.h265

# Access unit delimiters, SEI, three pictures with 3- and 4-byte start codes,
# two trailing zero bytes, end of sequence and end of bitstream.
{
    bytes 00 00 00 01 46 01 50      # 0 AUD at 0
    params                          # 1-3 VPS, SPS, PPS at 7, 35, 80
    bytes 00 00 01 4e 01 05 02 aa bb 80   # 4 PREFIX_SEI at 91
    idr                             # 5 IDR_N_LP at 101
    bytes 00 00 01 50 01 81 01 00 80      # 6 SUFFIX_SEI at 115
    bytes 00 00 00 01 46 01 50      # 7 AUD at 124
    trailr                          # 8 TRAIL_R at 131
    trailn                          # 9 TRAIL_N at 145
    bytes 00 00                     #   trailing zeros: TRAIL_N is 15 bytes
    bytes 00 00 00 01 48 01         # 10 EOS at 160
    bytes 00 00 01 4a 01            # 11 EOB at 166, ends at 171
} > valid.h265

{ bytes ff ff ff; params; idr; } > leading_garbage.h265

# A name that looks like an option.
cp valid.h265 ./-dash.h265

# Pictures without any parameter set before them.
{ trailr; idr; } > no_parameter_sets.h265

# A PPS with dependent_slice_segments_enabled_flag 1, an IDR_W_RADL picture
# whose second slice segment is dependent and whose third is an independent P
# segment, then a TRAIL_R picture.
dependent_pps() { bytes 00 00 00 01 44 01 e0 40; }
{
    vps; sps; dependent_pps         # PPS at 73
    bytes 00 00 01 26 01 ae 80 80   # IDR_W_RADL at 81: first, slice_type I
    bytes 00 00 01 02 01 70 80      # TRAIL_R at 89: dependent
    bytes 00 00 01 02 01 4a 80      # TRAIL_R at 96: not first, slice_type P
    bytes 00 00 01 02 01 d0 80      # TRAIL_R at 103: first, slice_type P
} > dependent.h265

# A slice segment that names PPS 1 when only PPS 0 has come.
{ params; bytes 00 00 01 02 01 a0 80; } > unknown_pps_id.h265

# Two PPS of one SPS: PPS 1 with num_extra_slice_header_bits 2. The IDR_N_LP
# picture names PPS 0 after PPS 1 came (slice_type I, read without reserved
# flags), the TRAIL_R picture PPS 1 (two slice_reserved_flag, slice_type P, then slice_pic_order_cnt_lsb).
{ params; bytes 00 00 00 01 44 01 51 5c ad 08 90; idr; bytes 00 00 01 02 01 a1 40 08 80; } > two_pps.h265

# Key pictures 3, 3, 1 and 1 pictures apart in output order (I B P, I B P,
# I, I, I): a tie for the most common distance N.
{ params; idr; trailr; trailn; idr; trailr; trailn; idr; idr; idr; } > gop_tie.h265

# slice_type 5 in a first slice segment.
{ vps; sps; dependent_pps; bytes 00 00 01 02 01 cd 80; } > bad_slice_type.h265

# 66x34 4:2:2 10-bit, coded 72x40 with a conformance window (right 3, bottom 6).
{
    bytes 00 00 00 01 40 01 0c 01 ff ff 04 08 00 00 03 00 9d 08 00 00 03 00 00 1e 95 98 09
    bytes 00 00 00 01 42 01 01 04 08 00 00 03 00 9d 08 00 00 03 00 00 1e b0 24 82 9c 93 b6 59 59 ae 4c af 01 68 08 00 00 03 00 08 00 00 03 00 28 40
    bytes 00 00 00 01 44 01 c1 73 d1 89
    bytes 00 00 01 28 01 af 25 0a c1 60 b7 eb ce 7a
    bytes 00 00 00 01 02 01 d0 09 7e 10 c6 4a 36 d0
} > range_extensions.h265

# 64x64 Main 10, High tier, level 4.1.
{
    bytes 00 00 00 01 40 01 0c 01 ff ff 22 20 00 00 03 00 90 00 00 03 00 00 03 00 7b 95 98 09
    bytes 00 00 00 01 42 01 01 22 20 00 00 03 00 90 00 00 03 00 00 03 00 7b a0 20 81 04 d9 65 66 92 4c af 01 68 08 00 00 03 00 08 00 00 03 00 28 40
    bytes 00 00 00 01 44 01 c1 72 b4 22 40
    bytes 00 00 01 28 01 af 26 b7 c9 56 fc 6c 6e 18
} > main10.h265

# Filler data units larger than the 1 MiB read window, and start codes that
# straddle its end at file offset 1048576.
{ params; bytes 00 00 01 4c 01; filler 3145728; idr; trailr; } > big_unit.h265
for at in 1048573 1048574 1048575; do
    # Parameter sets (84 bytes), filler data up to `at`, then the 4-byte start
    # code of a TRAIL_R segment.
    { params; bytes 00 00 01 4c 01; filler $((at - 84 - 5)); trailr; idr; } > "straddle_$at.h265"
done
# Leading garbage up to a 4-byte start code that straddles the window's end.
{ filler 1048574; params; idr; } > leading_garbage_1048574.h265

# SPS units with a forbidden value past what the library reads, and one
# without, made field by field (the tools' own reader meets them).
python3 "$(dirname "$0")/timing/make_hostile_sps.py" .

# Input of other kinds, named rather than listed: NAL unit headers that are
# no H.265 ones (nal_unit_type 63, nuh_layer_id 15), and with ffmpeg an
# H.264 stream and an MP4 file.
for i in 1 2 3 4; do bytes 00 00 01 7e 7e 55 aa; done > unrecognised.h265
if command -v ffmpeg > /dev/null; then
    ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=128x96:rate=25 -frames:v 10 -c:v libx264 -f h264 h264.264
    ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=128x96:rate=25 -frames:v 10 -c:v libx265 \
        -x265-params log-level=error stream.mp4
fi
