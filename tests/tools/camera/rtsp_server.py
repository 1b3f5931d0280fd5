#!/usr/bin/python3
"""A loopback RTSP server that serves one H.265 Annex B file at /cam, paced in
real time, as a camera would (GStreamer's RTSP server; needs python3-gi).

  rtsp_server.py --file F [--port N] [--sdp-only] [--loop N] [--rate R] [--mtu N]
                 [--user U --password P [--auth basic|digest]] [--protocols tcp|udp|both]
                 [--timestamp-offset N] [--seqnum-offset N] [--log F]

Prints `port N` once it listens (--port 0, the default, takes a free port) and
`eos` each time a client's media has sent its last packet; exits 0 on SIGTERM
or SIGINT. Exits 77 when GStreamer's RTSP server cannot be loaded.

Each client gets its own media, played from the file's start. The access
units get the times a camera gives them: the decoding time one frame apart,
the presentation time from the picture's place in output order (which
ffprobe tells), so B pictures go out with RTP timestamps that are not
monotonic. --loop N sends the file N times, each pass after the last (0:
without end); --rate R plays R times as fast by dividing the times (the RTP
timestamps then step by 3600 / R at 25 frames a second). --mtu is the
payloader's largest packet (1400 bytes): larger NAL units go as
fragmentation units. --timestamp-offset and --seqnum-offset set the first
RTP timestamp and sequence number (random otherwise), e.g. to wrap them.

By default the parameter sets go in band, the file's first ones before
every IRAP picture that has none, as well as in the SDP (sprop-vps/sps/pps).
--sdp-only sends them in the SDP alone: the access units go to the
payloader as hvc1 samples without them, and the caps' codec_data carries
them into the SDP; the payloader inserts none.

--log F writes one JSON line per RTP packet the payloader sends:
{"media": M, "seq": S, "ts": T, "m": 0|1, "nal": [types], "pts": ns} with
the RTP timestamp T and the buffer's presentation time in ns (the running
time since the media started, divided by --rate like the times above),
flushed at the end of each picture (the marker bit).
"""
import argparse
import json
import signal
import struct
import subprocess
import sys

try:
    import gi
    gi.require_version("Gst", "1.0")
    gi.require_version("GstRtsp", "1.0")
    gi.require_version("GstRtspServer", "1.0")
    from gi.repository import GLib, Gst, GstRtsp, GstRtspServer
except (ImportError, ValueError) as e:
    print("GStreamer's RTSP server is not available: %s" % e, file=sys.stderr)
    sys.exit(77)


def access_units(path):
    """The file's access units in decoding order, each as (bytes, position in
    output order), from ffprobe's packets and the packet position of each
    frame it outputs; and the frame rate as (num, den)."""
    def probe(entries):
        out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", entries, "-of", "compact=p=0", path],
                             capture_output=True, text=True, check=True).stdout
        # A frame with side data (x265's user data SEI naming the encoder)
        # ends in an empty field.
        return [dict(f.split("=", 1) for f in l.split("|") if f) for l in out.splitlines() if l]
    data = open(path, "rb").read()
    packets = [(int(p["pos"]), int(p["size"])) for p in probe("packet=pos,size")]
    order = {int(f["pkt_pos"]): i for i, f in enumerate(probe("frame=pkt_pos"))}
    rate = probe("stream=r_frame_rate")[0]["r_frame_rate"].split("/")
    if len(order) != len(packets):
        sys.exit("rtsp_server: %s: %d packets, %d frames" % (path, len(packets), len(order)))
    return [(data[pos:pos + size], order[pos]) for pos, size in packets], (int(rate[0]), int(rate[1]))


def nal_units(data):
    """An access unit's NAL units, each with its start code."""
    at, units = [], []
    i = data.find(b"\x00\x00\x01")
    while i >= 0:
        at.append(i - 1 if i > 0 and data[i - 1] == 0 else i)
        i = data.find(b"\x00\x00\x01", i + 3)
    return [data[a:b] for a, b in zip(at, at[1:] + [len(data)])]


def nal_type(unit):
    return unit[unit.index(b"\x01") + 1] >> 1 & 63


def parameter_sets(units):
    """The first access unit's VPS, SPS and PPS NAL units."""
    return [n for n in nal_units(units[0][0]) if nal_type(n) in (32, 33, 34)]


