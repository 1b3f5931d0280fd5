#!/usr/bin/env python3
"""A camera recorded by h265split, or by ffmpeg, its peer, side by side:
each case serves a stream over RTSP (rtsp_server.py), through the damaging
proxy (rtsp_proxy.py) or not, has the client record it, and prints one JSON
line of what came of it.

  record_camera.py [--client h265split|ffmpeg] [--h265split PATH] [--file F]
                   [--work DIR] [--rate R] [--loop N] [--check] [CASE...]

h265split records with `--format fmp4 --seconds 1 --keep-rasl --json` and is
stopped with SIGINT once the server has sent everything (or, with --loop 0
and --seconds-limit, after that many seconds); ffmpeg with `-c copy -f hls`
(fMP4 segments of 1 s). Both recordings are decoded by ffmpeg afterwards.

CASE (all by default): the keys of CASES below. The line holds: served (pictures the server sent),
recorded (frames decoded), kept (served pictures the recording has, by MD5),
intact / damaged / stray / repeated / missing (camera.match: frames that
are the served picture at their presentation time, and the others),
decode_errors (ffmpeg's error lines decoding the recording), exit and client_errors
(while recording), eos (the server sent everything before
the client ended), rss_kib (the client's peak RSS while recording, from GNU time),
seconds, and the proxy's counts; for h265split also the discontinuities
of its playlist, its losses from index.json and whether its messages hold
the password. --check exits 1 unless, in every case: for ffmpeg, every
served picture was recorded (kept) and the recording decodes without an
error; for h265split, the recording decodes with -xerror, segment by
segment too, without an error, every frame is a picture of the stream
(none `foreign`), the password shows nowhere, and: in a case without
faults, every served picture is there, at its RTP time (intact); with
faults, the pictures kept of each GOP are its first ones in decoding order
(RASL pictures aside), and a dropped connection is followed by a
discontinuity. Exits 77 without
GStreamer's RTSP server.
"""
import argparse
import glob
import json
import re
import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import camera  # noqa: E402

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data")
USER, PASSWORD = "cam", "s3cret"

# case: (server options, proxy options or None without the proxy, RTSP
# transport, credentials in the URL)
CASES = {
    "direct": ([], None, "tcp", False),
    "sdp_only": (["--sdp-only"], None, "tcp", False),
    "basic": (["--user", USER, "--password", PASSWORD, "--auth", "basic"], None, "tcp", True),
    "digest": (["--user", USER, "--password", PASSWORD, "--auth", "digest"], None, "tcp", True),
    "udp": (["--protocols", "udp"], None, "udp", False),
    "proxy": ([], [], "tcp", False),
    "loss": ([], ["--loss", "0.02"], "tcp", False),
    "reorder": ([], ["--reorder", "0.05"], "tcp", False),
    "duplicate": ([], ["--duplicate", "0.05"], "tcp", False),
    "stall": ([], ["--stall", "2", "--stall-after", "40"], "tcp", False),
    "garbage": ([], ["--garbage-every", "50"], "tcp", False),
    "drop": ([], ["--drop-after", "60"], "tcp", False),
    # The 32-bit RTP timestamp wraps to 0 at the 1080p stream's CRA picture
    # of frame 48 (presented 2 frames after its decoding time): the RASL
    # pictures sent after it have timestamps from before the wrap.
    "wrap": (["--timestamp-offset", str((1 << 32) - 50 * 3600)], None, "tcp", False),
    # The faults of a bad network at once.
    "lossy": ([], ["--loss", "0.01", "--reorder", "0.02", "--duplicate", "0.01", "--garbage-every", "40"], "tcp",
              False),
}
# The camera's RTP clock jumps ahead by an hour mid-stream (at a packet of
# the 1080p stream's second GOP).
CASES["jump"] = ([], ["--jump", "3600", "--jump-after", "90"], "tcp", False)
# A wrong password: h265split ends at once (exit 1), without showing it.
CASES["refused"] = (["--user", USER, "--password", PASSWORD, "--auth", "digest"], None, "tcp", "wrong")
# The camera's sender reports say an hour less than this machine's clock:
# the recording's times stay this machine's, and that is said.
CASES["clock_off"] = ([], ["--sr-shift", "-3600"], "tcp", False)
# The camera's video stops while its RTCP goes on: the session is taken for
# dead and opened again.
CASES["video_stops"] = ([], ["--video-stop-after", "60"], "tcp", False)
# The camera's RTP timestamps stand still from a packet of the second pass
# on: the pictures take their arrival times.
CASES["frozen"] = ([], ["--freeze-after", "200"], "tcp", False)
# The camera goes away for 12 s (a reboot): it is tried again at most 5 s
# apart, and said to go and to come back with how long it was away.
CASES["away"] = ([], ["--drop-after", "60", "--down", "12"], "tcp", False)
# A loss of 0.3 % with --keep-damaged: the pictures after each loss are kept.
CASES["keep_damaged"] = ([], ["--loss", "0.003", "--seed", "2"], "tcp", False)
# h265split's options and passes over the file beyond the usual, by case.
EXTRA = {"keep_damaged": (["--keep-damaged"], 8), "video_stops": ([], 6), "clock_off": ([], 4), "frozen": ([], 4),
         "away": ([], 6)}
