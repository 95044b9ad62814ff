#!/usr/bin/python3
"""The lab's servers under hostile clients, as figures rather than a test:

  memory FILESERVER [short|full] [N]   N connections (32; 8 from each of 127.0.0.2-5) each send
      7 descriptions of a 72 MiB release and then 500 pipelined chunk requests (18 bytes each as
      `short`, whole 84-byte records as `full`) and never read; prints the server's peak RSS.
      A build that answers all of them holds 64 MiB per connection: give it a small N.
  wait-file FILESERVER [spread|one]   32 connections each ask for the server's time once a
      second and reconnect the moment they are dropped (8 from each of 127.0.0.2-5 as
      `spread`, all from 127.0.0.2 as `one`); a bench on 127.0.0.1 connects, describes the
      release and leaves, trying again every 0.5 s until it is served. Prints how long each of
      TRIALS benches waited.
  wait-com COMSERVER [spread|one]     the same against the COM server, whose flood never
      answers the greeting; the bench is served when it is given its line.

The server runs on 127.0.0.1 on a free port with its defaults (an older build without
--max-per-peer runs the same way). Usage: /usr/bin/python3 bench/server_attacks.py MODE PROGRAM
[VARIANT] [TRIALS or N]
"""
import os
import pty
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

FLOOD_ADDRESSES = ["127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"]


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def query(command, payload=b"", name=b"bench", length=None):
    body = bytearray(84 if not payload else 82 + len(payload))
    body[0:12] = b"QueryStruct\0"
    body[16] = command
    body[18:18 + len(name)] = name
    body[82:82 + len(payload)] = payload
    if length is not None:
        body = body[:length]
    struct.pack_into("<i", body, 12, len(body))
    return bytes(body)


def describe(name):
    return query(1, name.encode() + b"\0")


def read_exactly(s, n):
    data = b""
    while len(data) < n:
        got = s.recv(n - len(data))
        if not got:
            raise ConnectionError("closed")
        data += got
    return data


def read_record(s):
    head = read_exactly(s, 16)
    (length,) = struct.unpack_from("<i", head, 12)
    return head + read_exactly(s, length - 16)


def connect(port, source=None, timeout=5.0):
    s = socket.socket()
    if source:
        s.bind((source, 0))
    s.settimeout(timeout)
    s.connect(("127.0.0.1", port))
    return s


def rss_kib(pid, field):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def start(argv, ready_port):
    process = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(200):
        try:
            socket.create_connection(("127.0.0.1", ready_port), timeout=1).close()
            return process
        except OSError:
            time.sleep(0.05)
    process.kill()
    sys.exit("the server did not start: " + " ".join(argv))


def file_server(program, folder, release_size):
    os.makedirs(os.path.join(folder, "releases"), exist_ok=True)
    with open(os.path.join(folder, "releases", "dravmer"), "wb") as f:
        f.truncate(release_size)
    port = free_port()
    argv = [program, "--root", os.path.join(folder, "releases"), "--log",
            os.path.join(folder, "fileserver.log"), "--listen", "127.0.0.1", "--port", str(port)]
    return start(argv, port), port


