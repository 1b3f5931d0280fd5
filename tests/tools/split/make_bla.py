#!/usr/bin/env python3
"""Writes a copy of a stream in which every CRA picture but the first is a
BLA_W_LP picture, as at a splice point: both are IRAP pictures with the same
slice segment header syntax, so only nal_unit_type changes (21 to 16).

  make_bla.py IN OUT
"""
import sys

data = bytearray(open(sys.argv[1], "rb").read())
seen = 0
i = data.find(b"\x00\x00\x01")
while i >= 0:
    if (data[i + 3] >> 1) & 0x3F == 21 and data[i + 5] & 0x80:  # CRA_NUT, first_slice_segment_in_pic_flag
        seen += 1
    if (data[i + 3] >> 1) & 0x3F == 21 and seen > 1:
        data[i + 3] = (data[i + 3] & 0x81) | (16 << 1)
    i = data.find(b"\x00\x00\x01", i + 3)
if seen < 2:
    sys.exit("no second CRA picture in " + sys.argv[1])
open(sys.argv[2], "wb").write(data)
