#!/usr/bin/env python3
"""ffmpeg as the camera's client, the peer the camera input is measured
against: each case serves a stream over RTSP (rtsp_server.py), through the
damaging proxy (rtsp_proxy.py) or not, has ffmpeg record it, and prints one
JSON line of what came of it.

  compare_ffmpeg.py [--file F] [--work DIR] [--rate R] [--loop N]
                    [--output hls|decode] [--hls-type mpegts|fmp4] [--check] [CASE...]

CASE (all by default): direct, sdp_only, basic, digest, udp, proxy, loss,
reorder, duplicate, stall, garbage, drop, wrap. --output hls (the default) records
with `-c copy -f hls` and decodes the playlist afterwards; --output decode
has ffmpeg decode the stream as it comes (`-f framemd5`, the null muxer with
an MD5 per frame). The line holds: served (pictures the server sent),
recorded (frames decoded), kept (served pictures the recording has, by MD5),
intact / damaged / stray / repeated / missing (camera.match: frames that
are the served picture at their presentation time, and the others),
decode_errors (ffmpeg's error lines decoding the recording; with --output
decode, those while decoding the stream), ffmpeg_exit and ffmpeg_errors
(while recording), eos (the server sent everything before
ffmpeg ended), rss_kib (ffmpeg's peak RSS while recording, from GNU time),
seconds, and the proxy's counts. --check exits 1 unless, in every case,
every served picture was recorded (kept) and the recording decodes without
an error. Exits 77 without GStreamer's RTSP server.
"""
import argparse
import json
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
}


def record(args, name, work, md5s):
    server_options, proxy_options, transport, credentials = CASES[name]
    log, report, rss_file = (os.path.join(work, n) for n in ("server.log", "proxy.json", "ffmpeg.rss"))
    out = os.path.join(work, "out")
    os.makedirs(out)
    options = server_options + ["--rate", str(args.rate), "--loop", str(args.loop)]
    line = {"case": name, "client": "ffmpeg", "transport": transport, "output": args.output}
    with camera.Server(args.file, log, options) as server:
        proxy = camera.Proxy(server.port, proxy_options, report) if proxy_options is not None else None
        source = proxy.__enter__() if proxy else server
        try:
            url = source.url(USER, PASSWORD) if credentials else source.url()
            if args.output == "hls":
                ext = "m4s" if args.hls_type == "fmp4" else "ts"
                output = ["-c", "copy", "-f", "hls", "-hls_time", "1", "-hls_list_size", "0",
                          "-hls_segment_type", args.hls_type, "-hls_segment_filename",
                          os.path.join(out, "seg-%05d." + ext), os.path.join(out, "index.m3u8")]
            else:
                output = ["-fps_mode", "passthrough", "-enc_time_base", "-1", "-f", "framemd5",
                          os.path.join(out, "live.md5")]
            command = camera.timer(rss_file) + ["ffmpeg", "-nostdin", "-v", "error", "-rtsp_transport", transport,
                                                "-i", url, "-map", "0:v:0"] + output
            start = time.monotonic()
            client = subprocess.Popen(command, stderr=subprocess.PIPE, text=True, start_new_session=True)
            # Until ffmpeg ends or the server has sent everything; then a
            # grace period before ffmpeg is told to stop (SIGINT: it closes
            # its files).
            limit = start + 30 + 4 * len(md5s) * args.loop / 25 / args.rate
            eos = False
            while client.poll() is None and not eos and time.monotonic() < limit:
                eos = server.wait_eos(0.5)
            try:
                client.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.killpg(client.pid, signal.SIGINT)
                try:
                    client.wait(timeout=15)
                except subprocess.TimeoutExpired:
                    os.killpg(client.pid, signal.SIGKILL)
                    client.wait()
            err = client.stderr.read()
            open(os.path.join(work, "ffmpeg.err"), "w").write(err)
            line.update(seconds=round(time.monotonic() - start, 2), ffmpeg_exit=client.returncode,
                        ffmpeg_errors=len([l for l in err.splitlines() if l.strip()]), eos=eos)
        finally:
            if proxy:
                proxy.__exit__(None, None, None)
    if proxy:
        line["proxy"] = {k: v for k, v in proxy.report().items() if not k.endswith("_seq")}
    line["rss_kib"] = camera.peak_rss(rss_file)
    pictures = camera.served_pictures(log)
    if args.output == "hls":
        frames, errors = camera.decoded_frames(os.path.join(out, "index.m3u8"))
    else:
        frames, errors = [], [l for l in open(os.path.join(work, "ffmpeg.err")) if l.strip()]
        for l in open(os.path.join(out, "live.md5")):
            if l.startswith("#tb 0:"):
                num, den = l.split(":", 1)[1].split("/")
            elif l.strip() and not l.startswith("#"):
                fields = [f.strip() for f in l.split(",")]
                frames.append((int(fields[2]) * float(num) / float(den), fields[5]))
    line.update(served=len(pictures), recorded=len(frames), decode_errors=len(errors))
    line.update(camera.match(frames, pictures, md5s))
    return line


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("cases", nargs="*", metavar="CASE")
    parser.add_argument("--file", default=os.path.join(DATA, "x265_1920x1080_open_gop_cra.hevc"))
    parser.add_argument("--work", default=os.path.join(os.environ.get("TMPDIR", "/tmp"), "compare_ffmpeg"))
    parser.add_argument("--rate", type=float, default=1.0)
    parser.add_argument("--loop", type=int, default=1)
    parser.add_argument("--output", choices=("hls", "decode"), default="hls")
    parser.add_argument("--hls-type", choices=("mpegts", "fmp4"), default="fmp4")
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
        if line["kept"] != line["served"] or line["decode_errors"]:
            failed.append(name)
    if args.check and failed:
        print("FAILED: not every served picture recorded, or errors decoding the recording: %s" % ", ".join(failed))
        sys.exit(1)


if __name__ == "__main__":
    main()
