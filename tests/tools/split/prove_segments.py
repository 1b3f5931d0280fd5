#!/usr/bin/env python3
"""Proves the segments h265split writes for a stream, with ffmpeg as the
independent decoder:
  - every segment decodes on its own without any error message, starts with
    a VPS, an SPS and a PPS (after the access unit delimiter, when its access
    unit has one), and its first picture is an IRAP picture;
  - the segments start at the key pictures that the cut rule picks in the
    output order ffprobe decodes the input in, and hold the pictures between;
  - the frame MD5s of all segments, in order, are those of the input's own
    decode minus exactly the dropped RASL pictures the index lists;
  - the segments' NAL units, minus the inserted parameter sets (copies of
    earlier ones of the input), are the input's, minus the RASL NAL units of
    a CRA or BLA picture that starts a segment;
  - the index lists every segment with its size and picture counts, and
    with the presentation time of its first frame and the time its frames
    cover, at ffprobe's frame rate for the input: a segment's first frame is
    the input's frame at the same output position (by MD5);
  - the same files come out when the input comes through a pipe in random
    sized writes (1 byte to 1 MiB).
Exits 77 (skipped) without ffmpeg, or when STREAM does not exist (a stream
encoded at test time without an encoder).

  prove_segments.py H265SPLIT STREAM WORKDIR [h265split options...]
"""
import csv
import fractions
import json
import math
import os
import random
import shutil
import subprocess
import sys

HEADER = ("file,first_byte_offset,bytes,pictures,i_pictures,p_pictures,b_pictures,coded_width,coded_height,"
          "display_width,display_height,key_nal_type,parameter_sets_inserted,rasl_dropped,start_time,duration,utc,damaged")
VPS, SPS, PPS, AUD, CRA, BLA_W_LP = 32, 33, 34, 35, 21, 16


def fail(message):
    print("FAILED: " + message)
    sys.exit(1)


def nal_units(data):
    """(offset, bytes) of each NAL unit: from its start code (00 00 01, with
    one zero before it taken as the 4-byte form) to the next start code."""
    starts = []
    i = data.find(b"\x00\x00\x01")
    while i >= 0:
        begin = i - 1 if i > 0 and data[i - 1] == 0 and (not starts or i - 1 > starts[-1][1] + 1) else i
        starts.append((begin, i))
        i = data.find(b"\x00\x00\x01", i + 3)
    return [(b, data[b:(starts[k + 1][0] if k + 1 < len(starts) else len(data))])
            for k, (b, _) in enumerate(starts)]


def header(unit):
    body = unit[unit.index(b"\x00\x00\x01") + 3:]
    return (body[0] >> 1) & 0x3F, len(body) > 2 and (body[2] & 0x80) != 0


def input_frame_rate_text(path):
    run = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                          "stream=r_frame_rate", "-of", "csv=p=0", path], capture_output=True, text=True, check=True)
    return run.stdout.strip()


def input_frame_rate(path):
    return float(fractions.Fraction(input_frame_rate_text(path)))


def frame_md5s(path):
    # -autoscale 0: frames of a new picture size are hashed as decoded, not
    # scaled to the size of the first.
    run = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i", path, "-autoscale", "0",
                          "-f", "framemd5", "-"],
                         capture_output=True, text=True)
    if run.returncode != 0 or run.stderr.strip():
        fail("ffmpeg does not decode %s cleanly: %s" % (path, run.stderr.strip()[:500]))
    # (size of the decoded frame in bytes, its MD5)
    return [tuple(f.strip() for f in line.split(",")[-2:]) for line in run.stdout.splitlines()
            if line and not line.startswith("#")]


def start_code(data, offset):
    """The 00 00 01 of the NAL unit at offset: h265split counts the zero byte
    of a 4-byte start code to its unit, ffprobe's packet positions do not."""
    return data.find(b"\x00\x00\x01", offset)


def expected_cuts(stream, data, options):
    """Start codes of the access units where segments must start, and of
    every picture, from ffprobe's decode: a key (IRAP) picture starts one
    when it comes --frames N (or --seconds S, default 2, at --fps F or else
    ffprobe's frame rate of the stream: ceil(S * F)) or more pictures after
    the segment's key picture in output order, or has another picture size.
    Pictures no decoder outputs (the RASL pictures of a BLA picture) count,
    just before the key picture they follow in decoding order. The proofs
    give --frames, --seconds, --fps or no cut option."""
    if "--frames" in options:
        limit = int(options[options.index("--frames") + 1])
    else:
        seconds = float(options[options.index("--seconds") + 1]) if "--seconds" in options else 2.0
        rate = (fractions.Fraction(options[options.index("--fps") + 1]) if "--fps" in options
                else fractions.Fraction(input_frame_rate_text(stream)))
        limit = max(1, math.ceil(seconds * float(rate) - 1e-9))
    run = subprocess.run(["ffprobe", "-v", "error", "-show_packets", "-show_frames", "-show_entries",
                          "packet=pos:frame=key_frame,pkt_pos,width,height", "-of", "json", stream],
                         capture_output=True, text=True)
    if run.returncode != 0 or run.stderr.strip():
        fail("ffprobe does not decode %s cleanly: %s" % (stream, run.stderr.strip()[:500]))
    items = json.loads(run.stdout)["packets_and_frames"]
    pictures = sorted(start_code(data, int(i["pos"])) for i in items if i["type"] == "packet")
    frames = [(start_code(data, int(i["pkt_pos"])), i["key_frame"], (i["width"], i["height"]))
              for i in items if i["type"] == "frame"]
    unseen = sorted(set(pictures) - set(at for at, _, _ in frames))
    keys = sorted((at, n, size) for n, (at, key, size) in enumerate(frames) if key)
    cuts, start = [], None
    for k, (at, n, size) in enumerate(keys):
        follows = keys[k + 1][0] if k + 1 < len(keys) else len(data)
        place = n + sum(1 for u in unseen if u < follows)
        if start is None or place - start[0] >= limit or size != start[1]:
            cuts.append(at)
            start = (place, size)
    return cuts, pictures


