"""Helpers of the camera input's tests: the loopback RTSP server
(rtsp_server.py) and the damaging proxy (rtsp_proxy.py) as context managers,
what the server sent, and the frames of a recording against the served ones.

    with camera.Server(stream, log=path, options=["--sdp-only"]) as server:
        with camera.Proxy(server.port, ["--loss", "0.02"], report=path2) as proxy:
            ... record proxy.url() ...
            server.wait_eos()
        proxy.report()       # what the proxy did, once it has stopped
    pictures = camera.served_pictures(path)
    frames, errors = camera.decoded_frames(recording)
    kept = camera.match(frames, pictures, camera.source_md5s(stream))

Server() raises Unavailable when GStreamer's RTSP server cannot be loaded;
tests exit 77 (skipped) on it.
"""
import calendar
import collections
import json
import os
import queue
import re
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# Debian's python3 has the GObject bindings; another python3 first in PATH
# may not.
GST_PYTHON = os.environ.get("CAMERA_GST_PYTHON", "/usr/bin/python3")


class Unavailable(Exception):
    pass


class _Process:
    """A helper script that prints `port N` once it listens; the lines it
    prints later are kept for wait()."""

    def __init__(self, command, timeout=30):
        self.command, self.timeout, self.lines = command, timeout, queue.Queue()

    def __enter__(self):
        self.process = subprocess.Popen(self.command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        threading.Thread(target=self._read, daemon=True).start()
        line = self.wait("port ", self.timeout)
        if line is None:
            self.process.kill()
            err = self.process.communicate()[1]
            if self.process.returncode == 77:
                raise Unavailable(err.strip() or "exit 77")
            raise RuntimeError("%s did not start: %s" % (os.path.basename(self.command[1]), err))
        self.port = int(line.split()[1])
        return self

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.strip())
        self.lines.put(None)

    def wait(self, prefix, timeout):
        """The next line that starts with prefix, or None after timeout seconds
        or at the process's end."""
        try:
            while True:
                line = self.lines.get(timeout=timeout)
                if line is None:
                    self.lines.put(None)
                    return None
                if line.startswith(prefix):
                    return line
        except queue.Empty:
            return None

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            _, err = self.process.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            _, err = self.process.communicate()
            raise RuntimeError("%s did not stop on SIGTERM" % os.path.basename(self.command[1]))
        if self.process.returncode != 0 and exc[0] is None:
            raise RuntimeError("%s exited %d: %s" % (os.path.basename(self.command[1]), self.process.returncode, err))
        return False

    def url(self, user=None, password=None, path="/cam"):
        credentials = "%s:%s@" % (user, password) if user else ""
        return "rtsp://%s127.0.0.1:%d%s" % (credentials, self.port, path)


class Server(_Process):
    """rtsp_server.py serving stream at /cam; options are its command line
    options besides --file and --log."""

    def __init__(self, stream, log=None, options=()):
        command = [GST_PYTHON, os.path.join(HERE, "rtsp_server.py"), "--file", stream] + list(options)
        super().__init__(command + (["--log", log] if log else []))

    def wait_eos(self, timeout=60):
        """True once a client's media has sent its last packet."""
        return self.wait("eos", timeout) is not None


class Proxy(_Process):
    """rtsp_proxy.py in front of the server's port; options are its fault
    options."""

    def __init__(self, server_port, options=(), report=None):
        self.report_path = report
        command = [sys.executable, os.path.join(HERE, "rtsp_proxy.py"), "--server-port", str(server_port)]
        super().__init__(command + list(options) + (["--report", report] if report else []))

    def report(self):
        """What the proxy did (after it has stopped)."""
        return json.load(open(self.report_path))


# A message of h265split: its UTC time first (ISO 8601, milliseconds).
STAMPED = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z h265split: ")


def parse_utc(text):
    """Seconds since the epoch of "2026-12-08T14:03:00.250Z"."""
    return calendar.timegm(time.strptime(text[:19], "%Y-%m-%dT%H:%M:%S")) + float("0" + text[19:].rstrip("Z"))


def served_pictures(log, media=0):
    """The pictures one client's media sent, in sending order, from the
    server's packet log: {"ts": RTP timestamp unwrapped past 2^32, "pts":
    ns, "nal": types, "seqs": [first, last]}."""
    pictures, current, last, wraps = [], None, None, 0
    for line in open(log):
        packet = json.loads(line)
        if packet["media"] != media:
            continue
        # Timestamps jump back by at most the reordering delay; a jump of
        # more than half the range is a wrap.
        if last is not None and packet["ts"] < last - (1 << 31):
            wraps += 1
        elif last is not None and packet["ts"] > last + (1 << 31):
            wraps -= 1
        last = packet["ts"]
        if current is None:
            current = {"ts": packet["ts"] + (wraps << 32), "pts": packet["pts"], "nal": [], "seqs": [packet["seq"]] * 2}
        current["nal"] += packet["nal"]
        current["seqs"][1] = packet["seq"]
        if packet["m"]:
            pictures.append(current)
            current = None
    return pictures


