#!/usr/bin/env python3
"""Splices two H.265 streams of different picture sizes into one that switches
between them, with both SPS and both PPS sent before the first picture.

FIRST and SECOND are Annex B streams from the same encoder settings but for the
picture size (x265, one VPS, SPS and PPS at the start, all with id 0, closed
GOPs). SECOND's parameter sets are renumbered: its SPS gets
sps_seq_parameter_set_id 1, its PPS pps_pic_parameter_set_id 1 and
pps_seq_parameter_set_id 1, and each of its slice segments
slice_pic_parameter_set_id 1. The output holds

    VPS, SPS 1, SPS 0, PPS 1, PPS 0, then the coded video sequences (from one
    IDR picture to the next) of FIRST and SECOND in turn

so that the first pictures use SPS 0 / PPS 0 while an SPS 1 / PPS 1 of another
picture size came before them, as after a splice or a resolution switch: the
first SPS of the stream is not that of the first picture, and the most recent
SPS and PPS are not those of the pictures from SECOND.

Where the syntax elements lie comes from ffmpeg's trace_headers (bit positions in
the RBSP): a ue(v) of 0 ('1') becomes one of 1 ('010'), the RBSP trailing bits
of a parameter set and the byte_alignment() at the end of a slice segment header
are written anew, the slice segment data follow unchanged, and emulation
prevention bytes are inserted again.

Usage: splice_resolution_switch.py [--ffmpeg PATH] FIRST SECOND OUTPUT
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from trace_to_expected import parse_trace, run_trace  # noqa: E402

NAL_IDR_W_RADL, NAL_IDR_N_LP = 19, 20
NAL_VPS, NAL_SPS, NAL_PPS = 32, 33, 34


def split_units(data):
    """(start code, NAL unit) pairs of an Annex B stream."""
    starts = []
    i = data.find(b"\x00\x00\x01")
    while i >= 0:
        starts.append(i + 3)
        i = data.find(b"\x00\x00\x01", i + 3)
    units = []
    for k, begin in enumerate(starts):
        end = starts[k + 1] - 3 if k + 1 < len(starts) else len(data)
        if k + 1 < len(starts) and data[end - 1] == 0:
            end -= 1  # the leading zero of a four-byte start code
        code = b"\x00\x00\x00\x01" if begin >= 4 and data[begin - 4] == 0 else b"\x00\x00\x01"
        units.append((code, data[begin:end]))
    return units


def unescape(nal):
    out, zeros = bytearray(nal[:2]), 0
    for b in nal[2:]:
        if zeros >= 2 and b == 3:
            zeros = 0
            continue
        out.append(b)
        zeros = zeros + 1 if b == 0 else 0
    return bytes(out)


def escape(rbsp):
    out, zeros = bytearray(rbsp[:2]), 0
    for b in rbsp[2:]:
        if zeros >= 2 and b <= 3:
            out.append(3)
            zeros = 0
        out.append(b)
        zeros = zeros + 1 if b == 0 else 0
    if out[-1] == 0:
        out.append(3)  # cabac_zero_words at the end
    return bytes(out)


def to_bits(data):
    return "".join(format(b, "08b") for b in data)


def to_bytes(bits):
    assert len(bits) % 8 == 0
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))


def aligned(bits):
    """The bits followed by a one bit and zero bits up to a byte boundary, as
    rbsp_trailing_bits() and byte_alignment() both are."""
    bits += "1"
    return bits + "0" * (-len(bits) % 8)


def renumbered(bits, positions):
    """The ue(v) codes of 0 at `positions` made codes of 1."""
    for p in sorted(positions, reverse=True):
        assert bits[p] == "1", "expected ue(v) 0 at bit %d" % p
        bits = bits[:p] + "010" + bits[p + 1:]
    return bits


def position(traced, name):
    return next(e.position for e in traced.elements if e.name == name)


def renumber(nal, traced):
    nal_unit_type = (nal[0] >> 1) & 0x3F
    rbsp = unescape(nal)
    bits = to_bits(rbsp)
    if nal_unit_type == NAL_SPS:
        content = bits[:bits.rindex("1")]
        return escape(to_bytes(aligned(renumbered(content, [position(traced, "sps_seq_parameter_set_id")]))))
    if nal_unit_type == NAL_PPS:
        content = bits[:bits.rindex("1")]
        ids = [position(traced, "pps_pic_parameter_set_id"), position(traced, "pps_seq_parameter_set_id")]
        return escape(to_bytes(aligned(renumbered(content, ids))))
    if nal_unit_type < 32:
        end = position(traced, "alignment_bit_equal_to_one")
        header = renumbered(bits[:end], [position(traced, "slice_pic_parameter_set_id")])
        return escape(to_bytes(aligned(header)) + rbsp[end // 8 + 1:])
    return nal


def sequences(units):
    """Parameter sets, then the coded video sequences: each from the first unit
    of an access unit with an IDR picture up to the next such unit."""
    head, cvss = [], []
    for code, nal in units:
        t = (nal[0] >> 1) & 0x3F
        if t in (NAL_IDR_W_RADL, NAL_IDR_N_LP) and nal[2] & 0x80:  # first_slice_segment_in_pic_flag
            cvss.append([])
        if t in (NAL_VPS, NAL_SPS, NAL_PPS):
            head.append((code, nal))
        elif cvss:
            cvss[-1].append((code, nal))
    return head, cvss


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--ffmpeg", default="ffmpeg")
    parser.add_argument("first")
    parser.add_argument("second")
    parser.add_argument("output")
    args = parser.parse_args()

    first = split_units(open(args.first, "rb").read())
    second = split_units(open(args.second, "rb").read())
    traced = parse_trace(run_trace(args.ffmpeg, args.second))
    if len(traced) != len(second):
        sys.exit("%s: ffmpeg traced %d NAL units, %d found" % (args.second, len(traced), len(second)))
    for _, nal in first + second:
        assert escape(unescape(nal)) == nal, "emulation prevention does not round-trip"
    second = [(code, renumber(nal, t)) for (code, nal), t in zip(second, traced)]

    (vps, sps0, pps0), cvss0 = sequences(first)
    (vps1, sps1, pps1), cvss1 = sequences(second)
    if vps != vps1:
        sys.exit("the two streams have different VPS")
    out = [vps, sps1, sps0, pps1, pps0]
    for a, b in zip(cvss0, cvss1):
        out += a + b
    with open(args.output, "wb") as f:
        f.write(b"".join(code + nal for code, nal in out))


if __name__ == "__main__":
    main()