def in_band(units):
    """The access units with the first VPS, SPS and PPS before every IRAP
    picture (nal_unit_type 16..23) that comes without them, as cameras send
    them for a client that starts at any key picture."""
    sets, out = b"".join(parameter_sets(units)), []
    for data, shown in units:
        types = [nal_type(n) for n in nal_units(data)]
        irap = any(16 <= t <= 23 for t in types)
        out.append((sets + data if irap and 32 not in types else data, shown))
    return out


def out_of_band(units):
    """The access units as hvc1 samples (each NAL unit after its 4-byte
    length) without parameter sets, and the HEVCDecoderConfigurationRecord
    that carries the first ones: the payloader takes them from there into
    the SDP. Its general profile, tier and level are the SPS's (the 12 bytes
    after sps_temporal_id_nesting_flag, 7.3.2.2.1); the fields after them
    are for 4:2:0 8-bit, which the payloader does not read."""
    bare = [n[n.index(b"\x01") + 1:] for n in parameter_sets(units)]
    sps = next(n for n in bare if n[0] >> 1 == 33).replace(b"\x00\x00\x03", b"\x00\x00")
    record = bytes([1]) + sps[3:15] + bytes([0xF0, 0x00, 0xFC, 0xFD, 0xF8, 0xF8, 0, 0, 0x0B, len(bare)])
    for n in bare:
        record += bytes([0x80 | n[0] >> 1]) + struct.pack(">HH", 1, len(n)) + n
    samples = []
    for data, shown in units:
        kept = [n[n.index(b"\x01") + 1:] for n in nal_units(data) if nal_type(n) not in (32, 33, 34)]
        samples.append((b"".join(struct.pack(">I", len(n)) + n for n in kept), shown))
    return samples, record


def nal_types(payload):
    """The NAL unit types an RTP payload carries: an aggregation packet's
    units, a fragmentation unit's type (negative unless it starts the unit)."""
    kind = payload[0] >> 1 & 63
    if kind == 48:
        types, at = [], 2
        while at + 2 < len(payload):
            size = struct.unpack(">H", payload[at:at + 2])[0]
            types.append(payload[at + 2] >> 1 & 63)
            at += 2 + size
        return types
    if kind == 49:
        return [payload[2] & 63 if payload[2] & 0x80 else -(payload[2] & 63)]
    return [kind]