# Cases whose stream arrives whole: every served picture must be recorded.
WHOLE = {"direct", "sdp_only", "basic", "digest", "udp", "proxy", "wrap", "stall", "clock_off"}


def record(args, name, work, md5s):
    server_options, proxy_options, transport, credentials = CASES[name]
    log, report, rss_file = (os.path.join(work, n) for n in ("server.log", "proxy.json", "client.rss"))
    out = os.path.join(work, "out")
    os.makedirs(out)
    extra_options, loops = EXTRA.get(name, ([], args.loop))
    options = server_options + ["--rate", str(args.rate), "--loop", str(loops)]
    line = {"case": name, "client": args.client, "transport": transport}
    with camera.Server(args.file, log, options) as server:
        proxy = camera.Proxy(server.port, proxy_options, report) if proxy_options is not None else None
        source = proxy.__enter__() if proxy else server
        try:
            url = source.url(USER, PASSWORD if credentials is True else "w" + PASSWORD) if credentials \
                else source.url()
            if args.client == "h265split":
                command = camera.timer(rss_file) + [args.h265split, "--format", "fmp4", "--seconds", "1",
                                                    "--keep-rasl", "--json", "--rtsp-transport", transport] + \
                    extra_options + [url, out]
            else:
                command = camera.timer(rss_file) + [
                    "ffmpeg", "-nostdin", "-v", "error", "-rtsp_transport", transport, "-i", url, "-map", "0:v:0",
                    "-c", "copy", "-f", "hls", "-hls_time", "1", "-hls_list_size", "0", "-hls_segment_type", "fmp4",
                    "-hls_segment_filename", os.path.join(out, "seg-%05d.m4s"), os.path.join(out, "index.m3u8")]
            start = time.monotonic()
            client = subprocess.Popen(command, stderr=subprocess.PIPE, text=True, start_new_session=True)
            # Until ffmpeg ends or the server has sent everything; then a
            # grace period before ffmpeg is told to stop (SIGINT: it closes
            # its files).
            limit = start + (args.seconds_limit or 30 + 4 * len(md5s) * max(loops, 1) / 25 / args.rate)
            eos = False
            while client.poll() is None and not eos and time.monotonic() < limit:
                eos = server.wait_eos(0.5)
            # What ps shows of the recorder (GNU time's child, when timed).
            shown = b""
            for pid in [str(client.pid)] + camera.children(client.pid):
                try:
                    shown += open("/proc/%s/cmdline" % pid, "rb").read() if pid != str(client.pid) or \
                        not camera.timer(rss_file) else b""
                except OSError:
                    pass
            try:
                # h265split records until it is stopped; ffmpeg ends by itself.
                client.wait(timeout=2 if args.client == "h265split" else 5)
            except subprocess.TimeoutExpired:
                os.killpg(client.pid, signal.SIGINT)
                try:
                    client.wait(timeout=15)
                except subprocess.TimeoutExpired:
                    os.killpg(client.pid, signal.SIGKILL)
                    client.wait()
            err = client.stderr.read()
            open(os.path.join(work, "client.err"), "w").write(err)
            line.update(seconds=round(time.monotonic() - start, 2), exit=client.returncode,
                        client_errors=len([l for l in err.splitlines() if l.strip()]), eos=eos)
            if args.client == "h265split":
                line["message"] = err.strip().splitlines()[-1] if err.strip() else ""
                line["password_shown"] = PASSWORD in err or PASSWORD.encode() in shown or any(
                    PASSWORD.encode() in open(f, "rb").read() for f in glob.glob(os.path.join(out, "*")))
        finally:
            if proxy:
                proxy.__exit__(None, None, None)
    if proxy:
        line["proxy"] = {k: v for k, v in proxy.report().items() if not k.endswith("_seq")}
    line["rss_kib"] = camera.peak_rss(rss_file)
    pictures = camera.served_pictures(log)
    if args.client == "h265split":
        playlist = os.path.join(out, "index.m3u8")
        # Damaged pictures kept decode with errors, concealed, to the end.
        strict = name != "keep_damaged"
        frames, errors = camera.decoded_frames(playlist, xerror=strict) if os.path.exists(playlist) else ([], ["none"])
        if not strict:
            errors = [e for e in errors if e.startswith("ffmpeg exited")]
        # Each segment alone, after its init segment, decodes too.
        for segment in sorted(glob.glob(os.path.join(out, "seg-*.m4s"))) if strict else []:
            joined = os.path.join(work, "joined.mp4")
            with open(joined, "wb") as f:
                f.write(open(os.path.join(out, "init.mp4"), "rb").read() + open(segment, "rb").read())
            errors += camera.decoded_frames(joined, xerror=True)[1]
        line["discontinuities"] = open(playlist).read().count("#EXT-X-DISCONTINUITY") if frames else 0
        durations = [float(l[8:].split(",")[0]) for l in open(playlist) if l.startswith("#EXTINF:")] if frames else []
        line["longest_segment"] = max(durations or [0])
        line["shortest_segment"] = min(durations[:-1] or [0])
        entries = json.load(open(os.path.join(out, "index.json"))) if frames else []
        line["losses"] = {k: entries[-1][k] for k in ("lost_packets", "dropped_access_units", "reconnects")} \
            if entries else {}
        line["damaged_pictures"] = sum(e.get("damaged") or 0 for e in entries)
        line["utc_off"] = utc_off(playlist, out) if frames else None
        back = re.search(r"again after ([\d.]+) s away \((\d+) attempts? failed\)", err)
        line["away_said"] = [float(back.group(1)), int(back.group(2))] if back and "at most" in err else None
        line["standing_said"] = "the RTP timestamps do not advance" in err
        line["clock_said"] = re.search(r"the camera's clock is 3[56]\d\d\.\d+ s behind this machine's", err) is not None
        line["stamped"] = all(camera.STAMPED.match(l) for l in err.splitlines() if l.strip())
        line["gop_prefixes"] = gop_prefixes(frames, pictures, md5s)
        line["foreign"] = len([md5 for _, md5 in frames if md5 not in set(md5s)])
    else:
        frames, errors = camera.decoded_frames(os.path.join(out, "index.m3u8"))
    line.update(served=len(pictures), recorded=len(frames), decode_errors=len(errors))
    line.update(camera.match(frames, pictures, md5s))
    return line


