#!/usr/bin/env python3
"""Proves h265split's fragmented MP4 output (--format fmp4 and --format mp4)
for a stream with independent readers:
  - ffmpeg (-xerror) decodes index.m3u8, each init segment + media segment,
    and each single-file recording, and its frame MD5s are those of the raw
    .265 segments of the same run (which prove_segments.py proves against
    the input: the input's frames minus the dropped RASL pictures);
  - ffprobe: the track is hvc1 with the input's profile and level, and
    presentation times rise by exactly one frame duration (the input's
    r_frame_rate) in output order;
  - GStreamer's qtdemux ! h265parse reads each file with the same number of
    pictures (skipped without gst-launch-1.0);
  - mp4box.js under Node reads each file, finds as many samples, and gives
    the codec string the master playlist's CODECS holds (skipped when
    scripts/install-deps.sh has not installed it);
  - the playlists keep the rules of RFC 8216 the recorder relies on.
Exits 77 (skipped) without ffmpeg.

  prove_mp4.py H265SPLIT STREAM WORKDIR [h265split options...]
"""
import fractions
import json
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
MP4BOX = os.path.join(HERE, "mp4box")


def fail(message):
    print("FAILED: " + message)
    sys.exit(1)


def run(args, what):
    r = subprocess.run(args, capture_output=True, text=True)
    if r.returncode != 0:
        fail("%s exited %d: %s" % (what, r.returncode, r.stderr.strip()[:800]))
    return r


def split(tool, stream, outdir, options):
    shutil.rmtree(outdir, ignore_errors=True)
    r = run([tool] + options + [stream, outdir], "h265split " + " ".join(options))
    # Only the frame rate line is expected on standard error.
    others = [l for l in r.stderr.splitlines() if "frame rate" not in l]
    if others:
        fail("h265split said: %s" % others)


def frame_md5s(paths, work):
    """Frame MD5s ffmpeg decodes from the files given as one byte stream."""
    path = paths[0]
    if len(paths) > 1:
        path = os.path.join(work, "joined.mp4")
        with open(path, "wb") as out:
            for p in paths:
                out.write(open(p, "rb").read())
    # -fps_mode passthrough: every decoded picture, also one presented before
    # the first in decoding order (the RADL pictures of an IDR_W_RADL picture
    # that starts a segment), which ffmpeg's frame rate conversion drops as
    # earlier than the stream's start.
    r = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i", path, "-autoscale", "0",
                        "-fps_mode", "passthrough", "-f", "framemd5", "-"], capture_output=True, text=True)
    if r.returncode != 0 or r.stderr.strip():
        fail("ffmpeg does not decode %s cleanly: %s" % (" + ".join(paths), r.stderr.strip()[:500]))
    return [line.split(",")[-1].strip() for line in r.stdout.splitlines() if line and not line.startswith("#")]


def probe(path, entries, section):
    r = run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-of", "json"] + entries + [path], "ffprobe " + path)
    return json.loads(r.stdout).get(section, [])


def check_times(path, rate):
    """Presentation times in output order rise by one frame duration."""
    stream = probe(path, ["-show_entries", "stream=time_base,codec_tag_string,profile,level"], "streams")[0]
    tb = fractions.Fraction(stream["time_base"])
    frames = probe(path, ["-show_entries", "frame=pts"], "frames")
    pts = [int(f["pts"]) for f in frames]
    for a, b in zip(pts, pts[1:]):
        if (b - a) * tb != 1 / rate:
            fail("%s: presentation times %s then %s (time base %s), not one frame of %s apart" %
                 (path, a, b, tb, rate))
    return stream, len(pts)


def gst_pictures(path):
    r = subprocess.run(["gst-launch-1.0", "-v", "filesrc", "location=" + path, "!", "qtdemux", "!", "h265parse",
                        "!", "fakesink", "silent=false"], capture_output=True, text=True)
    if r.returncode != 0 or "ERROR" in r.stderr:
        fail("GStreamer cannot read %s: %s" % (path, (r.stderr + r.stdout)[-500:]))
    return sum(1 for line in r.stdout.splitlines() if "last-message = chain" in line)


def mp4box(paths):
    r = run(["node", os.path.join(MP4BOX, "codec_of.js")] + paths, "mp4box.js on " + " + ".join(paths))
    codec, samples = r.stdout.split()
    return codec, int(samples)


