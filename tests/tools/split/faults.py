#!/usr/bin/env python3
"""h265split on damaged input and failing output: each case names what it
feeds the tool and what must come of it.

  faults.py H265SPLIT DATA_DIR WORKDIR CASE
CASE: garbage, truncated, no_key_picture, not_h265, write_error, short_writes, symlink,
sigterm, usage, mp4_write_error, mp4_sigterm, mp4_cut. short_writes exits 77
(skipped) without H265SPLIT_WRITE_SHIM, the path of the write shim
(short_writes.cpp); H265SPLIT_WRITE_SHIM_SKIP says why. The write failure
shim (write_failure_shim.cpp) is H265SPLIT_FAIL_SHIM; without it the cases
that need it are skipped or left out.
"""
import os
import random
import resource
import shutil
import signal
import subprocess
import sys
import time

tool, data_dir, work, case = sys.argv[1:5]
shim = os.environ.get("H265SPLIT_FAIL_SHIM")


def fail(message):
    print("FAILED: " + message)
    sys.exit(1)


def stream(name):
    return open(os.path.join(data_dir, name), "rb").read()


def starts(data):
    """Offsets of the NAL units' start codes (a zero before 00 00 01 included)."""
    found, i = [], data.find(b"\x00\x00\x01")
    while i >= 0:
        found.append(i - 1 if i > 0 and data[i - 1] == 0 else i)
        i = data.find(b"\x00\x00\x01", i + 3)
    return found


def run(args, stdin=None, outdir=None, **kwargs):
    outdir = outdir or os.path.join(work, "out")
    result = subprocess.run([tool] + args + ["-", outdir], input=stdin, capture_output=True, **kwargs)
    return result.returncode, result.stderr.decode(), outdir


def expect(condition, message):
    if not condition:
        fail(message)


def segments(outdir):
    return sorted(n for n in os.listdir(outdir) if n.startswith("seg-"))


def check_closed(outdir):
    """Every segment has its final name and an index line."""
    names = segments(outdir)
    expect(not any(n.endswith(".tmp") for n in names), "a temporary segment is left: %s" % names)
    lines = open(os.path.join(outdir, "index.csv")).read().splitlines()[1:]
    expect([l.split(",")[0] for l in lines] == names, "index %s, files %s" % (lines, names))
    return names


def garbage():
    # Bytes before the first start code, and a start code followed by a byte
    # with forbidden_zero_bit set, inside an access unit.
    data = stream("x265_320x240_slices4_aud_hash.hevc")
    at = starts(data)[5]
    fed = b"junk!" + data[:at] + b"\x00\x00\x01\xff\xee\xdd" + data[at:]
    status, err, outdir = run(["--frames", "1000"], fed)
    expect(status == 0, "exit %d: %s" % (status, err))
    expect("skipped 5 bytes before the first start code" in err, err)
    expect("skipped 6 bytes at byte offset %d that are no NAL unit" % (at + 5) in err, err)
    expect(open(os.path.join(outdir, "seg-00000.265"), "rb").read() == data, "the segment is not the stream")
    expect(open(os.path.join(outdir, "index.csv")).read().splitlines()[1].startswith("seg-00000.265,5,"),
           "first_byte_offset is not 5")


