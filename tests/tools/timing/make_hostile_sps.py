#!/usr/bin/env python3
"""Writes streams whose SPS holds a value the standard forbids after the
fields the library reads (it stops at log2_diff_max_min_luma_coding_block_size),
so that only the tools' own reader of the rest of the SPS meets it:
  bad_short_term_sets.h265   num_short_term_ref_pic_sets 65 (at most 64)
  bad_long_term_pics.h265    num_long_term_ref_pics_sps 33 (at most 32)
  bad_vui_truncated.h265     vui_parameters_present_flag 1, then the end
Each is a VPS, that SPS, a PPS and an IDR picture of 64x64 4:2:0 8-bit Main.
usage: make_hostile_sps.py OUTDIR"""
import os
import sys

VPS = bytes.fromhex("0000000140010c01ffff016000000300900000030000030 01e959809".replace(" ", ""))
PPS = bytes.fromhex("0000000144 01c172b42240".replace(" ", ""))
IDR = bytes.fromhex("0000012801af26a34767565fc4ff")


class Bits:
    def __init__(self):
        self.bits = []

    def u(self, n, value):
        self.bits += [(value >> (n - 1 - i)) & 1 for i in range(n)]

    def ue(self, value):
        code = value + 1
        n = code.bit_length()
        self.u(n - 1, 0)
        self.u(n, code)

    def rbsp(self, trailing=True):
        bits = self.bits + ([1] + [0] * ((7 - len(self.bits)) % 8) if trailing else [0] * ((8 - len(self.bits) % 8) % 8))
        return bytes(int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8))


def escape(rbsp):
    out, zeros = bytearray(), 0
    for b in rbsp:
        if zeros >= 2 and b <= 3:
            out.append(3)
            zeros = 0
        out.append(b)
        zeros = zeros + 1 if b == 0 else 0
    return bytes(out)


def sps(short_term_sets=0, long_term_pics=None, vui_truncated=False):
    b = Bits()
    b.u(4, 0)            # sps_video_parameter_set_id
    b.u(3, 0)            # sps_max_sub_layers_minus1
    b.u(1, 1)            # sps_temporal_id_nesting_flag
    b.u(2, 0); b.u(1, 0); b.u(5, 1)          # general profile space, tier, Main
    b.u(32, 0x60000000)                      # compatibility flags 1 and 2
    b.u(4, 0b1001); b.u(32, 0); b.u(12, 0)   # progressive, frame only; 44 reserved bits
    b.u(8, 30)                               # general_level_idc
    b.ue(0)              # sps_seq_parameter_set_id
    b.ue(1)              # chroma_format_idc
    b.ue(64); b.ue(64)   # pic_width/height_in_luma_samples
    b.u(1, 0)            # conformance_window_flag
    b.ue(0); b.ue(0)     # bit depths minus 8
    b.ue(4)              # log2_max_pic_order_cnt_lsb_minus4
    b.u(1, 1)            # sps_sub_layer_ordering_info_present_flag
    b.ue(4); b.ue(2); b.ue(0)
    b.ue(0); b.ue(3)     # coding block sizes 8..64
    b.ue(0); b.ue(3)     # transform block sizes 4..32
    b.ue(0); b.ue(0)     # max_transform_hierarchy_depth_inter/intra
    b.u(1, 0)            # scaling_list_enabled_flag
    b.u(1, 1); b.u(1, 1) # amp, sample_adaptive_offset
    b.u(1, 0)            # pcm_enabled_flag
    b.ue(short_term_sets)
    if short_term_sets <= 64:
        for i in range(short_term_sets):
            if i:
                b.u(1, 0)          # inter_ref_pic_set_prediction_flag
            b.ue(1); b.ue(0)       # one negative picture
            b.ue(0); b.u(1, 1)     # delta_poc_s0_minus1, used_by_curr_pic_s0_flag
    b.u(1, long_term_pics is not None)       # long_term_ref_pics_present_flag
    if long_term_pics is not None:
        b.ue(long_term_pics)
    b.u(1, 1); b.u(1, 1)  # sps_temporal_mvp_enabled_flag, strong_intra_smoothing_enabled_flag
    b.u(1, 1 if vui_truncated else 0)        # vui_parameters_present_flag
    if vui_truncated:
        return b"\x00\x00\x00\x01\x42\x01" + escape(b.rbsp(trailing=False))
    b.u(1, 0)            # sps_extension_present_flag
    return b"\x00\x00\x00\x01\x42\x01" + escape(b.rbsp())


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    streams = {
        "bad_short_term_sets.h265": sps(short_term_sets=65),
        "bad_long_term_pics.h265": sps(short_term_sets=1, long_term_pics=33),
        "bad_vui_truncated.h265": sps(short_term_sets=1, vui_truncated=True),
        "good_hand_made_sps.h265": sps(short_term_sets=2, long_term_pics=0),
    }
    for name, unit in streams.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(VPS + unit + PPS + IDR)


if __name__ == "__main__":
    main()
