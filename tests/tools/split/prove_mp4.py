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
  - colr and pasp are ffmpeg's bytes; ffprobe and MediaInfo read the input's
    colours, aspect ratio and HDR metadata from the container;
  - the playlists keep the rules of RFC 8216 the recorder relies on, and
    VIDEO-RANGE is the input's transfer characteristic;
  - hvc1 samples carry no parameter sets; after the parameter sets changed,
    segments are hev1 and start with theirs, and ffmpeg, GStreamer's playbin
    and playbin3 play index.m3u8 from a loopback HTTP server to the frames of
    the raw segments (GStreamer skipped without its libav decoder);
  - durations: the #EXTINF add up to the input's duration, index.csv gives
    each segment the media time of its first picture, and the recordings,
    each from 0, last as long as the input, within a frame;
  - wall clock: with --start-time, each segment's #EXT-X-PROGRAM-DATE-TIME
    and index.csv utc are that time plus the media time of its first
    picture, as is the 'prft' box of each file cut with --format mp4;
    --live 2 gives live.m3u8 of the last two segments.
Exits 77 (skipped) without ffmpeg.

  prove_mp4.py H265SPLIT STREAM WORKDIR [h265split options...]
"""
import datetime
import fractions
import functools
import http.server
import json
import os
import re
import shutil
import subprocess
import sys
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
MP4BOX = os.path.join(HERE, "mp4box")
START_TIME = "2026-12-08T23:59:59.950Z"  # a day ends during the first segment


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


def sample_count(path, frames):
    """The samples a recording of a raw stream holds: the `frames` it
    decodes to and the pictures decoded but not shown (pic_output_flag 0,
    as ffmpeg's trace_headers reads it)."""
    r = run(["ffmpeg", "-v", "trace", "-nostdin", "-f", "hevc", "-i", path, "-c", "copy", "-bsf:v", "trace_headers",
             "-f", "null", "-"], "trace_headers on " + path)
    return frames + len(re.findall(r"pic_output_flag +0 = 0", r.stderr))


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


def fragment_samples(path):
    """(nal_unit_types, composition offset) of each sample of the file's
    movie fragments, as h265split writes them (one trun of 16-byte entries
    per moof)."""
    data, at, samples = open(path, "rb").read(), 0, []
    while at + 8 <= len(data):
        size = int.from_bytes(data[at:at + 4], "big")
        if data[at + 4:at + 8] == b"moof":
            trun = data.find(b"trun", at, at + size) - 4
            count = int.from_bytes(data[trun + 12:trun + 16], "big")
            sample = at + size + 8
            for i in range(count):
                entry = trun + 20 + 16 * i
                end = sample + int.from_bytes(data[entry + 4:entry + 8], "big")
                offset = int.from_bytes(data[entry + 12:entry + 16], "big", signed=True)
                types = []
                while sample < end:
                    types.append((data[sample + 4] >> 1) & 0x3F)
                    sample += 4 + int.from_bytes(data[sample:sample + 4], "big")
                samples.append((types, offset))
        at += size
    return samples


def producer_reference(path):
    """(UTC, media time) of the file's first top-level 'prft' box (ISO/IEC
    14496-12 8.16.5, version 1: a 64-bit NTP time and media time)."""
    data, at = open(path, "rb").read(), 0
    while at + 8 <= len(data):
        size = int.from_bytes(data[at:at + 4], "big")
        if data[at + 4:at + 8] == b"prft" and data[at + 8] == 1:
            ntp = int.from_bytes(data[at + 16:at + 24], "big")
            seconds = (ntp >> 32) - 2208988800 + (ntp & 0xFFFFFFFF) / 2 ** 32
            return (datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc),
                    int.from_bytes(data[at + 24:at + 32], "big"))
        at += max(size, 8)
    fail(path + " holds no prft box")


