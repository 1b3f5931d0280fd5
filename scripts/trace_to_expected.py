#!/usr/bin/env python3
"""Writes the expected header values of H.265 Annex B streams for the real-stream tests.

The values come only from ffmpeg's trace_headers bitstream filter, which prints
every header syntax element it reads:

    [trace_headers @ 0x...] 40          sps_video_parameter_set_id          0000 = 0

(bit position in the RBSP, element name, the bits read, the value). Nothing here
reads the stream itself, so the result is an independent oracle for the library.

For each stream FILE this writes FILE.expected (next to FILE, or in --out-dir):

    # comment lines
    nal_count 52
    resolution 176 144
    has_parameter_sets 1
    sps.<field> <value>            every field of the first SPS as the library stores it
    ptl.<field> <value>            its profile_tier_level(): general fields, the
                                   sub-layer flags and, where coded, sub-layer fields
    pps.<field> <value>            the first seven fields of the first PPS
    nal <index> type=<nal_unit_type> code=<NALU_TYPE> key=<0|1|2> [slice=<8|9|10|none> first=<0|1>]

The library's conventions applied to the traced values:
  - an element that is not coded (conformance window offsets without the flag,
    separate_colour_plane_flag unless chroma_format_idc is 3, ordering entries
    below the last one without sps_sub_layer_ordering_info_present_flag, sub-layer
    fields whose present flag is 0) is stored as 0;
  - a 44-bit reserved field is stored as its low 32 bits; trace_headers prints it
    split into several elements (constraint flags, reserved bits, general_inbld_flag,
    depending on the profile), so the 44 bits are put together from the bits shown;
  - NALU_TYPE codes: 32->0, 33->1, 34->2, 39->4, 40->5, 19->8, other 0..31->7, else 11;
  - key: 1 for VPS, SPS and IRAP pictures (16..23), 2 for other VCL units, else 0;
  - slice: 8 for IDR_W_RADL; otherwise slice_type 2/1/0 -> 8/9/10, or "none" for a
    dependent slice segment, whose slice_type is not coded in its own header.

Usage: trace_to_expected.py [--ffmpeg PATH] [--out-dir DIR] STREAM...
"""

import argparse
import os
import re
import subprocess
import sys

TRACE_LINE = re.compile(r"\[trace_headers @ 0x[0-9a-fA-F]+\] (.*)$")
ELEMENT = re.compile(r"^(\d+)\s+(\S+)\s+([01]+) = (-?\d+)$")

NAL_VPS, NAL_SPS, NAL_PPS = 32, 33, 34
NAL_IDR_W_RADL = 19
NAL_PREFIX_SEI, NAL_SUFFIX_SEI = 39, 40

SPS_LEADING_FIELDS = ("sps_video_parameter_set_id", "sps_max_sub_layers_minus1",
                      "sps_temporal_id_nesting_flag")
SPS_FIELDS = ("sps_seq_parameter_set_id", "chroma_format_idc", "separate_colour_plane_flag",
              "pic_width_in_luma_samples", "pic_height_in_luma_samples",
              "conformance_window_flag", "conf_win_left_offset", "conf_win_right_offset",
              "conf_win_top_offset", "conf_win_bottom_offset", "bit_depth_luma_minus8",
              "bit_depth_chroma_minus8", "log2_max_pic_order_cnt_lsb_minus4",
              "sps_sub_layer_ordering_info_present_flag")
SPS_ORDERING_ARRAYS = ("sps_max_dec_pic_buffering_minus1", "sps_max_num_reorder_pics",
                       "sps_max_latency_increase_plus1")
SPS_TRAILING_FIELDS = ("log2_min_luma_coding_block_size_minus3",
                       "log2_diff_max_min_luma_coding_block_size")
PPS_FIELDS = ("pps_pic_parameter_set_id", "pps_seq_parameter_set_id",
              "dependent_slice_segments_enabled_flag", "output_flag_present_flag",
              "num_extra_slice_header_bits", "sign_data_hiding_enabled_flag",
              "cabac_init_present_flag")
SLICE_TYPE_CODES = {2: 8, 1: 9, 0: 10}


class TraceError(Exception):
    pass


class Element(object):
    __slots__ = ("position", "name", "bits", "value")

    def __init__(self, position, name, bits, value):
        self.position = position
        self.name = name
        self.bits = bits
        self.value = value


