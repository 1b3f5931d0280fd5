#!/usr/bin/env python3
"""h265split's peak memory while it records a camera for a long time: the
loopback server (rtsp_server.py) serves a 1080p stream of about 8 Mbit/s
over and over, faster than real time, and h265split records it with
`--format fmp4 --seconds 2 --keep-bytes 200M` until it is stopped with
SIGINT; then the recording's live playlist and the chapters kept are
decoded with ffmpeg -xerror.

  camera-memory.py (--h265split PATH | --arm BUILD) [--seconds N] [--rate R]
                   [--stream F] [--work DIR] [--keep-bytes SIZE]

--seconds is the wall time of the recording (900 by default: an hour of the
stream at --rate 4). --arm BUILD runs BUILD/tools/h265split, a build for
arm-linux-gnueabihf, under qemu-arm (Cortex-A15), the server staying on
the host. Without --stream, the stream is made once under --work with
FFmpeg's testsrc2 and libx265 (1920x1080, 25 frames a second, 20 s,
8 Mbit/s, a key picture every 50 with 3 B pictures).

Prints the figures as they come and, at the end, one JSON line:
  rss_kib        the recorder's peak RSS from GNU time (under qemu-arm, the
                 emulator's with the program's)
  hwm_kib        VmHWM of the recorder's process, read just before SIGINT
  rss_samples    [[wall seconds, RSS KiB], ...] once a minute, to tell a
                 steady peak from a growing one
  guest_rss_kib  under qemu-arm: the largest RSS of the guest's own
                 mappings (those in its 32-bit address space), sampled every
                 second; the emulator's code, heap and translated code are
                 left out
  idle_rss_kib   under qemu-arm: GNU time's peak RSS of `h265split --help`,
                 the emulator with the program loaded and nothing recorded
  recording_seconds  the recording's time at its end (its last segment's end
                 in index.csv or the newest chapter's index): RTP time, which
                 runs --rate times as fast as the stream's own, so that each
                 2 s segment holds --rate times 2 s of the stream
  stream_seconds the stream's own time recorded (recording_seconds times
                 --rate), segments (how many were written), kept_bytes (what
                 OUTDIR holds at the end),
                 decode_errors (ffmpeg's error lines on live.m3u8 and the
                 chapters' playlists) and exit (h265split's status)
Exits 1 when h265split fails or the recording does not decode, 77 without
GStreamer's RTSP server.
"""
import argparse
import csv
import glob
import json
import os
import signal
import subprocess
import sys
import time

# The camera tests' rig: the loopback server and its helpers.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "tools", "camera"))
import camera  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
SYSROOT = "/usr/arm-linux-gnueabihf"


def make_stream(path):
    if os.path.exists(path):
        return
    partial = path + ".partial.hevc"
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                    "testsrc2=size=1920x1080:rate=25", "-t", "20", "-c:v", "libx265", "-preset", "veryfast",
                    "-b:v", "8M", "-x265-params", "keyint=50:bframes=3:log-level=error", "-f", "hevc", partial],
                   check=True)
    os.rename(partial, path)


def status_kib(pid, field):
    try:
        for line in open("/proc/%d/status" % pid):
            if line.startswith(field + ":"):
                return int(line.split()[1])
    except OSError:
        pass
    return None


def guest_rss_kib(pid):
    """The RSS of a qemu-arm process's mappings below 4 GiB: where a 32-bit
    guest's memory lies when the emulator maps it at guest address 0, as
    it does on a 64-bit host (the emulator's own mappings lie far above).
    None when no mapping of the guest is there."""
    total, inside, guest = 0, False, False
    try:
        for line in open("/proc/%d/smaps" % pid):
            fields = line.split()
            if "-" in fields[0] and len(fields) >= 5 and ":" not in fields[0]:
                inside = int(fields[0].split("-")[0], 16) < 1 << 32
                guest = guest or (inside and len(fields) >= 6 and fields[5].endswith("/h265split"))
            elif inside and fields[0] == "Rss:":
                total += int(fields[1])
    except (OSError, ValueError, IndexError):
        return None
    return total if guest else None