def playlist(outdir):
    """(init, segment) pairs of index.m3u8, after checking its form."""
    lines = open(os.path.join(outdir, "index.m3u8")).read().splitlines()
    for tag in ("#EXTM3U", "#EXT-X-VERSION:7", "#EXT-X-PLAYLIST-TYPE:EVENT", "#EXT-X-INDEPENDENT-SEGMENTS"):
        if tag not in lines:
            fail("index.m3u8 lacks " + tag)
    if lines[-1] != "#EXT-X-ENDLIST":
        fail("index.m3u8 does not end with #EXT-X-ENDLIST")
    targets = [int(l.split(":")[1]) for l in lines if l.startswith("#EXT-X-TARGETDURATION:")]
    if len(targets) != 1:
        fail("index.m3u8 has %d target durations" % len(targets))
    pairs, init, pending_discontinuity = [], None, False
    for i, line in enumerate(lines):
        if line == "#EXT-X-DISCONTINUITY":
            pending_discontinuity = True
        elif line.startswith("#EXT-X-MAP:URI="):
            if init is not None and not pending_discontinuity:
                fail("a new #EXT-X-MAP without #EXT-X-DISCONTINUITY")
            init, pending_discontinuity = line.split('"')[1], False
        elif line.startswith("#EXTINF:"):
            seconds = float(line[8:].rstrip(","))
            if not re.match(r"#EXTINF:\d+\.\d{3},$", line) or int(seconds + 0.5) > targets[0]:
                fail("%s against #EXT-X-TARGETDURATION:%d" % (line, targets[0]))
            pairs.append((init, lines[i + 1]))
    return pairs


def hvcc(path):
    """The HEVCDecoderConfigurationRecord of the file's first hvcC box."""
    data = open(path, "rb").read()
    at = data.find(b"hvcC")
    return data[at + 4:at - 4 + int.from_bytes(data[at - 4:at], "big")]


def parameter_set_arrays(record):
    """{NAL_unit_type: [NAL units without trailing zero bytes]} of the record's arrays."""
    arrays, at = {}, 23
    for _ in range(record[22]):
        kind, count, at = record[at] & 0x3F, int.from_bytes(record[at + 1:at + 3], "big"), at + 3
        units = []
        for _ in range(count):
            size = int.from_bytes(record[at:at + 2], "big")
            units.append(record[at + 2:at + 2 + size].rstrip(b"\0"))
            at += 2 + size
        arrays[kind] = units
    return arrays


def check_hvcc(stream, ours, work):
    """The record's fixed fields are those ffmpeg's mp4 muxer writes for the
    stream, and its parameter sets are among ffmpeg's (which gathers those of
    every picture size). ffmpeg keeps a zero byte that follows a NAL unit in
    the byte stream, which no NAL unit ends with (7.4.2)."""
    theirs = os.path.join(work, "ffmpeg_hvc1.mp4")
    run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", stream, "-c", "copy", "-tag:v", "hvc1", theirs],
        "ffmpeg remuxing " + stream)
    a, b = hvcc(theirs), hvcc(ours)
    if a[:22] != b[:22]:
        fail("hvcC of %s: %s, ffmpeg's %s" % (ours, b[:22].hex(), a[:22].hex()))
    arrays_a, arrays_b = parameter_set_arrays(a), parameter_set_arrays(b)
    # A stream with HDR metadata (ffprobe's side data of its first frame)
    # has its prefix SEI in the record too.
    first = probe(stream, ["-read_intervals", "%+#1", "-show_entries", "frame_side_data=side_data_type"], "frames")
    kinds = [d.get("side_data_type") for f in first[:1] for d in f.get("side_data_list", [])]
    if "Mastering display metadata" in kinds and not arrays_b.get(39):
        fail("hvcC of %s has no prefix SEI array for the stream's HDR metadata" % ours)
    for kind in (32, 33, 34):
        if not arrays_b.get(kind) or any(unit not in arrays_a.get(kind, []) for unit in arrays_b[kind]):
            fail("hvcC of %s: NAL units of type %d differ from ffmpeg's" % (ours, kind))


