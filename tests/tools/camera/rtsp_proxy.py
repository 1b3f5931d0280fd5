#!/usr/bin/env python3
"""A TCP proxy in front of an RTSP server that damages RTP over TCP
interleaved, the way networks and cameras do, deterministically from a seed.

  rtsp_proxy.py --server-port N [--server-host H] [--port N] [--seed S]
                [--loss P] [--reorder P] [--duplicate P]
                [--stall SECONDS --stall-after N] [--garbage-every N]
                [--drop-after N] [--jump SECONDS --jump-after N] [--report F]

Prints `port N` once it listens (--port 0, the default, takes a free port).
Requests go to the server byte for byte; responses come back unchanged (the
SETUP URLs a client takes from Content-Base go over this same connection,
so nothing needs rewriting). Of the server's interleaved frames ('$',
channel, 16-bit length, packet), those of channel 0, the first stream's RTP
packets, are damaged:

  --loss P          each is dropped with probability P
  --reorder P       each is held back, with probability P, and sent after the next
  --duplicate P     each is sent twice, with probability P
  --garbage-every N after every Nth, 1 to 48 random bytes, among them a '$',
                    a channel number and a length (which a client that takes
                    them for a frame header reads as one)
  --stall S         after --stall-after N of them (0 by default), nothing goes
                    to the client for S seconds
  --drop-after N    after N of them, both connections are closed
  --jump S          from the --jump-after Nth on, their RTP timestamps are S
                    seconds later (a camera whose clock jumped)
  --down S          after --drop-after, connections are closed as they come for
                    S seconds (a camera that reboots)
  --video-stop-after N  after N of them, no more (once, on the first
                    connection), while RTCP goes on: a camera whose video died
  --freeze-after N  from the Nth on, their RTP timestamps stay the Nth's (a
                    camera whose timestamps stand still)
  --sr-shift S      the NTP times of the RTCP sender reports (channel 1) are S
                    seconds later (a camera whose clock is wrong)

Stalls and drops happen once, on the first connection that gets that far:
a client that connects again gets the stream again. The other faults apply
to every connection, each with its own generator, seeded from the seed and
the connection's number. Other channels (RTCP) and responses pass unchanged.

On SIGTERM or SIGINT it writes what it did as JSON to --report and exits 0:
connections, frames (channel 0 frames from the server), forwarded (sent to
clients, duplicates included), lost, reordered, duplicated (with the RTP
sequence numbers of the packets concerned in lost_seq, reordered_seq,
duplicated_seq), garbage_inserts, garbage_bytes, stalls, dropped_connections.
"""
import argparse
import json
import random
import signal
import socket
import struct
import threading
import time


class Faults:
    """The counts of what was done, shared by all connections."""

    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.stalled = self.dropped = self.video_stopped = False
        self.down_until = 0.0
        self.counts = {k: 0 for k in ("connections", "frames", "forwarded", "lost", "reordered", "duplicated",
                                      "garbage_inserts", "garbage_bytes", "stalls", "dropped_connections",
                                      "refused_connections")}
        self.counts.update(lost_seq=[], reordered_seq=[], duplicated_seq=[])

    def count(self, key, seq=None, n=1):
        with self.lock:
            self.counts[key] += n
            if seq is not None:
                self.counts[key + "_seq"].append(seq)

    def once(self, flag):
        """True the first time it is asked for the flag, on one connection only."""
        with self.lock:
            if getattr(self, flag):
                return False
            setattr(self, flag, True)
            return True