def truncated():
    # (stream, where the cut falls, what the message says): inside the last
    # picture's slice segment header; after the access unit delimiter of a
    # last access unit that never got its picture.
    # The stream ends inside the last slice segment's NAL unit header, or
    # right after the access unit delimiter of an access unit that never got
    # its picture. Slice data cut short cannot be told from whole slice data
    # without decoding it. (stream, cut, start of the last access unit, what
    # is wrong with it): u are the offsets of the units.
    # The second row's cut leaves 4 bytes of the last picture's NAL unit: its
    # st_ref_pic_set ends inside num_positive_pics (bits 31..33, as ffmpeg's
    # trace_headers reads it), and ffmpeg says "Too many refs in a short term RPS".
    cut_off = "is followed by a cut-off NAL unit"
    cases = [("x265_192x128_open_gop_cra.hevc", lambda u: u[-1] + 6, lambda u: u[-2], cut_off),
             ("x265_192x128_open_gop_cra.hevc", lambda u: u[-1] + 8, lambda u: u[-1],
              "ends inside a slice segment header"),
             ("x265_320x240_slices4_aud_hash.hevc", lambda u: u[-2] + 4, lambda u: u[-6], cut_off),
             ("x265_320x240_slices4_aud_hash.hevc", lambda u: u[-6] + 7, lambda u: u[-6],
              "ends before the access unit's picture")]
    for name, cut, last, message in cases:
        data = stream(name)
        units = starts(data)
        fed, kept = data[:cut(units)], data[:last(units)]
        status, err, outdir = run(["--frames", "1000"], fed)
        expect(status == 0, "%s: exit %d: %s" % (name, status, err))
        expect("the last access unit, at byte offset %d, %s (truncated); it was not written" % (last(units), message)
               in err, "%s: %s" % (name, err))
        got = b"".join(open(os.path.join(outdir, n), "rb").read() for n in check_closed(outdir))
        expect(got == kept, "%s: the segments are not the stream up to its last access unit" % name)
        shutil.rmtree(outdir)


def no_key_picture():
    # The trailing pictures of an open GOP, without parameter sets or IRAP.
    data = stream("x265_192x128_open_gop_cra.hevc")
    tail = data[starts(data)[12]:]
    status, err, outdir = run([], tail)
    expect(status == 1, "exit %d" % status)
    expect(err == "h265split: no key picture (IDR, CRA or BLA) in standard input; no segment written\n", err)
    expect(not os.path.exists(outdir), "OUTDIR is left behind")
    os.mkdir(outdir)
    status, err, _ = run([], tail)
    expect(status == 1 and os.listdir(outdir) == [], "files left in OUTDIR: %s" % os.listdir(outdir))


def not_h265():
    # An H.264 stream and an MP4 file (made here), from a file or a pipe, are
    # named as such before anything is written or reported; other NAL unit
    # headers are named first, before the walk goes on.
    if not shutil.which("ffmpeg"):
        print("SKIPPED: ffmpeg is not installed")
        sys.exit(77)
    h264, mp4 = os.path.join(work, "x.264"), os.path.join(work, "x.mp4")
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=128x96:rate=25",
                    "-frames:v", "10", "-c:v", "libx264", "-f", "h264", h264], check=True)
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", os.path.join(data_dir, "x265_192x128_open_gop_cra.hevc"),
                    "-c", "copy", mp4], check=True)
    extract = "is an MP4 file, not an Annex B byte stream (extract the stream with: ffmpeg -i %s -c:v copy -f hevc -)"
    cases = [([h264], None, "'%s' is an H.264 stream, not H.265" % h264),
             ([mp4], None, "'%s' " % mp4 + extract % ("'%s'" % mp4)),
             (["-"], open(mp4, "rb").read(), "standard input " + extract % "-"),
             (["-"], b"\x00\x00\x01\x7e\x7e\x55" * 4, "standard input does not look like an H.265 Annex B byte "
              "stream: most of its first NAL unit headers are no H.265 ones")]
    for args, stdin, message in cases:
        outdir = os.path.join(work, "out")
        result = subprocess.run([tool] + args + [outdir], input=stdin, capture_output=True)
        err = result.stderr.decode()
        expect(result.returncode == 1 and err.startswith("h265split: " + message + "\n"), "%s: %s" % (args, err))
        expect(not os.path.exists(outdir), "%s: OUTDIR is left behind" % args)