def main():
    tool, stream, work = sys.argv[1:4]
    options = sys.argv[4:]
    if shutil.which("ffmpeg") is None:
        print("SKIPPED: ffmpeg is not installed")
        sys.exit(77)
    os.makedirs(work, exist_ok=True)
    source = probe(stream, ["-show_entries", "stream=r_frame_rate,profile,level"], "streams")[0]
    rate = fractions.Fraction(source["r_frame_rate"])
    has_gst = shutil.which("gst-launch-1.0") is not None
    has_mp4box = shutil.which("node") is not None and os.path.isdir(os.path.join(MP4BOX, "node_modules", "mp4box"))
    if not has_mp4box:
        print("note: mp4box.js is not installed (bash scripts/install-deps.sh); its checks are left out")

    # The raw segments of the same cuts are the reference.
    raw, hls, mp4, raw_whole = (os.path.join(work, n) for n in ("raw", "hls", "mp4", "raw_whole"))
    split(tool, stream, raw, options)
    split(tool, stream, hls, options + ["--format", "fmp4"])
    # One file holds the whole recording: the cut options do not go with it.
    whole_options = [o for i, o in enumerate(options) if o != "--frames" and options[i - 1:i] != ["--frames"]]
    split(tool, stream, mp4, whole_options + ["--format", "mp4"])
    split(tool, stream, raw_whole, [o for o in options if o != "--json"] + ["--frames", "1000000000000"])

    check_hvcc(stream, os.path.join(hls, "init.mp4"), work)
    master = open(os.path.join(hls, "master.m3u8")).read()
    m = re.search(r'BANDWIDTH=(\d+),AVERAGE-BANDWIDTH=(\d+),RESOLUTION=(\d+)x(\d+),FRAME-RATE=([\d.]+),'
                  r'CODECS="([^"]+)"\nindex.m3u8\n$', master)
    if not m or int(m.group(1)) < int(m.group(2)) or int(m.group(2)) <= 0:
        fail("master.m3u8: " + master)
    if abs(float(m.group(5)) - float(rate)) > 0.0005:
        fail("FRAME-RATE %s, the stream's is %s" % (m.group(5), rate))
    codecs = m.group(6)

    raw_segments = sorted(n for n in os.listdir(raw) if n.endswith(".265"))
    pairs = playlist(hls)
    if [s for _, s in pairs] != ["seg-%05d.m4s" % i for i in range(len(raw_segments))]:
        fail("playlist segments %s, raw segments %s" % (pairs, raw_segments))
    expected_all = []
    for (init, seg), raw_seg in zip(pairs, raw_segments):
        expected = frame_md5s([os.path.join(raw, raw_seg)], work)
        expected_all += expected
        files = [os.path.join(hls, init), os.path.join(hls, seg)]
        if frame_md5s(files, work) != expected:
            fail("%s + %s decode to other frames than %s" % (init, seg, raw_seg))
        joined = os.path.join(work, "joined.mp4")
        stream_info, count = check_times(joined, rate)
        if stream_info["codec_tag_string"] != "hvc1" or \
                (stream_info["profile"], stream_info["level"]) != (source["profile"], source["level"]):
            fail("%s: %s, the input is %s" % (seg, stream_info, source))
        if has_gst and gst_pictures(joined) != len(expected):
            fail("GStreamer finds %d pictures in %s + %s, not %d" % (gst_pictures(joined), init, seg, len(expected)))
        if has_mp4box:
            codec, samples = mp4box(files)
            if codec.lower() != codecs.lower() and init == pairs[-1][0] or samples != len(expected):
                fail("mp4box.js: %s with %d samples in %s + %s; CODECS %s, %d pictures" %
                     (codec, samples, init, seg, codecs, len(expected)))
    if frame_md5s([os.path.join(hls, "index.m3u8")], work) != expected_all:
        fail("index.m3u8 decodes to other frames than the raw segments")

    recordings = sorted(n for n in os.listdir(mp4) if n.endswith(".mp4"))
    whole = sorted(n for n in os.listdir(raw_whole) if n.endswith(".265"))
    if recordings != ["rec-%05d.mp4" % i for i in range(len(whole))]:
        fail("recordings %s for raw %s" % (recordings, whole))
    for rec, raw_seg in zip(recordings, whole):
        path = os.path.join(mp4, rec)
        expected = frame_md5s([os.path.join(raw_whole, raw_seg)], work)
        if frame_md5s([path], work) != expected:
            fail("%s decodes to other frames than %s" % (rec, raw_seg))
        _, count = check_times(path, rate)
        if has_gst and gst_pictures(path) != len(expected):
            fail("GStreamer finds another number of pictures in " + rec)
        if has_mp4box and mp4box([path])[1] != len(expected):
            fail("mp4box.js finds another number of samples in " + rec)
    if has_mp4box and len(recordings) == 1 and mp4box([os.path.join(mp4, recordings[0])])[0].lower() != codecs.lower():
        fail("mp4box.js gives %s for the recording, CODECS is %s" % (mp4box([os.path.join(mp4, recordings[0])])[0], codecs))
    print("proved %d HLS segments and %d recordings, CODECS %s" % (len(pairs), len(recordings), codecs))


if __name__ == "__main__":
    main()
