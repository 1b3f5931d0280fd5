#!/usr/bin/env python3
"""Holds what the tools' syntax reader reads (syntax_dump) against ffmpeg.

For each stream, one table of checks:
  - every element syntax_dump prints for a NAL unit has, in that NAL unit of
    ffmpeg's trace_headers output, the same values in the same order (an
    element coded several times, as in st_ref_pic_set or the two
    sub_layer_hrd_parameters, is compared as the list of its values);
    general_constraint_indicator_flags is the 48 bits trace_headers prints
    between general_profile_compatibility_flag[31] and general_level_idc;
  - syntax_dump reads every NAL unit without an error;
  - picture order count: sorting the output pictures by coded video sequence
    and PicOrderCntVal gives the order ffmpeg's decoder outputs frames in
    (ffprobe: each frame's pkt_pos names its packet, one per access unit).
Exits 77 when ffmpeg is missing or SYNTAX_SKIP is set.

Usage: compare_syntax.py SYNTAX_DUMP STREAM...
"""
import collections
import os
import re
import shutil
import subprocess
import sys

TRACE = re.compile(r"\[trace_headers @ 0x[0-9a-fA-F]+\] (.*)$")
ELEMENT = re.compile(r"^\d+\s+(\S+)\s+([01]+) = (-?\d+)$")


def trace_units(stream):
    """NAL units in file order, each a list of (name, bits, value)."""
    out = subprocess.run(["ffmpeg", "-hide_banner", "-nostdin", "-nostats", "-i", stream, "-c", "copy",
                          "-bsf:v", "trace_headers", "-f", "null", "-"],
                         stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, text=True, check=True).stderr
    units, packets = [], False
    for line in out.splitlines():
        m = TRACE.search(line)
        if not m:
            continue
        text = m.group(1)
        if text.startswith("Packet:"):
            packets = True  # the extradata's parameter sets come before
            continue
        e = ELEMENT.match(text)
        if not packets or not e:
            continue
        name, bits, value = e.groups()
        if name == "forbidden_zero_bit":
            units.append([])
        if units:
            units[-1].append((name, bits, int(value)))
    return units


def dump(tool, stream):
    out = subprocess.run([tool, stream], stdout=subprocess.PIPE, text=True).stdout
    units, pictures = [], []
    for line in out.splitlines():
        word = line.split(" ", 1)[0]
        if word == "nal":
            units.append({"index": int(line.split()[1]), "elements": [], "error": None})
        elif word == "error":
            units[-1]["error"] = line[6:]
        elif word == "picture":
            _, index, poc, output, cvs = line.split()
            pictures.append((int(index), int(poc), output == "1", int(cvs)))
        else:
            name, value = line.rsplit(" ", 1)
            units[-1]["elements"].append((name, int(value)))
    return units, pictures


def traced_values(elements):
    values = collections.defaultdict(list)
    bits48 = None
    for name, bits, value in elements:
        values[name].append(value)
        if name == "general_profile_compatibility_flag[31]":
            bits48 = ""
        elif name == "general_level_idc":
            if bits48 is not None:
                values["general_constraint_indicator_flags"].append(int(bits48, 2))
            bits48 = None
        elif bits48 is not None:
            bits48 += bits
    return values


def output_order_ffmpeg(stream):
    def probe(kind, field):
        out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", f"{kind}={field}", "-of", "csv=p=0",
                              stream], stdout=subprocess.PIPE, text=True, check=True).stdout
        return [int(v.strip(',')) for v in out.split()]
    packets = probe("packet", "pos")
    frames = probe("frame", "pkt_pos")
    position = {pos: i for i, pos in enumerate(packets)}
    return len(packets), [position[pos] for pos in frames]


def check(tool, stream):
    """The findings for one stream: a list of messages, empty when all agree."""
    faults = []
    ours, pictures = dump(tool, stream)
    traced = trace_units(stream)
    if len(ours) != len(traced):
        return [f"{len(ours)} NAL units read, trace_headers has {len(traced)}"]
    compared = 0
    for unit, elements in zip(ours, traced):
        if unit["error"]:
            faults.append(f"NAL unit {unit['index']}: {unit['error']}")
            continue
        expected = traced_values(elements)
        mine = collections.defaultdict(list)
        for name, value in unit["elements"]:
            mine[name].append(value)
        for name, values in mine.items():
            compared += len(values)
            if expected.get(name) != values:
                faults.append(f"NAL unit {unit['index']}: {name} {values} but trace_headers {expected.get(name)}")
    packets, ffmpeg_order = output_order_ffmpeg(stream)
    if packets != len(pictures):
        faults.append(f"{len(pictures)} pictures, ffprobe has {packets} packets")
    else:
        order = [p[0] for p in sorted(pictures, key=lambda p: (p[3], p[1])) if p[2]]
        if order != ffmpeg_order:
            faults.append(f"output order by POC {order} but ffmpeg outputs {ffmpeg_order}")
    print(f"{os.path.basename(stream)}: {compared} values, {len(pictures)} pictures, "
          f"{'agree' if not faults else 'DIFFER'}")
    return faults


def main():
    if os.environ.get("SYNTAX_SKIP"):
        print(f"SKIPPED: {os.environ['SYNTAX_SKIP']}")
        return 77
    if not shutil.which("ffmpeg") or not shutil.which("ffprobe"):
        print("SKIPPED: ffmpeg is not installed")
        return 77
    tool, streams = sys.argv[1], sys.argv[2:]
    failed = 0
    for stream in streams:
        for fault in check(tool, stream):
            print(f"  {fault}")
            failed = 1
    return failed


if __name__ == "__main__":
    sys.exit(main())
