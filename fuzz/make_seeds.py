#!/usr/bin/env python3
"""Writes seed inputs for the fuzz targets into OUT/<target>/.

    python3 fuzz/make_seeds.py OUT [STREAM...]

Streams default to tests/data/*.hevc, tests/data/*.265 and
tests/hostile/data/*.hevc. They are cut into NAL units and access units; the
byte strings written as Hex("...") in the unit tests are added as they are.
The slice target gets its own layout (see fuzz_slice.cpp): SPS piece, PPS
piece and the start of each VCL NAL unit of the same stream.
"""
import base64
import glob
import hashlib
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def nal_units(data):
    """(start, end) of each NAL unit, start code included."""
    starts = []
    i = 0
    while True:
        i = data.find(b"\x00\x00\x01", i)
        if i < 0:
            break
        s = i - 1 if i > 0 and data[i - 1] == 0 else i
        starts.append(s)
        i += 3
    return [(s, starts[k + 1] if k + 1 < len(starts) else len(data)) for k, s in enumerate(starts)]


def nal_type(unit):
    header = unit[3] if unit[2] == 1 else unit[4]
    return (header >> 1) & 0x3F


class Writer:
    def __init__(self, out):
        self.out = out
        self.count = {}

    def add(self, target, blob):
        d = os.path.join(self.out, target)
        os.makedirs(d, exist_ok=True)
        name = hashlib.sha1(blob).hexdigest()
        path = os.path.join(d, name)
        if not os.path.exists(path):
            with open(path, "wb") as f:
                f.write(blob)
            self.count[target] = self.count.get(target, 0) + 1


def unit_test_strings():
    blobs = []
    for path in glob.glob(os.path.join(ROOT, "tests", "*.cpp")):
        with open(path, encoding="utf-8", errors="replace") as f:
            for text in re.findall(r'Hex\("([0-9A-Fa-f ]*)"\)', f.read()):
                blob = bytes(int(b, 16) for b in text.split())
                if blob:
                    blobs.append(blob)
    return blobs


def rtp_packets(units, don, piece=120):
    """RTP packets (sequence number, payload, marker, timestamp) of NAL units
    without start codes: small units of a picture aggregated, large ones in
    fragmentation units, the marker on the last packet of each picture, DONL
    and DOND fields when `don`."""
    pictures = []
    for u in units:
        t = (u[0] >> 1) & 0x3F
        if not pictures or (t < 32 and len(u) > 2 and u[2] & 0x80 and any((v[0] >> 1) & 0x3F < 32 for v in pictures[-1])):
            pictures.append([])
        pictures[-1].append(u)
    packets, n = [], 0
    for k, picture in enumerate(pictures):
        out = []
        small = []

        def flush_small():
            nonlocal n
            if small:
                body = bytes([0x60, 0x01])
                for j, (d, s) in enumerate(small):
                    if don:
                        body += d.to_bytes(2, "big") if j == 0 else bytes([0])
                    body += len(s).to_bytes(2, "big") + s
                out.append(body)
                small.clear()

        for u in picture:
            d = n & 0xFFFF
            n += 1
            if len(u) <= piece:
                small.append((d, u))
                continue
            flush_small()
            rest = u[2:]
            first = True
            while rest:
                chunk, rest = rest[:piece], rest[piece:]
                fu = bytes([(u[0] & 0x81) | (49 << 1), u[1], (0x80 if first else 0) | (0 if rest else 0x40) | ((u[0] >> 1) & 0x3F)])
                out.append(fu + (d.to_bytes(2, "big") if don and first else b"") + chunk)
                first = False
        flush_small()
        for j, body in enumerate(out):
            packets.append((len(packets), body, j == len(out) - 1, 3000 * k))
    return packets


def split_frames(data):
    """The interleaved frames of `data`, each with its 4-byte header."""
    frames, at = [], 0
    while at + 4 <= len(data):
        n = int.from_bytes(data[at + 2:at + 4], "big")
        frames.append(data[at:at + 4 + n])
        at += 4 + n
    return frames


def interleaved(packets, session, chunk):
    """The fuzz_rtp input: session byte, chunk byte, then RTP packets in
    interleaved frames on channel 0."""
    blob = bytes([session, chunk])
    for seq, body, marker, ts in packets:
        rtp = bytes([0x80, (0x80 if marker else 0) | 96]) + (seq & 0xFFFF).to_bytes(2, "big") + \
            (ts & 0xFFFFFFFF).to_bytes(4, "big") + bytes([0x11, 0x22, 0x33, 0x44]) + body
        blob += b"$\x00" + len(rtp).to_bytes(2, "big") + rtp
    return blob