def check_parameter_sets_in_samples(path, entry):
    """hvc1: no VPS, SPS or PPS in a sample (ISO/IEC 14496-15 8.4.1.1.1).
    hev1, the form after a change: the first sample starts with all three."""
    samples = [types for types, _ in fragment_samples(path)]
    if entry == "hvc1" and any(t in (32, 33, 34) for types in samples for t in types):
        fail("%s: an hvc1 sample carries a parameter set: %s" % (path, samples))
    if entry == "hev1" and not {32, 33, 34} <= set(samples[0]):
        fail("%s: the first hev1 sample does not carry its parameter sets: %s" % (path, samples[0]))


def check_players(hls, expected, work):
    """ffmpeg, playbin and playbin3 play the playlist from a loopback HTTP
    server to the expected frames (MD5 of each decoded 4:2:0 picture)."""
    handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=hls)
    http.server.SimpleHTTPRequestHandler.log_message = lambda *args: None
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = "http://127.0.0.1:%d/index.m3u8" % server.server_address[1]
    try:
        if frame_md5s([url], work) != expected:
            fail("ffmpeg plays %s to other frames than the raw segments" % url)
        if subprocess.run(["gst-inspect-1.0", "avdec_h265"], capture_output=True).returncode != 0:
            print("note: GStreamer has no H.265 decoder (gstreamer1.0-libav); playbin is left out")
            return
        for player in ("playbin", "playbin3"):
            sink = "videoconvert ! video/x-raw,format=I420 ! checksumsink hash=md5"
            r = subprocess.run(["gst-launch-1.0", "-q", player, "uri=" + url, "video-sink=" + sink,
                                "audio-sink=fakesink"], capture_output=True, text=True, timeout=300)
            md5s = [l.split()[-1] for l in r.stdout.splitlines() if re.match(r"^\d+:\d\d:\d\d\.\d+ [0-9a-f]{32}$", l)]
            if r.returncode != 0 or md5s != expected:
                fail("%s plays %d frames, %d of them as the raw segments decode (of %d): %s" %
                     (player, len(md5s), sum(a == b for a, b in zip(md5s, expected)), len(expected),
                      r.stderr.strip()[-300:]))
    finally:
        server.shutdown()


def media_seconds(path):
    """First presentation time and duration of a file's pictures, from
    ffprobe's packets. ffmpeg delays every presentation time by the largest
    negative composition offset of the file (so that no picture is shown
    before it is decoded): that delay is taken off again."""
    tb = fractions.Fraction(probe(path, ["-show_entries", "stream=time_base"], "streams")[0]["time_base"])
    delay = max([0] + [-offset for _, offset in fragment_samples(path)]) * tb
    packets = probe(path, ["-show_entries", "packet=pts_time,duration_time"], "packets")
    starts = [float(p["pts_time"]) for p in packets]
    ends = [float(p["pts_time"]) + float(p.get("duration_time", 0)) for p in packets]
    return min(starts) - float(delay), max(ends) - min(starts)


def check_wall_clock(hls, starts):
    """#EXT-X-PROGRAM-DATE-TIME of each segment is --start-time plus the
    media time of its first picture (`starts`, by segment, from ffprobe), to
    the millisecond; index.csv's utc says the same. live.m3u8 names the last
    two segments, counted by #EXT-X-MEDIA-SEQUENCE."""
    origin = datetime.datetime.fromisoformat(START_TIME.replace("Z", "+00:00"))
    lines = open(os.path.join(hls, "index.m3u8")).read().splitlines()
    dates = {}
    for i, line in enumerate(lines):
        if line.startswith("#EXT-X-PROGRAM-DATE-TIME:"):
            dates[lines[i + 2]] = datetime.datetime.fromisoformat(line.split(":", 1)[1].replace("Z", "+00:00"))
    rows = {r[0]: r[16] for r in (l.split(",") for l in open(os.path.join(hls, "index.csv")).read().splitlines()[1:])}
    for seg, start in starts.items():
        expected = origin + datetime.timedelta(seconds=start)
        if seg not in dates or abs((dates[seg] - expected).total_seconds()) > 0.0015:
            fail("%s: #EXT-X-PROGRAM-DATE-TIME %s, --start-time plus %.3f s is %s" %
                 (seg, dates.get(seg), start, expected))
        if datetime.datetime.fromisoformat(rows[seg].replace("Z", "+00:00")) != dates[seg]:
            fail("%s: utc %s in index.csv, %s in the playlist" % (seg, rows[seg], dates[seg]))
    live = open(os.path.join(hls, "live.m3u8")).read().splitlines()
    named = [l for l in live if l.endswith(".m4s")]
    sequence = int([l for l in live if l.startswith("#EXT-X-MEDIA-SEQUENCE:")][0].split(":")[1])
    ordered = sorted(starts)
    if named != ordered[-2:] or sequence != len(ordered) - len(named) or live[-1] != "#EXT-X-ENDLIST":
        fail("live.m3u8 names %s from %d; the segments are %s" % (named, sequence, ordered))