def decoded_frames(source, xerror=False, extra=()):
    """Decodes a recording (a file or playlist; a list of files is decoded
    one after the other) with ffmpeg: returns its frames in output order as
    (pts in seconds, MD5 of the picture) and ffmpeg's error lines. Every
    frame with its own time: none dropped or repeated for a constant rate,
    none moved to the frame rate's time base. With xerror, ffmpeg stops at
    the first error."""
    frames, errors = [], []
    for path in [source] if isinstance(source, str) else source:
        result = subprocess.run(["ffmpeg", "-nostdin", "-v", "error"] + (["-xerror"] if xerror else []) +
                                list(extra) + ["-i", path, "-map", "0:v:0", "-fps_mode", "passthrough",
                                               "-enc_time_base", "-1", "-f", "framemd5", "-"],
                                capture_output=True, text=True)
        scale = 1.0
        for line in result.stdout.splitlines():
            if line.startswith("#tb 0:"):
                num, den = line.split(":", 1)[1].split("/")
                scale = float(num) / float(den)
            elif line and not line.startswith("#"):
                fields = [f.strip() for f in line.split(",")]
                frames.append((int(fields[2]) * scale, fields[5]))
        errors += [l for l in result.stderr.splitlines() if l.strip()]
        if result.returncode != 0:
            errors.append("ffmpeg exited %d on %s" % (result.returncode, path))
    return frames, errors


def source_md5s(stream):
    """The MD5 of each picture of an H.265 file in output order, as ffmpeg
    decodes it."""
    frames, errors = decoded_frames(stream, xerror=True)
    if errors:
        raise RuntimeError("%s does not decode: %s" % (stream, errors[:3]))
    return [md5 for _, md5 in frames]


def match(frames, pictures, md5s, clock=90000):
    """How a recording's frames compare with the served pictures: each frame
    is placed at the RTP timestamp of its presentation time plus the offset
    that most frames have from a served picture of their MD5 (any of them,
    after a --loop). Returns a dict: kept (served pictures whose
    MD5 the recording has, whatever their times), intact (frames that are the
    served picture at their time), damaged (frames at a served picture's time
    that are not that picture, as after a loss), stray (frames at a time
    that no served picture has), repeated (frames at a time taken before),
    missing (served pictures no intact frame is). The file's pictures are
    served in order over and over (--loop): the nth in timestamp order is
    md5s[n % len(md5s)]."""
    times = sorted(p["ts"] for p in pictures)
    served = {ts: md5s[i % len(md5s)] for i, ts in enumerate(times)}
    at = collections.defaultdict(list)
    for ts in times:
        at[served[ts]].append(ts)
    offsets = collections.Counter(ts - round(pts * clock) for pts, md5 in frames for ts in at.get(md5, ()))
    kept = collections.Counter(served.values()) & collections.Counter(md5 for _, md5 in frames)
    result = {"kept": sum(kept.values()), "intact": 0, "damaged": 0, "stray": 0, "repeated": 0,
              "missing": len(times)}
    if not offsets:
        result["stray"] = len(frames)
        return result
    offset, seen = offsets.most_common(1)[0][0], set()
    for pts, md5 in frames:
        ts = offset + round(pts * clock)
        if ts in seen:
            result["repeated"] += 1
        elif ts not in served:
            result["stray"] += 1
        elif served[ts] == md5:
            result["intact"] += 1
            result["missing"] -= 1
        else:
            result["damaged"] += 1
        seen.add(ts)
    return result


def timer(path):
    """The prefix that has GNU time write a command's peak RSS (KiB) to
    path; none without /usr/bin/time. GNU time ignores SIGINT: to stop the
    command with it, start the command in its own session and signal the
    group."""
    return ["/usr/bin/time", "-f", "%M", "-o", path] if os.access("/usr/bin/time", os.X_OK) else []


def peak_rss(path):
    """The peak RSS timer() wrote, or None."""
    try:
        return int(open(path).read().split()[-1])
    except (OSError, ValueError, IndexError):
        return None


def children(pid):
    """The processes whose parent is pid, from /proc (no procps needed)."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            stat = open("/proc/%s/stat" % entry).read() if entry.isdigit() else ""
        except OSError:
            continue
        # pid (comm) state ppid ...: comm may hold spaces and parentheses.
        if stat and stat[stat.rindex(")") + 2:].split()[1] == str(pid):
            found.append(entry)
    return found
