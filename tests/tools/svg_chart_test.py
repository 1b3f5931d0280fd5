#!/usr/bin/env python3
"""h265info --svg, checked against h265info's own --json per-NAL-unit sizes.

  svg_chart_test.py chart TOOL STREAM
      the text and JSON reports are the same with --svg; the chart is valid
      XML, the same bytes twice, and its bars are the picture sizes summed
      here from --json (one bar per picture, and aggregated columns on the
      stream repeated past 2048 pictures, each drawn in the type of its
      largest picture); the title's GOP lengths are those between the key
      pictures --json lists; --index boundaries fall at the pictures they
      name.
  svg_chart_test.py browser TOOL STREAM [SKIP_REASON]
      headless Chromium renders the chart without error; the type strip
      shows I, P and B in the proportion of the picture counts and a key
      picture's bar carries the key outline colour.
Exits 77 (skipped) when a needed program is missing or SKIP_REASON is given.
"""
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zlib

NS = "{http://www.w3.org/2000/svg}"
COLOURS = {"I": (0xD6, 0x27, 0x28), "P": (0x1F, 0x77, 0xB4), "B": (0x2C, 0xA0, 0x2C)}
KEY_OUTLINE = (0xFF, 0x7F, 0x0E)


def run(args, stdin=None):
    result = subprocess.run(args, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    if result.returncode != 0:
        sys.exit("FAIL: %s exited %d: %s" % (" ".join(args), result.returncode, result.stderr.decode()[-2000:]))
    return result.stdout


def pictures_from_json(tool, stream):
    """(first NAL offset, bytes, type letter, key) per picture: a picture is
    every slice segment from one with first_slice_segment_in_pic to the next."""
    import json
    doc = json.loads(run([tool, "--json", stream]))
    key_units = {k["index"] for k in doc["summary"]["key_pictures"]}
    pictures = []
    for unit in doc["nal_units"]:
        if unit["slice"] is None:
            continue
        if unit["slice"].get("first_slice_segment_in_pic"):
            pictures.append([unit["offset"], 0, unit["slice"]["picture_type"], unit["index"] in key_units])
        pictures[-1][1] += unit["size"]
    return pictures, doc["summary"]["pictures"]


def rects(root, kind):
    for rect in root.iter(NS + "rect"):
        classes = rect.get("class", "").split()
        if classes and classes[0] == kind:
            title = rect.find(NS + "title")
            yield classes[1], rect, title.text if title is not None else ""


def check_heights(bars, failures):
    """Heights proportional to bytes, to the 0.01 px the coordinates keep."""
    top = max(bars, key=lambda b: b[1])
    scale = top[0] / top[1]
    for height, size in bars:
        if abs(height - size * scale) > 0.011:
            failures.append("bar of %d bytes is %.2f px high, not %.2f" % (size, height, size * scale))


def chart(tool, stream, work):
    failures = []
    pictures, counts = pictures_from_json(tool, stream)
    svg = os.path.join(work, "a.svg")
    for mode in ([], ["--json"]):
        plain = run([tool] + mode + [stream])
        if run([tool] + mode + ["--svg", svg, stream]) != plain:
            failures.append("the report %s changes with --svg" % (mode or "text"))
    first = open(svg, "rb").read()
    with open(stream, "rb") as piped:
        run([tool, "--svg", svg, "-"], stdin=piped)
    if open(svg, "rb").read().replace(b"h265info: -<", b"h265info: %s<" % stream.encode()) != first:
        failures.append("the chart differs between two runs on the same bytes")

    os.remove(svg)
    if subprocess.run([tool, "--svg", svg, stream + ".missing"], stderr=subprocess.DEVNULL).returncode != 1 or \
            os.path.exists(svg):
        failures.append("a chart is left behind for an input that cannot be read")

    root = ET.fromstring(first)
    bars = list(rects(root, "bar"))
    if len(bars) != len(pictures) or sum(counts[t] for t in "IPB") != len(pictures):
        failures.append("%d bars, %d pictures, counts %s" % (len(bars), len(pictures), counts))
    for (kind, rect, title), (offset, size, letter, key) in zip(bars, pictures):
        if not title.endswith(" %s, %d bytes" % (letter, size)):
            failures.append("bar '%s' is not a %s picture of %d bytes" % (title, letter, size))
    check_heights([(float(r.get("height")), int(t.split()[-2])) for _, r, t in bars], failures)
    outlines = [r for r in root.iter(NS + "rect") if r.get("class") == "key"]
    if len(outlines) - 1 != sum(p[3] for p in pictures):  # one is the legend's
        failures.append("%d key outlines for %d key pictures" % (len(outlines) - 1, sum(p[3] for p in pictures)))
    # GOP lengths: pictures from one key picture to the next in decoding
    # order; of an even number of them the lower middle one is the median.
    keys = [n for n, p in enumerate(pictures) if p[3]]
    gops = [b - a for a, b in zip(keys, keys[1:])]
    gop_line = "GOP length: fewer than two key pictures" if not gops else \
        "GOP length min/median/max: %d/%d/%d pictures" % (min(gops), statistics.median_low(gops), max(gops))
    if not any(t.text.endswith(" | " + gop_line) for t in root.iter(NS + "text") if t.text):
        failures.append("no title line ends with '%s'" % gop_line)

    # The frame rate of the time axis and the bitrate window: ffprobe's, from
    # the stream's own timing, named in the title and the legend.
    if shutil.which("ffprobe"):
        rate = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                               "stream=r_frame_rate", "-of", "csv=p=0", stream],
                              capture_output=True, text=True, check=True).stdout.strip()
        numerator, denominator = (int(x) for x in rate.split("/"))
        texts = [t.text for t in root.iter(NS + "text") if t.text]
        if not any(re.search(r" \| frame rate %s \((SPS VUI|VPS)\)$" % rate, t) for t in texts):
            failures.append("no title line ends with the frame rate %s from the stream" % rate)
        window = "bitrate, 1 s window at %s fps" % ("%.2f" % (numerator / denominator)).rstrip("0").rstrip(".")
        if window not in texts:
            failures.append("no legend '%s'" % window)

    # Three copies of the stream, split by an index at each copy: two rules,
    # at the first picture of the second and third copy.
    data = open(stream, "rb").read()
    triple = os.path.join(work, "triple.h265")
    open(triple, "wb").write(data * 3)
    index = os.path.join(work, "index.csv")
    with open(index, "w") as f:
        f.write("file,first_byte_offset,bytes,pictures,i_pictures,p_pictures,b_pictures,coded_width,coded_height,"
                "display_width,display_height,key_nal_type,parameter_sets_inserted,rasl_dropped\n")
        for copy in range(3):
            f.write("seg-%05d.265,%d,%d,%d,0,0,0,0,0,0,0,19,no,0\n" % (copy, copy * len(data), len(data), len(pictures)))
    run([tool, "--svg", svg, "--index", index, triple])
    root = ET.parse(svg).getroot()
    left = {int(t.split()[0][1:]): float(r.get("x")) - float(r.get("width")) * 0.125 for _, r, t in rects(root, "bar")}
    rules = sorted(float(l.get("x1")) for l in root.iter(NS + "line")
                   if l.get("class") == "segment" and float(l.get("y2")) - float(l.get("y1")) > 100)
    expected = [left[len(pictures)], left[2 * len(pictures)]]
    if len(rules) != 2 or any(abs(a - b) > 0.02 for a, b in zip(rules, expected)):
        failures.append("segment rules at %s, expected %s" % (rules, expected))

    # Past 2048 pictures: columns of 2^k pictures, each bar the largest and
    # its mean, and every picture in exactly one column.
    copies = 2049 // len(pictures) + 1
    long_stream = os.path.join(work, "long.h265")
    open(long_stream, "wb").write(data * copies)
    run([tool, "--svg", svg, long_stream])
    sizes = [p[1] for p in pictures] * copies
    letters = [p[2] for p in pictures] * copies
    columns = list(rects(ET.parse(svg).getroot(), "max"))
    if not 1024 < len(columns) <= 2048:
        failures.append("%d columns for %d pictures" % (len(columns), len(sizes)))
    heights, covered = [], 0
    for kind, rect, title in columns:
        a, b, n, biggest, mean = re.match(r"#(\d+)-(\d+) \((\d+) pictures\): max (\d+) bytes, mean ([\d.]+) bytes",
                                          title).groups()
        part = sizes[int(a):int(b) + 1]
        if int(a) != covered or len(part) != int(n) or int(biggest) != max(part) or \
                abs(float(mean) - sum(part) / len(part)) > 0.006:
            failures.append("column '%s' does not hold pictures %d.. (max %d)" % (title, covered, max(part)))
        largest = part.index(max(part)) + int(a)  # the first of equal ones
        if kind != letters[largest]:
            failures.append("column '%s' is drawn %s, its largest picture is %s" % (title, kind, letters[largest]))
        covered = int(b) + 1
        heights.append((float(rect.get("height")), int(biggest)))
    if covered != len(sizes):
        failures.append("the columns cover %d of %d pictures" % (covered, len(sizes)))
    check_heights(heights, failures)
    return failures


