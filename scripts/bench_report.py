#!/usr/bin/env python3
"""Table and chart of an h265_bench run.

    bench_report.py --json benchmark.json --callgrind DIR [--machine TEXT]
                    --table table.md [--chart chart.png]

benchmark.json is Google Benchmark's JSON output of a run with repetitions
(the median aggregate is used); DIR holds the callgrind dumps of
`h265_bench --callgrind=N`, one per query, named "<query>/<library>/<calls>".
The chart needs matplotlib (Debian's python3-matplotlib).
"""
import argparse
import glob
import json
import re
import sys

QUERIES = [
    # name, description, target as a ratio of times to GStreamer's (None: none)
    ("scan_no_start_code", "scan 8 MiB, one start code near the end", 1 / 1.7),
    ("scan_every_1500", "scan 8 MiB, a start code every ~1500 bytes", None),
    ("nalu_type", "first NAL unit type, per access unit", 0.33),
    ("resolution", "picture size from the first access unit", 0.27),
    ("parameter_sets", "VPS+SPS+PPS present in the first access unit", 0.47),
    ("slice_type", "picture type, per access unit (SPS, PPS known)", 0.155),
]
LIBRARIES = ["h265headers", "gstreamer", "ffmpeg"]
CEILINGS = ["memchr", "byte_loop"]
LABELS = {"h265headers": "h265headers", "gstreamer": "GStreamer", "ffmpeg": "FFmpeg",
          "memchr": "memchr (absent byte)", "byte_loop": "literal byte loop"}
SCALE = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def load_medians(path):
    with open(path) as f:
        data = json.load(f)
    medians = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        name = b["run_name"]
        ns = b["real_time"] * SCALE[b["time_unit"]]
        # Google Benchmark divides the bytes by CPU time; the table is in
        # wall-clock time throughout, so the rate is recomputed from it.
        rate = b.get("bytes_per_second")
        if rate:
            rate = rate * b["cpu_time"] * SCALE[b["time_unit"]] / ns
        medians[name] = {"ns": ns, "bytes_per_second": rate}
    return data.get("context", {}), medians


def load_callgrind(directory):
    counts = {}
    for path in glob.glob(directory + "/callgrind.out*"):
        desc = total = None
        with open(path, errors="replace") as f:
            for line in f:
                if line.startswith("desc: Trigger: Client Request: "):
                    desc = line.split(": ", 3)[-1].strip()
                elif line.startswith(("summary:", "totals:")):
                    total = int(line.split()[1])
                    break
        if desc and total is not None:
            m = re.match(r"(.+)/(\d+)$", desc)
            if m:
                counts[m.group(1)] = total / int(m.group(2))
    return counts


def fmt_time(ns):
    if ns is None:
        return "–"
    if ns >= 1e6:
        return "%.3g ms" % (ns / 1e6)
    if ns >= 1e3:
        return "%.3g µs" % (ns / 1e3)
    return "%.3g ns" % ns


def fmt_cell(entry, scan):
    if entry is None:
        return "–"
    if scan and entry["bytes_per_second"]:
        return "%s (%.1f GB/s)" % (fmt_time(entry["ns"]), entry["bytes_per_second"] / 1e9)
    return fmt_time(entry["ns"])


def fmt_ir(value):
    if value is None:
        return "–"
    if value >= 1e6:
        return "%.3g M" % (value / 1e6)
    if value >= 1e4:
        return "%.3g k" % (value / 1e3)
    return "%.0f" % value