def check_durations(stream, hls, pairs, mp4, rate, work):
    """A recording lasts as long as the input, whatever its cuts leave out:
    the #EXTINF add up to the input's duration (its output pictures at its
    rate), index.csv starts each segment at the media time of its first
    picture, and the one-file recordings, each from 0, last as long together."""
    frame = 1 / float(rate)
    source = len(frame_md5s([stream], work)) * frame
    extinf = sum(float(l[8:].strip().rstrip(",")) for l in open(os.path.join(hls, "index.m3u8"))
                 if l.startswith("#EXTINF:"))
    if abs(extinf - source) > frame:
        fail("the #EXTINF add up to %.3f s, the input lasts %.3f s" % (extinf, source))
    rows = [l.split(",") for l in open(os.path.join(hls, "index.csv")).read().splitlines()[1:]]
    inits = {seg: init for init, seg in pairs}
    joined = os.path.join(work, "joined_segment.mp4")
    starts = {}
    for row in rows:
        with open(joined, "wb") as out:
            out.write(open(os.path.join(hls, inits[row[0]]), "rb").read() + open(os.path.join(hls, row[0]), "rb").read())
        start, _ = media_seconds(joined)
        starts[row[0]] = start
        if abs(start - float(row[14])) > frame / 2:
            fail("%s starts at %s s in index.csv, its media at %.3f s" % (row[0], row[14], start))
    recorded = 0
    for name in sorted(n for n in os.listdir(mp4) if n.endswith(".mp4")):
        start, seconds = media_seconds(os.path.join(mp4, name))
        if abs(start) > frame / 2:
            fail("%s starts at %.3f s, not at 0" % (name, start))
        recorded += seconds
    if abs(recorded - source) > frame:
        fail("the recordings last %.3f s, the input %.3f s" % (recorded, source))
    check_wall_clock(hls, starts)


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


def entry_boxes(path):
    """{type: box bytes} of the boxes after the hvc1 sample entry's 78 bytes of fields."""
    data = open(path, "rb").read()
    at = data.find(b"hvc1", data.find(b"stsd"))
    end, at, boxes = at - 4 + int.from_bytes(data[at - 4:at], "big"), at + 4 + 78, {}
    while at + 8 <= end:
        size = int.from_bytes(data[at:at + 4], "big")
        boxes[data[at + 4:at + 8].decode()] = data[at:at + size]
        at += size
    return boxes


def mediainfo(path, fields):
    tracks = json.loads(run(["mediainfo", "--Output=JSON", path], "mediainfo " + path).stdout)["media"]["track"]
    video = [t for t in tracks if t["@type"] == "Video"][0]
    return {f: video.get(f) for f in fields}