def decode_png(path):
    """(width, height, rows of RGB tuples) of an 8-bit, non-interlaced PNG."""
    data = open(path, "rb").read()
    pos, chunks, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            chunks += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    channels = {2: 3, 6: 4}[colour]
    assert depth == 8 and interlace == 0, header
    raw, stride, rows, previous = zlib.decompress(chunks), width * channels, [], bytearray(width * channels)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x:x + 3]) for x in range(0, stride, channels)])
        previous = line
    return width, height, rows


def browser(tool, stream, work):
    chromium = shutil.which("chromium")
    if not chromium:
        print("SKIPPED: chromium is not installed")
        sys.exit(77)
    failures = []
    pictures, counts = pictures_from_json(tool, stream)
    svg, png = os.path.join(work, "chart.svg"), os.path.join(work, "chart.png")
    run([tool, "--svg", svg, stream])
    root = ET.parse(svg).getroot()
    width, height = int(float(root.get("width"))), int(float(root.get("height")))
    common = [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
              "--disable-background-networking", "--disable-component-update", "--disable-sync",
              "--user-data-dir=" + tempfile.mkdtemp(dir=work)]
    dom = run(common + ["--dump-dom", "file://" + svg]).decode()
    if "parsererror" in dom or "<svg" not in dom:
        failures.append("the browser did not read the SVG: %s" % dom[:300])
    run(common + ["--screenshot=" + png, "--window-size=%d,%d" % (width, height), "file://" + svg])
    w, h, rows = decode_png(png)
    if (w, h) != (width, height):
        failures.append("screenshot is %dx%d, not %dx%d" % (w, h, width, height))

    # The strip has one cell per picture, all as wide: with crisp edges each
    # cell is its width rounded, so a type's pixels are off by at most one
    # per picture of that type (and one for the row's end).
    strip = [r for r in root.iter(NS + "rect") if r.get("class", "").startswith("strip ")]
    cell = float(strip[0].get("width"))
    row = rows[int(float(strip[0].get("y")) + float(strip[0].get("height")) / 2)]
    for letter, colour in COLOURS.items():
        seen = sum(1 for pixel in row if pixel == colour)
        if abs(seen - counts[letter] * cell) > counts[letter] + 1:
            failures.append("%d %s pixels in the strip for %d pictures of %.2f px" % (seen, letter, counts[letter], cell))

    # The first key picture: its bar's top edge carries the outline colour.
    key = [i for i, p in enumerate(pictures) if p[3]][0]
    bar = [r for _, r, t in rects(root, "bar") if t.startswith("#%d " % key)][0]
    x = int(float(bar.get("x")) + float(bar.get("width")) / 2)
    top = float(bar.get("y"))
    if KEY_OUTLINE not in [rows[y][x] for y in range(int(top) - 3, int(top) + 2)]:
        failures.append("no key outline colour at the top of bar #%d (x %d, y %.1f)" % (key, x, top))
    return failures


def main():
    mode, tool, stream = sys.argv[1:4]
    if len(sys.argv) > 4 and sys.argv[4]:
        print("SKIPPED: " + sys.argv[4])
        sys.exit(77)
    with tempfile.TemporaryDirectory() as work:
        failures = (chart if mode == "chart" else browser)(tool, os.path.abspath(stream), work)
    for failure in failures:
        print("FAIL: " + failure)
    print("ok" if not failures else "%d failures" % len(failures))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
