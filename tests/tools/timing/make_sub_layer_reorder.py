#!/usr/bin/env python3
"""Writes sub_layer_reorder.hevc: a stream with two temporal sub-layers whose
SPS gives them different reorder depths. The input's SPS (x265 writes the
same sps_max_num_reorder_pics for every sub-layer) gets
sps_max_num_reorder_pics[0] 1 in place of 2, still enough for its
TemporalId 0 pictures (POC 0 4 2 8 6 in decoding order); a decoder of the
whole stream outputs by the highest sub-layer's 2 (C.5.2.2, HighestTid).
usage: make_sub_layer_reorder.py TEMPORAL_LAYERS_STREAM OUTDIR"""
import os
import sys

SPS_NUT = 33


class Bits:
    def __init__(self, bits):
        self.bits, self.pos = bits, 0

    def u(self, n):
        value = int(self.bits[self.pos:self.pos + n] or "0", 2)
        self.pos += n
        return value

    def ue(self):
        zeros = self.bits.index("1", self.pos) - self.pos
        self.pos += zeros
        return self.u(zeros + 1) - 1


def unescape(payload):
    out, zeros = bytearray(), 0
    for b in payload:
        if zeros >= 2 and b == 3:
            zeros = 0
            continue
        out.append(b)
        zeros = zeros + 1 if b == 0 else 0
    return bytes(out)


def escape(rbsp):
    out, zeros = bytearray(), 0
    for b in rbsp:
        if zeros >= 2 and b <= 3:
            out.append(3)
            zeros = 0
        out.append(b)
        zeros = zeros + 1 if b == 0 else 0
    return bytes(out)


def lower_sub_layer_0(nal):
    """The SPS NAL unit (header included, no start code) with
    sps_max_num_reorder_pics[0] set to 1 (7.3.2.2.1); it must be 2 and coded
    as ue(v) '011', which '010' replaces bit for bit."""
    rbsp = unescape(nal[2:])
    r = Bits("".join(format(b, "08b") for b in rbsp))
    r.u(4)                                   # sps_video_parameter_set_id
    max_sub_layers_minus1 = r.u(3)
    r.u(1)                                   # sps_temporal_id_nesting_flag
    r.u(96)                                  # general profile, tier and level
    present = [(r.u(1), r.u(1)) for _ in range(max_sub_layers_minus1)]
    if max_sub_layers_minus1 > 0:
        r.u(2 * (8 - max_sub_layers_minus1))  # reserved_zero_2bits
    for profile, level in present:
        r.u(88 * profile + 8 * level)
    r.ue()                                   # sps_seq_parameter_set_id
    if r.ue() == 3:                          # chroma_format_idc
        r.u(1)
    r.ue(); r.ue()                           # pic_width/height_in_luma_samples
    if r.u(1):                               # conformance_window_flag
        for _ in range(4):
            r.ue()
    r.ue(); r.ue(); r.ue()                   # bit depths, log2_max_pic_order_cnt_lsb_minus4
    if max_sub_layers_minus1 == 0 or not r.u(1):
        sys.exit("the SPS codes no sub-layer ordering info for sub-layer 0")
    r.ue()                                   # sps_max_dec_pic_buffering_minus1[0]
    at = r.pos
    if r.ue() != 2 or r.pos != at + 3:
        sys.exit("sps_max_num_reorder_pics[0] is not 2")
    bits = r.bits[:at] + "010" + r.bits[at + 3:]
    rbsp = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
    return nal[:2] + escape(rbsp)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    data = open(sys.argv[1], "rb").read()
    starts, i = [], data.find(b"\x00\x00\x01")
    while i >= 0:
        starts.append(i + 3)
        i = data.find(b"\x00\x00\x01", i + 3)
    out, done = bytearray(), 0
    for begin, end in zip(starts, starts[1:] + [len(data) + 3]):
        end -= 3
        while end > begin and data[end - 1] == 0:  # the next start code's zero_byte
            end -= 1
        if (data[begin] >> 1) & 0x3F == SPS_NUT:
            out += data[done:begin] + lower_sub_layer_0(data[begin:end])
            done = end
    out += data[done:]
    os.makedirs(sys.argv[2], exist_ok=True)
    open(os.path.join(sys.argv[2], "sub_layer_reorder.hevc"), "wb").write(out)


if __name__ == "__main__":
    main()