# A DESCRIBE answer's SDP as GStreamer's RTSP server gave it for one of the
# test streams; the streams' own parameter sets go into more of its kind.
GSTREAMER_SDP = (
    "v=0\r\no=- 2175495421858296281 1 IN IP4 127.0.0.1\r\ns=Session streamed with GStreamer\r\n"
    "i=rtsp-server\r\nt=0 0\r\na=tool:GStreamer\r\na=type:broadcast\r\na=control:*\r\n"
    "a=range:npt=now-\r\nm=video 0 RTP/AVP 96\r\nc=IN IP4 0.0.0.0\r\na=rtpmap:96 H265/90000\r\n"
    "a=framerate:25\r\na=fmtp:96 sprop-vps=QAEMAf//AWAAAAMAkAAAAwAAAwA8lZQJ;"
    "sprop-sps=QgEBAWAAAAMAkAAAAwAAAwA8oBggIFllZUpMLgEAAAMD6AAAYagI;sprop-pps=RAHAc8GJ\r\n"
    "a=control:stream=0\r\na=ts-refclk:local\r\na=mediaclk:sender\r\n"
    "a=ssrc:3288722499 cname:user657833372@host-74647217\r\n").encode()


def sdp_of(units, don):
    """An SDP with the stream's parameter sets, an audio media before the
    video, and DON parameters when `don`."""
    b64 = lambda kind: ",".join(base64.b64encode(u).decode() for u in units if nal_type(b"\0\0\1" + u) == kind)
    fmtp = "sprop-vps=%s;sprop-sps=%s;sprop-pps=%s" % (b64(32), b64(33), b64(34))
    if don:
        fmtp += ";sprop-max-don-diff=2;sprop-depack-buf-nalus=4"
    return ("v=0\r\no=- 1 1 IN IP4 10.0.0.7\r\ns=camera\r\nt=0 0\r\na=control:rtsp://cam:554/live/\r\n"
            "m=audio 0 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\na=control:trackID=2\r\n"
            "m=video 0 RTP/AVP 97 96\r\na=rtpmap:97 H264/90000\r\na=rtpmap:96 H265/90000\r\n"
            "a=fmtp:96 %s\r\na=control:trackID=1\r\n" % fmtp).encode()


def rtsp_session(sdp, frames):
    """The bytes a server sends on a TCP interleaved session: the answers
    to OPTIONS, DESCRIBE (with `sdp`), SETUP and PLAY, then the frames with
    a keep-alive answer and some garbage among them."""
    def answer(cseq, headers, body=b""):
        text = "RTSP/1.0 200 OK\r\nCSeq: %d\r\n%s" % (cseq, headers)
        if body:
            text += "Content-Type: application/sdp\r\nContent-Length: %d\r\n" % len(body)
        return text.encode() + b"\r\n" + body
    out = b"RTSP/1.0 401 Unauthorized\r\nCSeq: 1\r\nWWW-Authenticate: Digest realm=\"cam\", " \
          b"nonce=\"a1b2\", qop=\"auth\"\r\nWWW-Authenticate: Basic realm=\"cam\"\r\n\r\n"
    out += answer(2, "Public: OPTIONS, DESCRIBE, SETUP, PLAY, GET_PARAMETER, TEARDOWN\r\n")
    out += answer(3, "Content-Base: rtsp://cam:554/live/\r\n", sdp)
    out += answer(4, "Session: 12345678;timeout=60\r\nTransport: RTP/AVP/TCP;unicast;interleaved=0-1;ssrc=11223344\r\n")
    out += answer(5, "Session: 12345678\r\nRTP-Info: url=rtsp://cam:554/live/trackID=1;seq=0;rtptime=0\r\n")
    sr = bytes([0x80, 200, 0, 6, 0x11, 0x22, 0x33, 0x44]) + bytes(range(20))
    for k, frame in enumerate(frames):
        if k == 2:
            out += b"$\x01" + len(sr).to_bytes(2, "big") + sr
        if k == 3:
            out += answer(6, "Session: 12345678\r\nContent-Length: 5\r\n").replace(b"\r\n\r\n", b"\r\n\r\n$\0\0\x05\x80", 1)
        if k == 4:
            out += b"garbage$\x07\x00"
        out += frame
    return out