def utc_off(playlist, out):
    """The most a segment's #EXT-X-PROGRAM-DATE-TIME plus its #EXTINF lies
    from the time its file was last written, in seconds: the last segment
    aside (closed when the recorder was stopped), and the one before a
    discontinuity (closed when the break was seen)."""
    entries, utc, extinf, gap = [], None, 0.0, False
    for l in open(playlist).read().splitlines():
        if l.startswith("#EXT-X-PROGRAM-DATE-TIME:"):
            utc = camera.parse_utc(l.split(":", 1)[1])
        elif l.startswith("#EXTINF:"):
            extinf = float(l[8:].split(",")[0])
        elif l == "#EXT-X-DISCONTINUITY":
            gap = True
            if entries:
                entries[-1][3] = True
        elif l and not l.startswith("#"):
            entries.append([l, utc, extinf, False])
            utc, gap = None, False
    worst = 0.0
    for uri, start, seconds, before_break in entries[:-1]:
        if start is None:
            return float("inf")
        if not before_break:
            worst = max(worst, abs(os.path.getmtime(os.path.join(out, uri)) - (start + seconds)))
    return round(worst, 3)


def gop_prefixes(frames, pictures, md5s):
    """Whether the served pictures the recording holds are, in each GOP (an
    IRAP picture and the pictures after it in decoding order), its first
    ones in decoding order, RASL pictures aside: what is left when a loss
    drops everything up to the next IRAP picture."""
    times = sorted(p["ts"] for p in pictures)
    md5_at = {ts: md5s[i % len(md5s)] for i, ts in enumerate(times)}
    held = set(md5 for _, md5 in frames)
    gap = False
    for picture in pictures:
        types = set(abs(t) for t in picture["nal"]) & set(range(0, 22))
        if types & set(range(16, 22)):
            gap = False
        elif types & {8, 9}:
            continue
        present = md5_at[picture["ts"]] in held
        if present and gap:
            return False
        gap = gap or not present
    return True