def check_description(stream, recording, work):
    """colr and pasp as ffmpeg's mp4 muxer writes them. ffmpeg 5.1 does not
    carry HDR metadata from a raw stream into its MP4: ffprobe compares mdcv
    and clli with the input's first frame, and MediaInfo must find them in
    the container (skipped without mediainfo)."""
    theirs = os.path.join(work, "ffmpeg_hvc1.mp4")
    ours_boxes, their_boxes = entry_boxes(recording), entry_boxes(theirs)
    for kind in ("colr", "pasp"):
        if ours_boxes.get(kind) != their_boxes.get(kind):
            fail("%s of %s: %s, ffmpeg's %s" % (kind, recording, ours_boxes.get(kind), their_boxes.get(kind)))
    fields = ["color_range", "color_space", "color_transfer", "color_primaries", "sample_aspect_ratio"]
    entries = ["-show_entries", "stream=" + ",".join(fields)]
    ours, source = probe(recording, entries + ["-show_entries", "stream_side_data"], "streams")[0], \
        probe(stream, entries, "streams")[0]
    first = probe(stream, ["-read_intervals", "%+#1", "-show_entries", "frame_side_data"], "frames")[0]
    hdr = [d for d in first.get("side_data_list", [])
           if d["side_data_type"] in ("Mastering display metadata", "Content light level metadata")]
    if [ours.get(f) for f in fields] != [source.get(f) for f in fields] or ours.get("side_data_list", []) != hdr:
        fail("ffprobe reads %s from %s, %s and %s from the input" % (ours, recording, source, hdr))
    if shutil.which("mediainfo") is None:
        print("note: mediainfo is not installed; its checks are left out")
        return
    colour = ["colour_range", "colour_primaries", "transfer_characteristics", "matrix_coefficients"]
    fields = [f + suffix for f in colour for suffix in ("", "_Source")] + ["PixelAspectRatio", "HDR_Format"]
    metadata = ["MasteringDisplay_ColorPrimaries", "MasteringDisplay_Luminance", "MaxCLL", "MaxFALL"]
    ours = mediainfo(recording, fields + metadata + [f + "_Source" for f in metadata])
    expected = mediainfo(theirs, fields + metadata)
    expected.update({f + "_Source": expected[f] and "Container / Stream" for f in metadata})
    if ours != expected:
        fail("MediaInfo reads %s from %s, expected %s" % (ours, recording, expected))


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
    split(tool, stream, hls, options + ["--format", "fmp4", "--start-time", START_TIME, "--live", "2"])
    # One file holds the whole recording: the cut options do not go with it.
    whole_options = [o for i, o in enumerate(options) if o != "--frames" and options[i - 1:i] != ["--frames"]]
    split(tool, stream, mp4, whole_options + ["--format", "mp4"])
    split(tool, stream, raw_whole, [o for o in options if o != "--json"] + ["--frames", "1000000000000"])

    check_hvcc(stream, os.path.join(hls, "init.mp4"), work)
    master = open(os.path.join(hls, "master.m3u8")).read()
    m = re.search(r'BANDWIDTH=(\d+),AVERAGE-BANDWIDTH=(\d+),RESOLUTION=(\d+)x(\d+),FRAME-RATE=([\d.]+),'
                  r'CODECS="([^"]+)",VIDEO-RANGE=(\w+)\nlive.m3u8\n$', master)  # with --live, the live playlist
    if not m or int(m.group(1)) < int(m.group(2)) or int(m.group(2)) <= 0:
        fail("master.m3u8: " + master)
    if abs(float(m.group(5)) - float(rate)) > 0.0005:
        fail("FRAME-RATE %s, the stream's is %s" % (m.group(5), rate))
    codecs = m.group(6)
    transfer = probe(stream, ["-show_entries", "stream=color_transfer"], "streams")[0].get("color_transfer")
    if m.group(7) != {"smpte2084": "PQ", "arib-std-b67": "HLG"}.get(transfer, "SDR"):
        fail("VIDEO-RANGE=%s for color_transfer %s" % (m.group(7), transfer))

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
        # From the first change of parameter sets on, samples carry theirs.
        entry = "hvc1" if init == pairs[0][0] else "hev1"
        check_parameter_sets_in_samples(os.path.join(hls, seg), entry)
        if stream_info["codec_tag_string"] != entry or \
                (stream_info["profile"], stream_info["level"]) != (source["profile"], source["level"]):
            fail("%s: %s, the input is %s" % (seg, stream_info, source))
        coded = sample_count(os.path.join(raw, raw_seg), len(expected))
        if has_gst and gst_pictures(joined) != coded:
            fail("GStreamer finds %d pictures in %s + %s, not %d" % (gst_pictures(joined), init, seg, coded))
        if has_mp4box:
            codec, samples = mp4box(files)
            if codec.lower() not in codecs.lower().split(",") or samples != coded:
                fail("mp4box.js: %s with %d samples in %s + %s; CODECS %s, %d pictures" %
                     (codec, samples, init, seg, codecs, coded))
    if frame_md5s([os.path.join(hls, "index.m3u8")], work) != expected_all:
        fail("index.m3u8 decodes to other frames than the raw segments")
    if len({init for init, _ in pairs}) > 1 and has_gst:
        check_players(hls, expected_all, work)

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
        check_parameter_sets_in_samples(path, "hvc1")
        coded = sample_count(os.path.join(raw_whole, raw_seg), len(expected))
        if has_gst and gst_pictures(path) != coded:
            fail("GStreamer finds another number of pictures in " + rec)
        if has_mp4box and mp4box([path])[1] != coded:
            fail("mp4box.js finds another number of samples in " + rec)
    if "--frames" in options or "--seconds" in options:
        # Cut into one file per segment, a recording's files are the raw
        # segments' pictures, each playing on its own from 0.
        cut = os.path.join(work, "mp4_cut")
        split(tool, stream, cut, [o for o in options if o != "--json"] + ["--format", "mp4", "--start-time", START_TIME])
        origin = datetime.datetime.fromisoformat(START_TIME.replace("Z", "+00:00"))
        starts = {r[0]: float(r[14]) for r in
                  (l.split(",") for l in open(os.path.join(cut, "index.csv")).read().splitlines()[1:])}
        files = sorted(n for n in os.listdir(cut) if n.endswith(".mp4"))
        if files != ["rec-%05d.mp4" % i for i in range(len(raw_segments))]:
            fail("--format mp4 %s wrote %s for the raw segments %s" % (options, files, raw_segments))
        for rec, raw_seg in zip(files, raw_segments):
            if frame_md5s([os.path.join(cut, rec)], work) != frame_md5s([os.path.join(raw, raw_seg)], work):
                fail("%s of --format mp4 %s decodes to other frames than %s" % (rec, options, raw_seg))
            if abs(media_seconds(os.path.join(cut, rec))[0]) > 0.5 / float(rate):
                fail("%s of --format mp4 %s does not start at 0" % (rec, options))
            # Its first 'prft' box: media time 0 is --start-time plus the
            # stream time of its first picture.
            utc, media_time = producer_reference(os.path.join(cut, rec))
            expected = origin + datetime.timedelta(seconds=starts[rec])
            if media_time != 0 or abs((utc - expected).total_seconds()) > 0.0015:
                fail("%s: prft says %s at media time %d, --start-time plus %.3f s is %s" %
                     (rec, utc, media_time, starts[rec], expected))
    check_description(stream, os.path.join(mp4, recordings[0]), work)
    check_durations(stream, hls, pairs, mp4, rate, work)
    if has_mp4box and len(recordings) == 1 and mp4box([os.path.join(mp4, recordings[0])])[0].lower() != codecs.lower():
        fail("mp4box.js gives %s for the recording, CODECS is %s" % (mp4box([os.path.join(mp4, recordings[0])])[0], codecs))
    print("proved %d HLS segments and %d recordings, CODECS %s" % (len(pairs), len(recordings), codecs))


if __name__ == "__main__":
    main()
