#!/usr/bin/env python3
"""Encodes 12 pictures with x265 (B-frames, one GOP) and rewrites the stream
so that pictures 3 and 7 in decoding order have pic_output_flag 0: the PPS
gets output_flag_present_flag 1 (a bit in place), and every slice segment
header a pic_output_flag bit after slice_type (7.3.6.1), its byte_alignment()
redone. Where slice_type and the header's alignment bits are comes from
ffmpeg's trace_headers, an independent reader. A decoder decodes all 12
pictures and outputs 10. Exits 77 (skipped) without ffmpeg.

  make_pic_output.py OUT
"""
import os
import re
import shutil
import subprocess
import sys

NOT_OUTPUT = {3, 7}

if not shutil.which("ffmpeg"):
    print("SKIPPED: ffmpeg is not installed")
    sys.exit(77)
out = sys.argv[1]
source = out + ".source"
subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=64x64:rate=25",
                "-frames:v", "12", "-c:v", "libx265", "-x265-params",
                "keyint=12:bframes=2:wpp=0:info=0:log-level=error", "-f", "hevc", "-y", source], check=True)
data = open(source, "rb").read()

# (first bit of slice_type, its length, first alignment bit) of each slice
# segment header, in stream order, and the bit of output_flag_present_flag.
trace = subprocess.run(["ffmpeg", "-v", "trace", "-f", "hevc", "-i", source, "-c", "copy", "-bsf:v", "trace_headers",
                        "-f", "null", "-"], capture_output=True, text=True).stderr
headers = []
output_flag_bit = None
for line in trace.splitlines():
    m = re.search(r"\] (\d+) +(\w+) +([01]+) = ", line)
    if not m:
        continue
    position, name, bits = int(m.group(1)), m.group(2), m.group(3)
    if name == "output_flag_present_flag":
        output_flag_bit = position
    elif name == "slice_type":
        headers.append([position + len(bits), None])
    elif name == "alignment_bit_equal_to_one" and headers and headers[-1][1] is None:
        headers[-1][1] = position


def units(stream):
    starts = [m.start() for m in re.finditer(b"\x00\x00\x01", stream)]
    for k, s in enumerate(starts):
        end = starts[k + 1] if k + 1 < len(starts) else len(stream)
        while end > s and k + 1 < len(starts) and stream[end - 1] == 0:
            end -= 1  # the zero byte of a four-byte start code
        yield stream[s:s + 3], stream[s + 3:end]


def unescape(nal):
    return re.sub(b"\x00\x00\x03", b"\x00\x00", nal)  # after a replacement, counting restarts (7.3.1.1)


def escape(rbsp):
    out, zeros = bytearray(), 0
    for b in rbsp:
        if zeros >= 2 and b <= 3:
            out.append(3)
            zeros = 0
        out.append(b)
        zeros = zeros + 1 if b == 0 else 0
    return bytes(out)


def to_bits(b):
    return "".join(format(x, "08b") for x in b)


def from_bits(s):
    return bytes(int(s[i:i + 8], 2) for i in range(0, len(s), 8))


result = bytearray()
picture = 0
for start, nal in units(data):
    kind = (nal[0] >> 1) & 0x3F
    bits = to_bits(unescape(nal))
    if kind == 34:  # PPS_NUT
        bits = bits[:output_flag_bit] + "1" + bits[output_flag_bit + 1:]
        nal = escape(from_bits(bits))
    elif kind < 32:
        after_type, align = headers.pop(0)
        flag = "0" if picture in NOT_OUTPUT else "1"
        header = bits[:after_type] + flag + bits[after_type:align] + "1"
        header += "0" * (-len(header) % 8)
        data_start = align + 1 + (-(align + 1) % 8)
        nal = escape(from_bits(header) + from_bits(bits[data_start:]))
        picture += 1
    result += b"\x00" + start + nal
open(out, "wb").write(result)
os.remove(source)
print("%d pictures, %d not output" % (picture, len(NOT_OUTPUT)))