def write_error():
    # The third segment cannot be written: its temporary name leads to a
    # full device, or the file size limit stops it.
    data = stream("x265_192x128_open_gop_cra.hevc")
    for how in ("ENOSPC", "RLIMIT_FSIZE"):
        outdir = os.path.join(work, "out")
        shutil.rmtree(outdir, ignore_errors=True)
        os.mkdir(outdir)
        limit, env = None, None
        if how == "ENOSPC":
            if not shim:
                continue
            env = dict(os.environ, LD_PRELOAD=shim, H265_FAIL_WRITE_NAME="seg-00002.265.tmp",
                       ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0")
            reason = "No space left on device"
        else:
            limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (3000, 3000))
            reason = "File too large"
        status, err, _ = run(["--frames", "1"], data, outdir, preexec_fn=limit, env=env)
        expect(status == 1, "%s: exit %d: %s" % (how, status, err))
        expect(err == "h265split: cannot write '%s/seg-00002.265.tmp': %s\n" % (outdir, reason), err)
        expect(check_closed(outdir) == ["seg-00000.265", "seg-00001.265"], "%s: %s" % (how, os.listdir(outdir)))


def short_writes():
    # Every write of the tool stops after 4 KiB and the tool goes on with the
    # rest: the one segment of 7369 bytes is still the stream.
    shim = os.environ.get("H265SPLIT_WRITE_SHIM")
    if not shim:
        print("SKIPPED: " + os.environ.get("H265SPLIT_WRITE_SHIM_SKIP", "no write shim"))
        sys.exit(77)
    data = stream("x265_192x128_open_gop_cra.hevc")
    mark = os.path.join(work, "shortened")
    # A sanitizer runtime of the tool's own need not come first.
    env = dict(os.environ, LD_PRELOAD=shim, SHORT_WRITES_MARK=mark,
               ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0")
    status, err, outdir = run(["--frames", "1000"], data, env=env)
    expect(status == 0 and os.path.exists(mark), "exit %d, shortened: %s: %s" % (status, os.path.exists(mark), err))
    expect(check_closed(outdir) == ["seg-00000.265"], "segments: %s" % os.listdir(outdir))
    expect(open(os.path.join(outdir, "seg-00000.265"), "rb").read() == data, "the segment is not the stream")


def symlink():
    # A symbolic link planted under a segment's temporary name is not
    # followed: the file it names stays as it was.
    data = stream("x265_192x128_open_gop_cra.hevc")
    outdir = os.path.join(work, "out")
    os.mkdir(outdir)
    victim = os.path.join(work, "victim")
    open(victim, "wb").write(b"precious")
    for name in ("seg-00001.265.tmp", "seg-00002.265.tmp"):
        os.symlink(victim, os.path.join(outdir, name))
    status, err, _ = run(["--frames", "1"], data, outdir)
    expect(status == 0, "exit %d: %s" % (status, err))
    expect(open(victim, "rb").read() == b"precious", "the link was followed")
    expect(not os.path.islink(os.path.join(outdir, "seg-00002.265")), "seg-00002.265 is a link")
    check_closed(outdir)


def decodes(path, what):
    if shutil.which("ffmpeg"):
        r = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i", path, "-f", "null", "-"],
                           capture_output=True, text=True)
        expect(r.returncode == 0 and not r.stderr, "%s: %s" % (what, r.stderr))


def playlist_segments(outdir):
    text = open(os.path.join(outdir, "index.m3u8")).read()
    return [l for l in text.splitlines() if l.endswith(".m4s")], text.endswith("#EXT-X-ENDLIST\n")