class NalUnit(object):
    """The syntax elements trace_headers printed for one NAL unit, in order."""

    def __init__(self):
        self.elements = []

    @property
    def nal_unit_type(self):
        return self.get("nal_unit_type")

    def has(self, name):
        return any(e.name == name for e in self.elements)

    def get(self, name, default=None):
        for e in self.elements:
            if e.name == name:
                return e.value
        if default is None:
            raise TraceError("element %s missing from NAL unit of type %s"
                             % (name, self.elements[1].value if len(self.elements) > 1 else "?"))
        return default

    def index_of(self, name):
        for i, e in enumerate(self.elements):
            if e.name == name:
                return i
        raise TraceError("element %s missing" % name)


def run_trace(ffmpeg, path):
    cmd = [ffmpeg, "-hide_banner", "-nostdin", "-nostats", "-i", path,
           "-c", "copy", "-bsf:v", "trace_headers", "-f", "null", "-"]
    proc = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    text = proc.stderr.decode("utf-8", "replace")
    if proc.returncode != 0:
        raise TraceError("ffmpeg failed on %s:\n%s" % (path, text[-2000:]))
    return text


def parse_trace(text):
    """NAL units of the packets in stream order. The parameter sets that ffmpeg
    also traces from the codec extradata, before the first packet, are skipped."""
    nal_units = []
    in_packets = False
    current = None
    for raw in re.split(r"[\r\n]", text):
        m = TRACE_LINE.search(raw)
        if not m:
            continue
        content = m.group(1).strip()
        if content.startswith("Packet:"):
            in_packets = True
            current = None
            continue
        if not in_packets:
            continue
        em = ELEMENT.match(content)
        if not em:
            continue  # a section title such as "Slice Segment Header"
        element = Element(int(em.group(1)), em.group(2), em.group(3), int(em.group(4)))
        if element.name == "forbidden_zero_bit" and element.position == 0:
            current = NalUnit()
            nal_units.append(current)
        if current is None:
            raise TraceError("syntax element %s outside a NAL unit" % element.name)
        current.elements.append(element)
    if not nal_units:
        raise TraceError("trace_headers printed no NAL unit")
    return nal_units


def low32_of_44_bits(nal, after):
    """The 44 bits that follow element `after`, put together from the traced
    elements that cover them, reduced to their low 32 bits."""
    i = nal.index_of(after) + 1
    start = nal.elements[i - 1].position + len(nal.elements[i - 1].bits)
    bits = ""
    while len(bits) < 44:
        if i >= len(nal.elements):
            raise TraceError("trace ends inside the 44 bits after %s" % after)
        e = nal.elements[i]
        if e.position != start + len(bits):
            raise TraceError("gap in the trace at bit %d after %s" % (e.position, after))
        bits += e.bits
        i += 1
    if len(bits) != 44:
        raise TraceError("the elements after %s do not end at 44 bits" % after)
    return int(bits, 2) & 0xFFFFFFFF


def sps_lines(sps):
    lines = []
    for name in SPS_LEADING_FIELDS:
        lines.append(("sps." + name, sps.get(name)))
    max_sub_layers_minus1 = sps.get("sps_max_sub_layers_minus1")

    ptl = [("ptl.general_profile_space", sps.get("general_profile_space")),
           ("ptl.general_tier_flag", sps.get("general_tier_flag")),
           ("ptl.general_profile_idc", sps.get("general_profile_idc"))]
    for j in range(32):
        name = "general_profile_compatibility_flag[%d]" % j
        ptl.append(("ptl." + name, sps.get(name)))
    for name in ("general_progressive_source_flag", "general_interlaced_source_flag",
                 "general_non_packed_constraint_flag", "general_frame_only_constraint_flag"):
        ptl.append(("ptl." + name, sps.get(name)))
    ptl.append(("ptl.general_reserved_zero_44bits",
                low32_of_44_bits(sps, "general_frame_only_constraint_flag")))
    ptl.append(("ptl.general_level_idc", sps.get("general_level_idc")))
    for i in range(max_sub_layers_minus1):
        profile_present = sps.get("sub_layer_profile_present_flag[%d]" % i)
        level_present = sps.get("sub_layer_level_present_flag[%d]" % i)
        ptl.append(("ptl.sub_layer_profile_present_flag[%d]" % i, profile_present))
        ptl.append(("ptl.sub_layer_level_present_flag[%d]" % i, level_present))
        if profile_present:
            for name in ("sub_layer_profile_space", "sub_layer_tier_flag", "sub_layer_profile_idc"):
                ptl.append(("ptl.%s[%d]" % (name, i), sps.get("%s[%d]" % (name, i))))
            for j in range(32):
                name = "sub_layer_profile_compatibility_flag[%d][%d]" % (i, j)
                ptl.append(("ptl." + name, sps.get(name)))
            for name in ("sub_layer_progressive_source_flag", "sub_layer_interlaced_source_flag",
                         "sub_layer_non_packed_constraint_flag",
                         "sub_layer_frame_only_constraint_flag"):
                ptl.append(("ptl.%s[%d]" % (name, i), sps.get("%s[%d]" % (name, i))))
            ptl.append(("ptl.sub_layer_reserved_zero_44bits[%d]" % i,
                        low32_of_44_bits(sps, "sub_layer_frame_only_constraint_flag[%d]" % i)))
        level_name = "sub_layer_level_idc[%d]" % i
        ptl.append(("ptl." + level_name, sps.get(level_name) if level_present else 0))
    lines.extend(ptl)

    for name in SPS_FIELDS:
        lines.append(("sps." + name, sps.get(name, 0)))
    # Without sps_sub_layer_ordering_info_present_flag only the last entry is
    # coded (and traced); the entries below it are stored as 0.
    for name in SPS_ORDERING_ARRAYS:
        for i in range(max_sub_layers_minus1 + 1):
            lines.append(("sps.%s[%d]" % (name, i), sps.get("%s[%d]" % (name, i), 0)))
    for name in SPS_TRAILING_FIELDS:
        lines.append(("sps." + name, sps.get(name)))
    return lines