def passed(args, name, line):
    if name == "refused":
        return line["exit"] != 0 if args.client == "ffmpeg" else \
            line["exit"] == 1 and not line["password_shown"] and "not accepted" in line["message"]
    if args.client == "ffmpeg":
        return line["kept"] == line["served"] and not line["decode_errors"]
    # Damaged pictures kept are shown concealed: no picture of the stream.
    ok = not line["decode_errors"] and not line["password_shown"] and line["recorded"] > 0 and \
        (not line["foreign"] or name == "keep_damaged") and line["stamped"]
    # Each segment's time is this machine's when it was written; a stall
    # holds its segments back beyond that.
    if name != "stall":
        ok = ok and line["utc_off"] is not None and line["utc_off"] <= 1.0
    if name == "clock_off":
        ok = ok and line["clock_said"]
    if name == "frozen": # segments of about their second, one after the other
        return ok and line["standing_said"] and 0.5 < line["shortest_segment"] <= line["longest_segment"] < 3
    if name == "away": # back within 5 s of the camera's return, and said
        return ok and line["away_said"] is not None and 12 <= line["away_said"][0] <= 12 + 5 + 2 and \
            line["gop_prefixes"]
    if name == "video_stops":
        return ok and line["losses"].get("reconnects", 0) >= 1 and line["gop_prefixes"]
    if name == "keep_damaged":
        return ok and line["recorded"] >= 0.99 * line["served"] and line["damaged_pictures"] >= 1
    if name in WHOLE:
        return ok and line["intact"] == line["served"] == line["recorded"]
    # Across a discontinuity ffmpeg's HLS reader shifts each segment's times
    # by its own composition offset: pictures are checked by content there.
    if name == "drop":
        ok = ok and line["discontinuities"] >= 1 and line["losses"].get("reconnects", 0) >= 1
    if name == "jump": # a segment does not take the hour in
        ok = ok and line["discontinuities"] >= 1 and line["longest_segment"] < 5
    return ok and line["gop_prefixes"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("cases", nargs="*", metavar="CASE")
    parser.add_argument("--client", choices=("h265split", "ffmpeg"), default="h265split")
    parser.add_argument("--h265split", default="h265split")
    parser.add_argument("--seconds-limit", type=float, default=0)
    parser.add_argument("--file", default=os.path.join(DATA, "x265_1920x1080_open_gop_cra.hevc"))
    parser.add_argument("--work", default=os.path.join(os.environ.get("TMPDIR", "/tmp"), "record_camera"))
    parser.add_argument("--rate", type=float, default=1.0)
    parser.add_argument("--loop", type=int, default=1)
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    unknown = [c for c in args.cases if c not in CASES]
    if unknown:
        parser.error("unknown case %s (%s)" % (", ".join(unknown), ", ".join(CASES)))
    if not shutil.which("ffmpeg"):
        print("SKIPPED: ffmpeg is not installed")
        sys.exit(77)
    failed, md5s = [], camera.source_md5s(args.file)
    for name in args.cases or list(CASES):
        work = os.path.join(args.work, name)
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        try:
            line = record(args, name, work, md5s)
        except camera.Unavailable as e:
            print("SKIPPED: %s" % e)
            sys.exit(77)
        print(json.dumps(line), flush=True)
        if not passed(args, name, line):
            failed.append(name)
    if args.check and failed:
        print("FAILED: %s" % ", ".join(failed))
        sys.exit(1)


if __name__ == "__main__":
    main()