def read_exact(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            raise EOFError
        data += chunk
    return data


def server_messages(sock):
    """The server's interleaved frames as (channel, frame) and its responses
    as (None, bytes), each whole as it came."""
    while True:
        first = read_exact(sock, 1)
        if first == b"$":
            header = first + read_exact(sock, 3)
            yield header[1], header + read_exact(sock, struct.unpack(">H", header[2:])[0])
            continue
        message = first
        while not message.endswith(b"\r\n\r\n"):
            message += read_exact(sock, 1)
        length = 0
        for line in message.split(b"\r\n"):
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                length = int(value)
        yield None, message + read_exact(sock, length)


def garbage(rng):
    """Random bytes with a '$', a channel and a length somewhere among them."""
    junk = bytes(rng.randrange(256) for _ in range(rng.randrange(1, 45)))
    at = rng.randrange(len(junk) + 1)
    return junk[:at] + b"$" + bytes([rng.randrange(2)]) + struct.pack(">H", rng.randrange(65536)) + junk[at:]


def downstream(server, client, faults, number):
    """Server to client, channel 0 damaged as the options say."""
    a = faults.args
    rng, junk_rng = random.Random("%d/%d" % (a.seed, number)), random.Random("%d/%d/junk" % (a.seed, number))
    held, frames = None, 0
    try:
        stopped, frozen = False, bytes(4)
        for channel, data in server_messages(server):
            if channel == 1 and a.sr_shift:
                data = shift_sender_reports(data, a.sr_shift)
            if channel != 0:
                client.sendall(data)
                continue
            if a.video_stop_after and frames >= a.video_stop_after and (stopped or faults.once("video_stopped")):
                stopped = True
                continue
            frames += 1
            faults.count("frames")
            if a.freeze_after and frames >= a.freeze_after and len(data) >= 12:
                if frames == a.freeze_after:
                    frozen = data[8:12]
                data = data[:8] + frozen + data[12:]
            if a.jump and frames >= a.jump_after and len(data) >= 12:
                ts = (struct.unpack(">I", data[8:12])[0] + int(a.jump * 90000)) & 0xFFFFFFFF
                data = data[:8] + struct.pack(">I", ts) + data[12:]
            seq = struct.unpack(">H", data[6:8])[0] if len(data) >= 8 else None
            # Three draws a frame whatever is asked for, so that each fault
            # falls on the same packets whichever others are asked for too.
            lose, reorder, duplicate = rng.random(), rng.random(), rng.random()
            if a.stall and frames > a.stall_after and faults.once("stalled"):
                faults.count("stalls")
                time.sleep(a.stall)
            out = []
            if lose < a.loss:
                faults.count("lost", seq)
            elif held is None and reorder < a.reorder:
                faults.count("reordered", seq)
                held = data
            else:
                out = [data, data] if duplicate < a.duplicate else [data]
                if len(out) == 2:
                    faults.count("duplicated", seq)
            if held is not None and held is not data:
                out.append(held)
                held = None
            for piece in out:
                client.sendall(piece)
            faults.count("forwarded", n=len(out))
            if a.garbage_every and frames % a.garbage_every == 0:
                junk = garbage(junk_rng)
                faults.count("garbage_inserts")
                faults.count("garbage_bytes", n=len(junk))
                client.sendall(junk)
            if a.drop_after and frames >= a.drop_after and faults.once("dropped"):
                faults.count("dropped_connections")
                faults.down_until = time.monotonic() + a.down
                break
        else:
            if held is not None:
                client.sendall(held)
                faults.count("forwarded")
    except (EOFError, OSError):
        pass
    for sock in (client, server):
        try:
            sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def shift_sender_reports(frame, seconds):
    """The interleaved RTCP frame with the NTP seconds of each sender report
    (RFC 3550 6.4.1) moved by `seconds`."""
    data, at = bytearray(frame), 4
    while at + 16 <= len(data):
        length = (struct.unpack(">H", bytes(data[at + 2:at + 4]))[0] + 1) * 4
        if data[at + 1] == 200:
            ntp = (struct.unpack(">I", bytes(data[at + 8:at + 12]))[0] + int(seconds)) & 0xFFFFFFFF
            data[at + 8:at + 12] = struct.pack(">I", ntp)
        at += length
    return bytes(data)


def upstream(client, server):
    """Client to server, unchanged."""
    try:
        while True:
            data = client.recv(65536)
            if not data:
                break
            server.sendall(data)
    except OSError:
        pass
    try:
        server.shutdown(socket.SHUT_WR)
    except OSError:
        pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--server-host", default="127.0.0.1")
    parser.add_argument("--server-port", type=int, required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--loss", type=float, default=0.0)
    parser.add_argument("--reorder", type=float, default=0.0)
    parser.add_argument("--duplicate", type=float, default=0.0)
    parser.add_argument("--stall", type=float, default=0.0)
    parser.add_argument("--stall-after", type=int, default=0)
    parser.add_argument("--jump", type=float, default=0.0)
    parser.add_argument("--jump-after", type=int, default=0)
    parser.add_argument("--garbage-every", type=int, default=0)
    parser.add_argument("--drop-after", type=int, default=0)
    parser.add_argument("--video-stop-after", type=int, default=0)
    parser.add_argument("--down", type=float, default=0.0)
    parser.add_argument("--sr-shift", type=float, default=0.0)
    parser.add_argument("--freeze-after", type=int, default=0)
    parser.add_argument("--report")
    args = parser.parse_args()
    faults = Faults(args)

    def stop(*_):
        raise SystemExit(0)
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    listener = socket.create_server(("127.0.0.1", args.port))
    print("port %d" % listener.getsockname()[1], flush=True)
    try:
        number = 0
        while True:
            client, _ = listener.accept()
            if time.monotonic() < faults.down_until:
                faults.count("refused_connections")
                client.close()
                continue
            server = socket.create_connection((args.server_host, args.server_port))
            for sock in (client, server):
                sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            faults.count("connections")
            threading.Thread(target=downstream, args=(server, client, faults, number), daemon=True).start()
            threading.Thread(target=upstream, args=(client, server), daemon=True).start()
            number += 1
    finally:
        if args.report:
            with faults.lock:
                json.dump(faults.counts, open(args.report, "w"), indent=1)


if __name__ == "__main__":
    main()