def nalu_type_code(nal_unit_type):
    if nal_unit_type == NAL_IDR_W_RADL:
        return 8
    if nal_unit_type < 32:
        return 7
    return {NAL_VPS: 0, NAL_SPS: 1, NAL_PPS: 2, NAL_PREFIX_SEI: 4, NAL_SUFFIX_SEI: 5}.get(
        nal_unit_type, 11)


def key_frame_verdict(nal_unit_type):
    if nal_unit_type in (NAL_VPS, NAL_SPS) or 16 <= nal_unit_type <= 23:
        return 1
    if nal_unit_type < 32:
        return 2
    return 0


def nal_line(index, nal):
    t = nal.nal_unit_type
    text = "nal %d type=%d code=%d key=%d" % (index, t, nalu_type_code(t), key_frame_verdict(t))
    if t < 32:
        first = nal.get("first_slice_segment_in_pic_flag")
        dependent = nal.get("dependent_slice_segment_flag", 0)
        if t == NAL_IDR_W_RADL:
            slice_code = "8"
        elif dependent:
            slice_code = "none"
        else:
            slice_code = str(SLICE_TYPE_CODES[nal.get("slice_type")])
        text += " slice=%s first=%d" % (slice_code, first)
    return text


def expected_text(stream_name, nal_units):
    sps = next((n for n in nal_units if n.nal_unit_type == NAL_SPS), None)
    pps = next((n for n in nal_units if n.nal_unit_type == NAL_PPS), None)
    if sps is None or pps is None:
        raise TraceError("no SPS or no PPS traced")

    before_vcl = set()
    for n in nal_units:
        if n.nal_unit_type < 32:
            break
        before_vcl.add(n.nal_unit_type)
    has_parameter_sets = int({NAL_VPS, NAL_SPS, NAL_PPS} <= before_vcl)

    out = ["# %s: expected header values, from ffmpeg trace_headers." % stream_name,
           "# Made by scripts/trace_to_expected.py; do not edit.",
           "nal_count %d" % len(nal_units),
           "resolution %d %d" % (sps.get("pic_width_in_luma_samples"),
                                 sps.get("pic_height_in_luma_samples")),
           "has_parameter_sets %d" % has_parameter_sets]
    out.extend("%s %d" % kv for kv in sps_lines(sps))
    out.extend("pps.%s %d" % (name, pps.get(name)) for name in PPS_FIELDS)
    out.extend(nal_line(i, n) for i, n in enumerate(nal_units))
    return "\n".join(out) + "\n"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--ffmpeg", default="ffmpeg")
    parser.add_argument("--out-dir", help="write the .expected files here instead of next to each stream")
    parser.add_argument("streams", nargs="+")
    args = parser.parse_args(argv)
    status = 0
    for path in args.streams:
        name = os.path.basename(path)
        try:
            text = expected_text(name, parse_trace(run_trace(args.ffmpeg, path)))
        except TraceError as err:
            sys.stderr.write("trace_to_expected: %s: %s\n" % (path, err))
            status = 1
            continue
        out_dir = args.out_dir if args.out_dir else os.path.dirname(path)
        out_path = os.path.join(out_dir, name + ".expected")
        with open(out_path, "w", newline="\n") as f:
            f.write(text)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