class Camera:
    def __init__(self, args):
        self.args = args
        self.units, (num, den) = access_units(args.file)
        # Decoding times one frame apart from 0; each presentation time is
        # its output position plus the reordering delay, so that no picture
        # is presented before it is decoded.
        self.frame = Gst.util_uint64_scale(Gst.SECOND, den, num)
        self.delay = max(i - shown for i, (_, shown) in enumerate(self.units))
        if args.sdp_only:
            self.units, record = out_of_band(self.units)
            self.caps = "video/x-h265,stream-format=hvc1,alignment=au,codec_data=(buffer)" + record.hex()
        else:
            self.units = in_band(self.units)
            self.caps = "video/x-h265,stream-format=byte-stream,alignment=au"
        self.log = open(args.log, "w") if args.log else None
        self.medias = 0

    def factory(self):
        a = self.args
        pay = "rtph265pay name=pay0 pt=96 mtu=%d config-interval=0" % a.mtu
        if a.timestamp_offset is not None:
            pay += " timestamp-offset=%d" % a.timestamp_offset
        if a.seqnum_offset is not None:
            pay += " seqnum-offset=%d" % a.seqnum_offset
        factory = GstRtspServer.RTSPMediaFactory()
        factory.set_launch("( appsrc name=src is-live=false format=time ! %s )" % pay)
        factory.set_shared(False)
        factory.set_protocols({"tcp": GstRtsp.RTSPLowerTrans.TCP, "udp": GstRtsp.RTSPLowerTrans.UDP,
                               "both": GstRtsp.RTSPLowerTrans.TCP | GstRtsp.RTSPLowerTrans.UDP}[a.protocols])
        factory.connect("media-configure", self.configure)
        if a.user:
            factory.add_role_from_structure(Gst.Structure.from_string(
                "user, media.factory.access=(boolean)true, media.factory.construct=(boolean)true")[0])
        return factory

    def configure(self, factory, media):
        """A new client's media: the source feeds the file from its start, the
        payloader's packets are logged, its end of stream announced."""
        index, self.medias = self.medias, self.medias + 1
        element = media.get_element()
        state = {"next": 0}
        src = element.get_by_name("src")
        src.set_property("caps", Gst.Caps.from_string(self.caps))
        src.connect("need-data", self.feed, state)
        pad = element.get_by_name("pay0").get_static_pad("src")
        pad.add_probe(Gst.PadProbeType.BUFFER | Gst.PadProbeType.BUFFER_LIST | Gst.PadProbeType.EVENT_DOWNSTREAM,
                      self.sent, index)

    def feed(self, src, _length, state):
        """Pushes the next access unit, or ends the stream after the last pass."""
        i = state["next"]
        passes, count = divmod(i, len(self.units))
        if self.args.loop and passes >= self.args.loop:
            src.emit("end-of-stream")
            return
        data, shown = self.units[count]
        state["next"] = i + 1
        rate, offset = self.args.rate, passes * len(self.units)
        buffer = Gst.Buffer.new_wrapped(data)
        buffer.dts = int((offset + count) * self.frame / rate)
        buffer.pts = int((offset + shown + self.delay) * self.frame / rate)
        buffer.duration = int(self.frame / rate)
        src.emit("push-buffer", buffer)

    def sent(self, pad, info, index):
        if info.type & Gst.PadProbeType.EVENT_DOWNSTREAM:
            if info.get_event().type == Gst.EventType.EOS:
                print("eos", flush=True)
            return Gst.PadProbeReturn.OK
        if not self.log:
            return Gst.PadProbeReturn.OK
        if info.type & Gst.PadProbeType.BUFFER_LIST:
            buffers = info.get_buffer_list()
            buffers = [buffers.get(i) for i in range(buffers.length())]
        else:
            buffers = [info.get_buffer()]
        for buffer in buffers:
            ok, mapped = buffer.map(Gst.MapFlags.READ)
            if not ok:
                continue
            packet = bytes(mapped.data)
            buffer.unmap(mapped)
            seq, ts = struct.unpack(">HI", packet[2:8])
            header = 12 + 4 * (packet[0] & 15)
            self.log.write(json.dumps({"media": index, "seq": seq, "ts": ts, "m": packet[1] >> 7,
                                       "nal": nal_types(packet[header:]), "pts": buffer.pts}) + "\n")
            if packet[1] >> 7:
                self.log.flush()
        return Gst.PadProbeReturn.OK


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--file", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--sdp-only", action="store_true")
    parser.add_argument("--loop", type=int, default=1, help="passes over the file; 0 without end")
    parser.add_argument("--rate", type=float, default=1.0)
    parser.add_argument("--mtu", type=int, default=1400)
    parser.add_argument("--user")
    parser.add_argument("--password", default="")
    parser.add_argument("--auth", choices=("basic", "digest"), default="basic")
    parser.add_argument("--protocols", choices=("tcp", "udp", "both"), default="both")
    parser.add_argument("--timestamp-offset", type=int)
    parser.add_argument("--seqnum-offset", type=int)
    parser.add_argument("--log")
    args = parser.parse_args()
    if args.rate <= 0:
        parser.error("--rate must be positive")

    Gst.init(None)
    camera = Camera(args)
    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(str(args.port))
    server.get_mount_points().add_factory("/cam", camera.factory())
    if args.user:
        auth = GstRtspServer.RTSPAuth()
        token = GstRtspServer.RTSPToken()
        token.set_string("media.factory.role", "user")
        if args.auth == "digest":
            auth.set_supported_methods(GstRtsp.RTSPAuthMethod.DIGEST)
            auth.add_digest(args.user, args.password, token)
        else:
            auth.set_supported_methods(GstRtsp.RTSPAuthMethod.BASIC)
            auth.add_basic(GstRtspServer.RTSPAuth.make_basic(args.user, args.password), token)
        server.set_auth(auth)
    loop = GLib.MainLoop()
    if server.attach(None) == 0:
        sys.exit("rtsp_server: cannot listen on port %d" % args.port)
    for number in (signal.SIGTERM, signal.SIGINT):
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, number, loop.quit)
    print("port %d" % server.get_bound_port(), flush=True)
    loop.run()
    if camera.log:
        camera.log.close()


if __name__ == "__main__":
    main()