def main():
    out = sys.argv[1]
    streams = sys.argv[2:] or sorted(
        glob.glob(os.path.join(ROOT, "tests", "data", "*.hevc"))
        + glob.glob(os.path.join(ROOT, "tests", "data", "*.265"))
        + glob.glob(os.path.join(ROOT, "tests", "hostile", "data", "*.hevc")))
    w = Writer(out)
    w.add("sdp", bytes([0]) + GSTREAMER_SDP)
    w.add("sdp", bytes([1]) + GSTREAMER_SDP.replace(b"\r\n", b"\n"))
    for blob in unit_test_strings():
        for target in ("header_parser", "nalu_type", "sps", "pps"):
            w.add(target, blob)
        w.add("scanner", bytes([0x80]) + blob)
        w.add("slice", bytes([0, 0, 0, 0]) + blob)
        w.add("bit_reader", bytes([8, 0, 8, 2, 3, 4, 5, 1, 40]) + blob)

    for path in streams:
        with open(path, "rb") as f:
            data = f.read()
        units = [data[s:e] for s, e in nal_units(data)]
        if not units:
            continue
        first_vcl = next((k for k, u in enumerate(units) if nal_type(u) < 32), len(units))
        head = b"".join(units[:first_vcl + 1])
        for target in ("header_parser", "nalu_type"):
            w.add(target, head[:2048])
        w.add("scanner", bytes([0x80]) + head[:2048])
        w.add("scanner", bytes([33]) + data[:4096])
        sps = [u for u in units if nal_type(u) == 33]
        pps = [u for u in units if nal_type(u) == 34]
        for u in sps:
            w.add("sps", u[:512])
            w.add("header_parser", u[:512])
            # The SPS payload after its header, for the bit reader, with a
            # program that mixes every operation.
            w.add("bit_reader", bytes([16, 0, 12, 2, 2, 3, 1, 40, 4, 5, 6, 15, 7, 0, 70, 2, 3, 0]) + u[5:200])
        for u in pps:
            w.add("pps", u[:64])
        if sps and pps:
            s, p = sps[0][:255], pps[0][:255]
            seen = set()
            for u in units:
                t = nal_type(u)
                if t >= 32 or (t, u[5:9]) in seen:
                    continue
                seen.add((t, u[5:9]))
                w.add("slice", bytes([len(s), len(p), 0, 0]) + s + p + u[:40])
        # RTP sessions of the stream's first pictures: in order, then with
        # DONs, then with two packets swapped and one lost.
        plain = [u[3:] if u[2] == 1 else u[4:] for u in units]
        packets = rtp_packets(plain, False)
        while packets and len(interleaved(packets, 0, 0)) > 4096:
            packets.pop()
        if packets:
            w.add("rtp", interleaved(packets, 0, 0))
            shuffled = list(packets)
            if len(shuffled) > 3:
                shuffled[1], shuffled[2] = shuffled[2], shuffled[1]
                del shuffled[3]
            w.add("rtp", interleaved(shuffled, 0x04, 6))
        packets = rtp_packets(plain, True)
        while packets and len(interleaved(packets, 3, 0)) > 4096:
            packets.pop()
        if packets:
            w.add("rtp", interleaved(packets, 3, 255))
        # The same pictures' RTP in an RTSP session, and its SDP alone.
        for don in (False, True):
            sdp = sdp_of(plain, don)
            w.add("sdp", bytes([don]) + sdp[:4096])
            frames = split_frames(interleaved(rtp_packets(plain, don), 0, 0)[2:])
            blob = bytes([0x10 if don else 0xFF, 1]) + rtsp_session(sdp, frames)
            while len(blob) > 4096 and frames:
                frames.pop()
                blob = bytes([0x10 if don else 0xFF, 1]) + rtsp_session(sdp, frames)
            if len(blob) <= 4096:
                w.add("rtsp_response", blob)
        # Other NAL unit types as they are.
        for u in units:
            if nal_type(u) >= 35:
                w.add("nalu_type", u[:64])
    for target, n in sorted(w.count.items()):
        print(f"{target}: {n} seeds")


if __name__ == "__main__":
    main()