def recording_seconds(out):
    """The end of the last segment of the newest index (index.csv, or the
    newest chapter's index-NNNNN.csv), in seconds of the recording, and the
    number of that segment."""
    indexes = sorted(glob.glob(os.path.join(out, "index-*.csv"))) or glob.glob(os.path.join(out, "index.csv"))
    if not indexes:
        return None, None
    rows = list(csv.DictReader(open(indexes[-1])))
    if not rows:
        return None, None
    last = rows[-1]
    number = int(os.path.basename(last["file"]).split("-")[1].split(".")[0])
    return round(float(last["start_time"]) + float(last["duration"]), 2), number


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    which = parser.add_mutually_exclusive_group(required=True)
    which.add_argument("--h265split")
    which.add_argument("--arm", metavar="BUILD")
    parser.add_argument("--seconds", type=float, default=900)
    parser.add_argument("--rate", type=float, default=4)
    parser.add_argument("--stream")
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "camera-memory"))
    parser.add_argument("--keep-bytes", default="200M")
    args = parser.parse_args()

    os.makedirs(args.work, exist_ok=True)
    stream = args.stream or os.path.join(args.work, "testsrc2_1080p25_8M.hevc")
    make_stream(stream)
    if args.arm:
        build = os.path.abspath(args.arm)
        program = ["qemu-arm", "-cpu", "cortex-a15", "-L", SYSROOT, "-E", "LD_LIBRARY_PATH=" + build,
                   os.path.join(build, "tools", "h265split")]
    else:
        program = [os.path.abspath(args.h265split)]
    if not camera.timer("x"):
        sys.exit("camera-memory: needs GNU time (/usr/bin/time)")
    result = {"recorder": " ".join(program), "stream": os.path.basename(stream),
              "stream_bytes": os.path.getsize(stream), "rate": args.rate, "wall_seconds": args.seconds}

    rss_file = os.path.join(args.work, "recorder.rss")
    if args.arm:
        subprocess.run(camera.timer(rss_file) + program + ["--help"], stdout=subprocess.DEVNULL, check=True)
        result["idle_rss_kib"] = camera.peak_rss(rss_file)

    out = os.path.join(args.work, "out")
    subprocess.run(["rm", "-rf", out], check=True)
    try:
        server = camera.Server(stream, options=["--loop", "0", "--rate", str(args.rate)]).__enter__()
    except camera.Unavailable as e:
        print("camera-memory: skipped: %s" % e, file=sys.stderr)
        return 77
    try:
        command = camera.timer(rss_file) + program + ["--format", "fmp4", "--seconds", "2", "--keep-bytes",
                                                      args.keep_bytes, server.url(), out]
        print("camera-memory: %s" % " ".join(command), file=sys.stderr)
        start = time.monotonic()
        recorder = subprocess.Popen(command, stderr=subprocess.PIPE, text=True, start_new_session=True)
        pid, guest, hwm, samples, next_sample = None, None, None, [], 0.0
        while recorder.poll() is None and time.monotonic() - start < args.seconds:
            time.sleep(1)
            if pid is None:
                children = camera.children(recorder.pid)
                pid = int(children[0]) if children else None
                continue
            now = time.monotonic() - start
            hwm = status_kib(pid, "VmHWM") or hwm
            if args.arm:
                rss = guest_rss_kib(pid)
                guest = max(guest or 0, rss or 0) or guest
            if now >= next_sample:
                samples.append([round(now), status_kib(pid, "VmRSS")])
                print("camera-memory: %4.0f s: RSS %s KiB, VmHWM %s KiB%s" % (
                    now, samples[-1][1], hwm, ", guest %s KiB" % rss if args.arm else ""), file=sys.stderr)
                next_sample += 60
        if recorder.poll() is None:
            os.killpg(recorder.pid, signal.SIGINT)
        try:
            recorder.wait(timeout=60)
        except subprocess.TimeoutExpired:
            os.killpg(recorder.pid, signal.SIGKILL)
            recorder.wait()
        err = recorder.stderr.read()
    finally:
        server.__exit__(None, None, None)
    open(os.path.join(args.work, "recorder.err"), "w").write(err)

    result.update(exit=recorder.returncode, rss_kib=camera.peak_rss(rss_file), hwm_kib=hwm, rss_samples=samples)
    if args.arm:
        result["guest_rss_kib"] = guest
    result["recording_seconds"], last_segment = recording_seconds(out)
    result["stream_seconds"] = round(result["recording_seconds"] * args.rate) if result["recording_seconds"] else None
    result["segments"] = last_segment + 1 if last_segment is not None else 0
    result["kept_bytes"] = sum(os.path.getsize(f) for f in glob.glob(os.path.join(out, "*")) if os.path.isfile(f))
    errors = []
    for playlist in [os.path.join(out, "live.m3u8")] + sorted(glob.glob(os.path.join(out, "index-*.m3u8"))):
        decoded = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i", playlist, "-f", "null", "-"],
                                 capture_output=True, text=True)
        errors += [l for l in decoded.stderr.splitlines() if l.strip()]
        if decoded.returncode != 0:
            errors.append("ffmpeg exited %d on %s" % (decoded.returncode, os.path.basename(playlist)))
    result["decode_errors"] = len(errors)
    result["last_message"] = err.strip().splitlines()[-1] if err.strip() else ""
    print(json.dumps(result))
    for line in errors[:5]:
        print("camera-memory: %s" % line, file=sys.stderr)
    return 0 if recorder.returncode == 0 and not errors else 1


if __name__ == "__main__":
    sys.exit(main())