def table(medians, counts):
    out = []
    out.append("| query | h265headers | GStreamer | FFmpeg | memchr | literal byte loop "
               "| h265headers ÷ GStreamer | target | met | h265headers ÷ FFmpeg |")
    out.append("| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | :---: | ---: |")
    for name, desc, target in QUERIES:
        scan = name.startswith("scan_")
        cells = [medians.get(name + "/" + lib) for lib in LIBRARIES + CEILINGS]
        ours, gst, av = cells[0], cells[1], cells[2]
        ratio = ours["ns"] / gst["ns"] if ours and gst else None
        if ours and av:
            av_ratio = ours["ns"] / av["ns"]
            av_text = ("%.1f× FFmpeg's speed" % (1 / av_ratio)) if scan else "%.4f" % av_ratio
        else:
            av_text = "–"
        if ratio is None:
            ratio_text, target_text, met = "–", "–", "–"
        elif scan:
            ratio_text = "%.2f× GStreamer's speed" % (1 / ratio)
            target_text = "≥ %.2f×" % (1 / target) if target else "–"
            met = ("yes" if ratio <= target else "**no**") if target else "–"
        else:
            ratio_text = "%.3f" % ratio
            target_text = "≤ %.3g" % target if target else "–"
            met = ("yes" if ratio <= target else "**no**") if target else "–"
        out.append("| %s<br>%s | %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            name, desc, fmt_cell(cells[0], scan), fmt_cell(cells[1], scan), fmt_cell(cells[2], scan),
            fmt_cell(cells[3], scan) if scan else "", fmt_cell(cells[4], scan) if scan else "",
            ratio_text, target_text, met, av_text))
    out.append("")
    out.append("Instructions per query (callgrind, Ir):")
    out.append("")
    out.append("| query | h265headers | GStreamer | FFmpeg | memchr | literal byte loop |")
    out.append("| --- | ---: | ---: | ---: | ---: | ---: |")
    for name, _, _ in QUERIES:
        scan = name.startswith("scan_")
        row = [fmt_ir(counts.get(name + "/" + lib)) for lib in LIBRARIES]
        row += [fmt_ir(counts.get(name + "/" + lib)) if scan else "" for lib in CEILINGS]
        out.append("| %s | %s |" % (name, " | ".join(row)))
    return "\n".join(out) + "\n"


def chart(medians, path, title):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    colours = {"h265headers": "#1b9e77", "gstreamer": "#d95f02", "ffmpeg": "#7570b3"}
    fig, ax = plt.subplots(figsize=(10, 6.2), dpi=100)
    height = 0.26
    names = [q[0] for q in QUERIES]
    for k, lib in enumerate(LIBRARIES):
        ys, xs = [], []
        for i, name in enumerate(names):
            entry = medians.get(name + "/" + lib)
            if entry:
                ys.append(i + (k - 1) * height)
                xs.append(entry["ns"])
        bars = ax.barh(ys, xs, height=height, color=colours[lib], label=LABELS[lib])
        for y, x in zip(ys, xs):
            ax.text(x * 1.08, y, fmt_time(x), va="center", fontsize=8)
    ax.set_xscale("log")
    ax.set_yticks(range(len(names)))
    ax.set_yticklabels(["%s\n%s" % (q[0], q[1]) for q in QUERIES], fontsize=8)
    ax.invert_yaxis()
    ax.set_xlabel("median wall-clock time per query (log scale; shorter is faster)")
    ax.set_title(title, fontsize=10)
    xmax = max(e["ns"] for e in medians.values())
    ax.set_xlim(right=xmax * 6)
    ax.legend(loc="lower right", fontsize=9)
    ax.grid(axis="x", which="major", alpha=0.3)
    fig.tight_layout()
    fig.savefig(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--json", required=True)
    parser.add_argument("--callgrind", required=True)
    parser.add_argument("--machine", default="")
    parser.add_argument("--table", required=True)
    parser.add_argument("--chart")
    args = parser.parse_args()

    context, medians = load_medians(args.json)
    counts = load_callgrind(args.callgrind)
    text = table(medians, counts)
    if args.machine:
        text = args.machine.rstrip() + "\n\n" + text
    with open(args.table, "w") as f:
        f.write(text)
    sys.stdout.write(text)
    if args.chart:
        chart(medians, args.chart, "h265headers, GStreamer codecparsers and FFmpeg's parser on the same buffers")


if __name__ == "__main__":
    main()
