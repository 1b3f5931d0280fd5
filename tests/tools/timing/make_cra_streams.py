#!/usr/bin/env python3
"""Writes two streams that exercise NoRaslOutputFlag from an open-GOP stream
(VPS, SPS, PPS, IDR, then CRA pictures each followed by RASL pictures):
  starts_at_cra.hevc  the parameter sets, then everything from the first CRA
                      picture on: its RASL pictures are not output;
  end_of_sequence.hevc  the whole stream with an end of sequence NAL unit
                      before the first CRA picture, which then starts a new
                      coded video sequence: its RASL pictures are not output
                      and picture order counts start again.
usage: make_cra_streams.py OPEN_GOP_STREAM OUTDIR"""
import os
import sys

CRA_NUT = 21
EOS_NAL = b"\x00\x00\x01\x48\x01"  # nal_unit_type 36, nuh_temporal_id_plus1 1


def units(data):
    """(start, end) of each NAL unit, start codes included."""
    starts = []
    i = data.find(b"\x00\x00\x01")
    while i >= 0:
        starts.append(i - 1 if i > 0 and data[i - 1] == 0 else i)
        i = data.find(b"\x00\x00\x01", i + 3)
    return list(zip(starts, starts[1:] + [len(data)]))


def nal_type(data, start):
    header = data.index(b"\x00\x00\x01", start) + 3
    return (data[header] >> 1) & 0x3F


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    data = open(sys.argv[1], "rb").read()
    outdir = sys.argv[2]
    os.makedirs(outdir, exist_ok=True)
    spans = units(data)
    parameter_sets = b"".join(data[s:e] for s, e in spans if nal_type(data, s) in (32, 33, 34))
    first_cra = next(s for s, e in spans if nal_type(data, s) == CRA_NUT)
    with open(os.path.join(outdir, "starts_at_cra.hevc"), "wb") as out:
        out.write(parameter_sets + data[first_cra:])
    with open(os.path.join(outdir, "end_of_sequence.hevc"), "wb") as out:
        out.write(data[:first_cra] + EOS_NAL + data[first_cra:])


if __name__ == "__main__":
    main()