def memory(program, variant, connections):
    with tempfile.TemporaryDirectory() as folder:
        server, port = file_server(program, folder, 72 << 20)
        base = rss_kib(server.pid, "VmRSS")
        chunk = query(2, name=b"", length=18 if variant == "short" else None)
        attack = describe("dravmer") * 7 + chunk * 500
        sockets = []
        for i in range(connections):
            s = connect(port, FLOOD_ADDRESSES[i % 32 // 8])
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            s.sendall(attack)
            sockets.append(s)
        peak = base
        for _ in range(100):  # 10 s
            time.sleep(0.1)
            peak = max(peak, rss_kib(server.pid, "VmRSS"))
        hwm = rss_kib(server.pid, "VmHWM")
        print(f"{program} {variant}, {connections} connections: RSS before {base / 1024:.1f} MiB, peak {max(peak, hwm) / 1024:.1f} MiB "
              f"(request bytes per connection {len(attack)})")
        for s in sockets:
            s.close()
        server.terminate()
        server.wait()


class Flood:
    """Connections that each do `step` until dropped, then come back at once."""

    def __init__(self, port, sources, greet, step):
        self.port, self.greet, self.step = port, greet, step
        self.stop = False
        self.reconnects = 0
        self.threads = [threading.Thread(target=self.run, args=(src,), daemon=True)
                        for src in sources]
        for t in self.threads:
            t.start()

    def run(self, source):
        while not self.stop:
            try:
                s = connect(self.port, source, timeout=60)
                self.greet(s)
                while not self.stop:
                    self.step(s)
            except OSError:
                pass
            self.reconnects += 1

    def end(self):
        self.stop = True


def sources(variant):
    return [FLOOD_ADDRESSES[i // 8] if variant == "spread" else FLOOD_ADDRESSES[0]
            for i in range(32)]


GIVE_UP_S = 60.0


def waits(try_once, trials):
    waited = []
    attempts = admitted = 0
    for _ in range(trials):
        begun = time.monotonic()
        while time.monotonic() - begun < GIVE_UP_S:
            attempts += 1
            if try_once():
                admitted += 1
                break
            time.sleep(0.5)
        waited.append(time.monotonic() - begun)
        time.sleep(1.0)  # the next bench comes a little later
    return waited, attempts, admitted


def report(program, variant, waited, attempts, admitted, flood):
    print(f"{program} {variant}: {len(waited)} benches waited median {statistics.median(waited):.3f} s, "
          f"longest {max(waited):.3f} s ({GIVE_UP_S:.0f} s: gave up); {admitted} of {attempts} "
          f"attempts served; "
          f"the flood reconnected {flood.reconnects} times")


def wait_file(program, variant, trials):
    with tempfile.TemporaryDirectory() as folder:
        server, port = file_server(program, folder, 300000)

        def ask_time(s):
            s.sendall(query(14))
            read_record(s)
            time.sleep(1.0)

        flood = Flood(port, sources(variant), lambda s: None, ask_time)
        time.sleep(3.0)  # the flood settles in

        def bench():
            try:
                s = connect(port, "127.0.0.1", timeout=2.0)
                s.sendall(describe("dravmer"))
                reply = read_record(s)
                s.close()
                return reply[17] == 0
            except OSError:
                return False

        waited, attempts, admitted = waits(bench, trials)
        report(program, variant, waited, attempts, admitted, flood)
        flood.end()
        server.terminate()
        server.wait()


def com_message(data):
    total = 30 + len(data)
    head = bytearray(30)
    head[0:15] = b"COMServerQuery\0"
    struct.pack_into("<I", head, 15, max(total, 31))
    return bytes(head) + data


def read_com(s):
    head = read_exactly(s, 19)
    (total,) = struct.unpack_from("<I", head, 15)
    return head + read_exactly(s, total - 19)


def com_connect_answer():
    answer = bytearray(160)
    answer[0:15] = b"COMServerQuery\0"
    struct.pack_into("<I", answer, 15, 160)
    answer[19] = 5
    answer[30] = 0  # COM1
    answer[31:36] = b"bench"
    answer[157] = ord("_")
    answer[158] = 4
    return bytes(answer)


def wait_com(program, variant, trials):
    master, slave = pty.openpty()
    line = os.ttyname(slave)
    port = free_port()
    server = start([program, "--listen", "127.0.0.1", "--port", str(port), line], port)

    # The flood reads nothing and answers nothing: it only waits to be dropped.
    def hold(s):
        if not s.recv(4096):
            raise ConnectionError("dropped")

    flood = Flood(port, sources(variant), lambda s: None, hold)
    time.sleep(3.0)

    def bench():
        try:
            s = connect(port, "127.0.0.1", timeout=2.0)
            first = read_com(s)
            if first[19] != 6:  # not the greeting: refused
                s.close()
                return False
            s.sendall(com_connect_answer())
            verdict = read_com(s)
            s.close()
            return verdict[19] == 5 and verdict[20] == 0
        except OSError:
            return False

    waited, attempts, admitted = waits(bench, trials)
    report(program, variant, waited, attempts, admitted, flood)
    flood.end()
    server.terminate()
    server.wait()
    os.close(master)
    os.close(slave)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    mode, program = sys.argv[1], sys.argv[2]
    variant = sys.argv[3] if len(sys.argv) > 3 else None
    count = int(sys.argv[4]) if len(sys.argv) > 4 else None
    if mode == "memory":
        memory(program, variant or "short", count or 32)
    elif mode == "wait-file":
        wait_file(program, variant or "spread", count or 10)
    elif mode == "wait-com":
        wait_com(program, variant or "spread", count or 10)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
