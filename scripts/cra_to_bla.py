#!/usr/bin/env python3
"""Turns the CRA pictures of an H.265 Annex B stream into BLA pictures.

A BLA picture has the slice segment header syntax of a CRA picture, so
rewriting nal_unit_type in the NAL unit header gives a valid stream, as a
splicer makes one. The CRA pictures are rewritten in stream order to the types
given; a CRA beyond the list stays CRA. BLA_W_RADL may be followed only by RADL
leading pictures and BLA_N_LP by none, so the RASL pictures (RASL_N, RASL_R)
that follow either are dropped up to the next IRAP picture.

Usage: cra_to_bla.py IN OUT TYPE...      (TYPE: 16 BLA_W_LP, 17 BLA_W_RADL, 18 BLA_N_LP)
"""

import sys

CRA_NUT = 21
BLA_TYPES = (16, 17, 18)
BLA_WITHOUT_RASL = (17, 18)
RASL_TYPES = (8, 9)
FIRST_IRAP, LAST_IRAP = 16, 23


def nal_units(data):
    """(start, header_offset) of every NAL unit; a 4-byte start code's zero_byte belongs to its unit."""
    units = []
    at = data.find(b"\x00\x00\x01")
    while at >= 0:
        start = at - 1 if at > 0 and data[at - 1] == 0 else at
        units.append((start, at + 3))
        at = data.find(b"\x00\x00\x01", at + 3)
    return units


def rewrite(data, new_types):
    units = nal_units(data)
    out = bytearray(data[:units[0][0]] if units else data)
    pending = list(new_types)
    drop_rasl = False
    for index, (start, header) in enumerate(units):
        end = units[index + 1][0] if index + 1 < len(units) else len(data)
        unit = bytearray(data[start:end])
        nal_unit_type = (data[header] >> 1) & 0x3F
        if nal_unit_type == CRA_NUT and pending:
            nal_unit_type = pending.pop(0)
            # forbidden_zero_bit and the high bit of nuh_layer_id stay.
            unit[header - start] = (data[header] & 0x81) | (nal_unit_type << 1)
        if FIRST_IRAP <= nal_unit_type <= LAST_IRAP:
            drop_rasl = nal_unit_type in BLA_WITHOUT_RASL
        elif nal_unit_type in RASL_TYPES and drop_rasl:
            continue
        out += unit
    if pending:
        raise SystemExit("cra_to_bla.py: fewer CRA pictures than types given")
    return bytes(out)


def main(argv):
    if len(argv) < 4 or any(int(t) not in BLA_TYPES for t in argv[3:]):
        raise SystemExit(__doc__.strip().splitlines()[-1])
    with open(argv[1], "rb") as f:
        data = f.read()
    with open(argv[2], "wb") as f:
        f.write(rewrite(data, [int(t) for t in argv[3:]]))


if __name__ == "__main__":
    main(sys.argv)
