#!/usr/bin/env python3
"""Checks what h265info --json says of a stream's timing and VUI against
ffprobe on the same file: for every picture ffmpeg outputs, in the order it
outputs them, the picture's output_index; r_frame_rate, sample_aspect_ratio,
color_range, color_space, color_transfer, color_primaries, chroma_location
and has_b_frames.

usage: compare_with_ffprobe.py H265INFO STREAM
Exit 0 when everything agrees, 1 with the differences listed, 77 when
ffprobe is not there."""
import json
import shutil
import subprocess
import sys


def ffprobe(args):
    out = subprocess.run(["ffprobe", "-v", "error", "-of", "json"] + args, check=True,
                         capture_output=True, text=True).stdout
    return json.loads(out)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    tool, stream = sys.argv[1], sys.argv[2]
    if not shutil.which("ffprobe"):
        print("ffprobe not found: SKIPPED")
        return 77
    info = json.loads(subprocess.run([tool, "--json", stream], capture_output=True, text=True).stdout)
    summary = info["summary"]
    pictures = [u for u in info["nal_units"] if "poc" in u]
    frames = ffprobe(["-show_frames", "-show_entries", "frame=pkt_pos", stream])["frames"]
    probed = ffprobe(["-select_streams", "v", "-show_streams", stream])["streams"][0]
    problems = []

    # ffmpeg gives each output frame the byte position of its access unit:
    # the picture is the first one whose first slice segment starts there or
    # after (a four-byte start code's zero_byte is not part of the packet).
    starts = [u["offset"] for u in pictures]
    order = []
    for frame in frames:
        pos = int(frame["pkt_pos"])
        after = [i for i, s in enumerate(starts) if s + 1 >= pos]
        if not after:
            problems.append("ffmpeg outputs a frame at byte %d after our last picture" % pos)
            continue
        order.append(pictures[after[0]])
    ours = sorted((u for u in pictures if u["output_index"] is not None), key=lambda u: u["output_index"])
    if [u["index"] for u in order] != [u["index"] for u in ours]:
        problems.append("output order differs: ffmpeg %s, h265info %s" %
                        ([(u["index"], u["poc"]) for u in order][:40], [(u["index"], u["poc"]) for u in ours][:40]))
    if [u["output_index"] for u in ours] != list(range(len(ours))):
        problems.append("output indices are not 0..%d" % (len(ours) - 1))

    rate = summary["frame_rate"]
    if rate["source"] in ("SPS VUI", "VPS"):
        ours_rate = "%d/%d" % (rate["numerator"], rate["denominator"])
        if ours_rate != probed["r_frame_rate"]:
            problems.append("r_frame_rate: ffprobe %s, h265info %s" % (probed["r_frame_rate"], ours_rate))
    video = summary.get("video")
    if video is None:
        problems.append("no video description in the summary")
    else:
        expected = {
            "sample_aspect_ratio": probed.get("sample_aspect_ratio"),
            "color_range": probed.get("color_range"),
            "color_space": probed.get("color_space"),
            "color_transfer": probed.get("color_transfer"),
            "color_primaries": probed.get("color_primaries"),
            "chroma_location": probed.get("chroma_location"),
            "has_b_frames": probed.get("has_b_frames"),
        }
        for key, theirs in expected.items():
            mine = video.get(key)
            # ffprobe leaves out what the stream does not say; so does h265info.
            if theirs in (None, "unknown", "unspecified") and mine in (None, "unknown"):
                continue
            if key == "sample_aspect_ratio" and theirs in (None, "N/A", "0:1") and mine is None:
                continue
            if str(mine) != str(theirs):
                problems.append("%s: ffprobe %s, h265info %s" % (key, theirs, mine))
    for p in problems:
        print(stream + ": " + p)
    if not problems:
        print("%s: %d output pictures in ffmpeg's order, rate and VUI agree" % (stream, len(ours)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