def mp4_write_error():
    # The third media segment cannot be written (a full disk, the file size
    # limit): the playlist names the two complete ones, which play.
    data = stream("x265_192x128_open_gop_cra.hevc")
    if not shim:
        print("SKIPPED: no write failure shim")
        sys.exit(77)
    for code, reason in (("ENOSPC", "No space left on device"), ("EFBIG", "File too large")):
        outdir = os.path.join(work, "out")
        shutil.rmtree(outdir, ignore_errors=True)
        env = dict(os.environ, LD_PRELOAD=shim, H265_FAIL_WRITE_NAME="seg-00002.m4s.tmp",
                   H265_FAIL_WRITE_AFTER="100", H265_FAIL_WRITE_ERRNO=code,
                   ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0")
        status, err, _ = run(["--frames", "1", "--format", "fmp4"], data, outdir, env=env)
        expect(status == 1, "%s: exit %d: %s" % (code, status, err))
        expect(err.endswith("h265split: cannot write '%s/seg-00002.m4s.tmp': %s\n" % (outdir, reason)), err)
        names, ended = playlist_segments(outdir)
        expect(names == ["seg-00000.m4s", "seg-00001.m4s"] and not ended, "%s: %s" % (code, names))
        expect(not [n for n in os.listdir(outdir) if n.endswith(".tmp")], "%s: %s" % (code, os.listdir(outdir)))
        # The playlist of a recording that stopped has no #EXT-X-ENDLIST, and
        # ffmpeg would wait for more segments of it; a copy with one plays.
        ended = os.path.join(outdir, "ended.m3u8")
        open(ended, "w").write(open(os.path.join(outdir, "index.m3u8")).read() + "#EXT-X-ENDLIST\n")
        decodes(ended, code)


def mp4_sigterm():
    # SIGTERM while a live pipe stalls: the open segment is completed and the
    # playlist ended; it plays.
    data = stream("x265_192x128_closed_gop_idr_n_lp.hevc")
    units = starts(data)
    outdir = os.path.join(work, "out")
    process = subprocess.Popen([tool, "--frames", "1", "--format", "fmp4", "-", outdir], stdin=subprocess.PIPE,
                               stderr=subprocess.PIPE, bufsize=0)
    process.stdin.write(data[:units[len(units) * 2 // 3]])
    time.sleep(0.5)
    process.send_signal(signal.SIGTERM)
    try:
        err = process.communicate(timeout=10)[1].decode()
    except subprocess.TimeoutExpired:
        process.kill()
        fail("still running 10 s after SIGTERM")
    expect(process.returncode == 0, "exit %d: %s" % (process.returncode, err))
    names, ended = playlist_segments(outdir)
    expect(len(names) >= 1 and ended, "%s, ended %s" % (names, ended))
    decodes(os.path.join(outdir, "index.m3u8"), "index.m3u8")


def top_boxes(data):
    """(type, start, end) of the top-level boxes that are whole."""
    boxes, at = [], 0
    while at + 8 <= len(data):
        size = int.from_bytes(data[at:at + 4], "big")
        if size < 8 or at + size > len(data):
            break
        boxes.append((data[at + 4:at + 8].decode("latin-1"), at, at + size))
        at += size
    return boxes


def mp4_cut():
    # A one-file recording cut at any byte (power lost while writing) plays
    # its complete fragments: ffmpeg decodes their pictures, the same as from
    # the whole file. What it says of the partial tail (the file ends inside
    # a box, a cut picture, a trun cut short) varies with how the pipe's
    # reads fall and is not checked. The file comes
    # through a pipe, as a player streams it: given a seekable file, ffmpeg
    # reads every moof when it opens it and gives up on one cut inside its
    # trun; recovering such a file is cutting it after its last whole box.
    if not shutil.which("ffmpeg"):
        print("SKIPPED: ffmpeg is not installed")
        sys.exit(77)
    source = os.path.join(work, "source.hevc")
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=128x96:rate=25",
                    "-frames:v", "120", "-c:v", "libx265", "-x265-params",
                    "keyint=25:bframes=3:b-pyramid=1:open-gop=1:log-level=error", "-f", "hevc", source], check=True)
    outdir = os.path.join(work, "out")
    status, err, _ = run(["--format", "mp4"], open(source, "rb").read(), outdir)
    expect(status == 0, err)
    whole = open(os.path.join(outdir, "rec-00000.mp4"), "rb").read()

    def md5s(data):
        r = subprocess.run(["ffmpeg", "-v", "error", "-f", "mp4", "-i", "pipe:0", "-fps_mode", "passthrough",
                            "-f", "framemd5", "-"], input=data, capture_output=True)
        r = subprocess.CompletedProcess(r.args, r.returncode, r.stdout.decode(), r.stderr.decode())
        errors = r.stderr.splitlines()
        return [l.split(",")[-1] for l in r.stdout.splitlines() if not l.startswith("#")], errors, r.returncode

    reference, errors, _ = md5s(whole)
    expect(len(reference) == 120 and not errors, "the whole recording: %d pictures, %s" % (len(reference), errors))
    fragments = [(s, e) for t, s, e in top_boxes(whole) if t == "mdat"]
    expect(len(fragments) >= 4, "%d fragments" % len(fragments))
    rng = random.Random(17)
    for cut in sorted(rng.randrange(fragments[0][0], len(whole)) for _ in range(12)):
        complete = sum(1 for _, end in fragments if end <= cut)
        got, _, _ = md5s(whole[:cut])
        # Each complete fragment holds 25 pictures, a second at 25 per
        # second; all of them come out, in the whole file's output order
        # (which interleaves the last fragments' pictures).
        found = iter(reference)
        in_order = all(md5 in found for md5 in got)
        expect(in_order and len(got) >= complete * 25,
               "cut at %d: %d pictures of %d complete fragments" % (cut, len(got), complete))


def sigterm():
    # A live pipe that stalls after the second key picture: SIGTERM closes
    # the open segment, which decodes.
    data = stream("x265_192x128_closed_gop_idr_n_lp.hevc")
    units = starts(data)
    outdir = os.path.join(work, "out")
    process = subprocess.Popen([tool, "--frames", "1", "-", outdir], stdin=subprocess.PIPE,
                               stderr=subprocess.PIPE, bufsize=0)
    process.stdin.write(data[:units[len(units) * 2 // 3]])
    time.sleep(0.5)
    process.send_signal(signal.SIGTERM)
    try:
        err = process.communicate(timeout=10)[1].decode()
    except subprocess.TimeoutExpired:
        process.kill()
        fail("still running 10 s after SIGTERM")
    expect(process.returncode == 0, "exit %d: %s" % (process.returncode, err))
    expect("stopped by a signal after 1 segment\n" in err, err)
    names = check_closed(outdir)
    expect(len(names) >= 1, "no segment")
    if shutil.which("ffmpeg"):
        for name in names:
            decode = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i", os.path.join(outdir, name),
                                     "-f", "null", "-"], capture_output=True, text=True)
            expect(decode.returncode == 0 and not decode.stderr, "%s: %s" % (name, decode.stderr))


def usage():
    cases = [(["--format", "avi", "in", "out"], 2, "invalid value 'avi' for --format (raw, fmp4 or mp4)"),(["--help"], 0, ""), (["--frames", "0", "in", "out"], 2, "invalid value '0' for --frames"),
             (["--seconds", "x", "in", "out"], 2, "invalid value 'x' for --seconds"), (["in"], 2, "INPUT and OUTDIR"),
             (["--bogus", "in", "out"], 2, "unknown option '--bogus'"), (["--fps"], 2, "'--fps' needs a value"),
             (["--frames", "5", "--seconds", "2", "in", "out"], 2, "--frames and --seconds are alternatives"),
             (["--format", "mp4", "--seconds", "2", "in", "out"], 2,
              "--seconds does not go with --format mp4: one file holds the whole recording"),
             (["--frames", "3", "--format", "mp4", "in", "out"], 2, "--frames does not go with --format mp4"),
             (["--fps", "30", "--frames", "3", "in", "out"], 1, "cannot open 'in'")]
    for args, status, message in cases:
        result = subprocess.run([tool] + args, capture_output=True, text=True)
        expect(result.returncode == status and message in result.stderr, "%s: %d %s" % (args, result.returncode,
                                                                                        result.stderr))


shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
globals()[case]()
shutil.rmtree(work)
print(case + ": as described")