def split(tool, source, outdir, options, pipe_seed=None):
    shutil.rmtree(outdir, ignore_errors=True)
    if pipe_seed is None:
        run = subprocess.run([tool] + options + [source, outdir], capture_output=True, text=True)
    else:
        process = subprocess.Popen([tool] + options + ["-", outdir], stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, bufsize=0)
        data = open(source, "rb").read()
        rng = random.Random(pipe_seed)
        at = 0
        while at < len(data):
            n = min(len(data) - at, rng.choice([1, 2, 3, 5, 64, 4096, 65536, rng.randint(1, 1 << 20)]))
            process.stdin.write(data[at:at + n])
            at += n
        process.stdin.close()
        out, err = process.stdout.read(), process.stderr.read()
        process.wait()
        run = subprocess.CompletedProcess(process.args, process.returncode, out.decode(), err.decode())
    if run.returncode != 0 or run.stderr:
        fail("h265split exited %d: %s" % (run.returncode, run.stderr))
    return run


def main():
    tool, stream, work = sys.argv[1:4]
    options = sys.argv[4:]
    if shutil.which("ffmpeg") is None:
        print("SKIPPED: ffmpeg is not installed")
        sys.exit(77)
    if not os.path.exists(stream):
        print("SKIPPED: %s does not exist" % stream)
        sys.exit(77)
    os.makedirs(work, exist_ok=True)
    outdir = os.path.join(work, "out")
    split(tool, stream, outdir, options)
    keep_rasl = "--keep-rasl" in options

    lines = open(os.path.join(outdir, "index.csv")).read().splitlines()
    if lines[0] != HEADER:
        fail("index header: " + lines[0])
    index = [dict(r) for r in csv.DictReader(lines)]
    names = sorted(n for n in os.listdir(outdir) if not n.startswith("index."))
    if "--json" in options:
        entries = json.load(open(os.path.join(outdir, "index.json")))
        as_csv = [{k: ("yes" if v is True else "no" if v is False else "" if v is None else
                       "%.6f" % v if isinstance(v, float) else str(v))
                   for k, v in e.items()} for e in entries]
        if as_csv != index:
            fail("index.json and index.csv differ")
    if names != [r["file"] for r in index] or names != ["seg-%05d.265" % i for i in range(len(names))]:
        fail("files %s, index %s" % (names, [r["file"] for r in index]))

    data = open(stream, "rb").read()
    units = nal_units(data)
    ends = [int(r["first_byte_offset"]) for r in index[1:]] + [len(data)]
    if int(index[0]["first_byte_offset"]) != units[0][0]:
        fail("the first segment starts at %s, the stream's first NAL unit at %d" %
             (index[0]["first_byte_offset"], units[0][0]))
    cuts, pictures = expected_cuts(stream, data, options)
    starts = [start_code(data, int(r["first_byte_offset"])) for r in index]
    if starts != cuts:
        fail("segments start at the access units at %s, the cut rule in output order picks %s" % (starts, cuts))

    md5s = []
    firsts = []  # index into md5s of each segment's first frame
    dropped_outside_first = 0
    for record, end in zip(index, ends):
        path = os.path.join(outdir, record["file"])
        seg = open(path, "rb").read()
        if len(seg) != int(record["bytes"]):
            fail("%s has %d bytes, the index says %s" % (record["file"], len(seg), record["bytes"]))
        i, p, b = int(record["i_pictures"]), int(record["p_pictures"]), int(record["b_pictures"])
        if i + p + b != int(record["pictures"]) or i == 0:
            fail("%s: I %d + P %d + B %d against %s pictures" % (record["file"], i, p, b, record["pictures"]))
        held = sum(1 for at in pictures if start_code(data, int(record["first_byte_offset"])) <= at < end)
        if int(record["pictures"]) + int(record["rasl_dropped"]) != held:
            fail("%s: %s pictures and %s RASL dropped, ffprobe finds %d in its bytes" %
                 (record["file"], record["pictures"], record["rasl_dropped"], held))

        # The input's NAL units of the segment's stretch, without the RASL
        # ones of a CRA or BLA picture that starts it (up to the next IRAP
        # picture).
        start = int(record["first_byte_offset"])
        # With --keep-rasl they stay, and no decoder outputs them.
        key = int(record["key_nal_type"])
        expected, rasl, leading, irap = [], 0, key in (CRA, BLA_W_LP), 0
        for offset, unit in units:
            if start <= offset < end:
                kind, first = header(unit)
                irap += 1 if 16 <= kind <= 23 and first else 0
                if irap > 1:
                    leading = False
                if leading and kind in (8, 9):
                    rasl += 1 if first else 0
                    if not keep_rasl:
                        continue
                expected.append(unit)
        dropped = 0 if keep_rasl else rasl
        if dropped != int(record["rasl_dropped"]):
            fail("%s: %d RASL pictures dropped, the index says %s" % (record["file"], dropped, record["rasl_dropped"]))
        frames = frame_md5s(path)
        if len(frames) != int(record["pictures"]) - (rasl if keep_rasl else 0):
            fail("%s decodes to %d frames, the index says %s pictures" % (record["file"], len(frames),
                                                                           record["pictures"]))
        if len(set(size for size, _ in frames)) > 1:
            fail("%s holds pictures of more than one size" % record["file"])
        firsts.append(len(md5s))
        md5s += frames
        # The input's decode outputs the RASL pictures of a CRA picture
        # unless it starts the stream; never those of a BLA picture.
        if key == CRA and units[0][0] != start:
            dropped_outside_first += rasl

        got = [u for _, u in nal_units(seg)]
        kinds = [header(u)[0] for u in got]
        # The access unit delimiter stays first; the parameter sets follow it.
        lead = 1 if header(expected[0])[0] == AUD else 0
        sets = kinds[lead:]
        sets = sets[:next(n for n, k in enumerate(sets) if k not in (VPS, SPS, PPS))]
        if sets[:1] != [VPS] or SPS not in sets or PPS not in sets:
            fail("%s starts with NAL unit types %s" % (record["file"], kinds[:6]))
        first_vcl = next(k for k in kinds if k < 32)
        if not 16 <= first_vcl <= 23:
            fail("%s: its first picture has nal_unit_type %d" % (record["file"], first_vcl))
        inserted = len(got) - len(expected)
        if (inserted > 0) != (record["parameter_sets_inserted"] == "yes"):
            fail("%s: %d units inserted, the index says %s" % (record["file"], inserted,
                                                               record["parameter_sets_inserted"]))
        earlier = set(u for o, u in units if o < start)
        for unit in got[lead:lead + inserted]:
            if header(unit)[0] not in (VPS, SPS, PPS) or unit not in earlier:
                fail("%s: an inserted unit is no copy of an earlier parameter set" % record["file"])
        if got[:lead] + got[lead + inserted:] != expected:
            fail("%s: its NAL units are not the input's from byte %d to %d" % (record["file"], start, end))

    # The input's own decode; a CRA that starts the stream has RASL pictures
    # that no decoder outputs, so those drop out on both sides.
    whole = frame_md5s(stream)
    if len(whole) - len(md5s) != dropped_outside_first:
        fail("the input decodes to %d frames, the segments to %d, with %d RASL pictures dropped" %
             (len(whole), len(md5s), dropped_outside_first))
    positions, at = [], 0
    for m in md5s:
        while at < len(whole) and whole[at] != m:
            at += 1
        if at == len(whole):
            fail("the segments' frames are not the input's in order")
        positions.append(at)
        at += 1

    # Times: the input's output position of each segment's first frame at
    # ffprobe's rate (or --fps), and the span to just after its last frame.
    rate = float(fractions.Fraction(options[options.index("--fps") + 1])) if "--fps" in options else \
        input_frame_rate(stream)
    for k, record in enumerate(index):
        first = positions[firsts[k]]
        last = positions[firsts[k + 1] - 1] if k + 1 < len(index) else positions[-1]
        start, duration = float(record["start_time"]), float(record["duration"])
        if abs(start - first / rate) > 2e-6 or abs(start + duration - (last + 1) / rate) > 4e-6:
            fail("%s: start_time %s, duration %s; its frames are the input's %d to %d at %.6f fps" %
                 (record["file"], record["start_time"], record["duration"], first, last, rate))

    # Through a pipe in random-sized writes: the same files.
    piped = os.path.join(work, "piped")
    split(tool, stream, piped, options, pipe_seed=len(data))
    for name in os.listdir(outdir):
        if open(os.path.join(piped, name), "rb").read() != open(os.path.join(outdir, name), "rb").read():
            fail("%s differs when the input comes through a pipe" % name)
    if sorted(os.listdir(piped)) != sorted(os.listdir(outdir)):
        fail("other files when the input comes through a pipe")
    print("%d segments, %d frames, %d RASL pictures dropped: all proven" % (len(index), len(md5s),
                                                                            sum(int(r["rasl_dropped"]) for r in index)))
    shutil.rmtree(work)


main()
