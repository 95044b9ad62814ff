#!/usr/bin/env python3
"""Soak run of the bench: simulated devices on all four ports, faults on a schedule, and a check
at the end that every record the devices gave while their line was up is in the experiment files
or in the rescue folder.

  bench/soak/soak.py --build BUILD [--seconds 120] [--devices 4] [--work DIR] [--keep]

The ports: 1 a serial line (pseudo-terminal), 2 a COM server, 3 a network serial server (ser2net
speaking RFC 2217 in front of a pseudo-terminal), 4 a second serial line; each with a transit
device and --devices devices behind it. `dravmer-cli run` drives the engine. Every minute of the
run the schedule drops the first line (its simulator is killed and started again), restarts the
COM server and ser2net, puts noise, late and lost replies on the lines, and fills the disk the
files go to for a while; the last seconds run on a full disk, so the records of the end can only
go to the rescue folder.

The run lives in a mount and network namespace of its own (unshare; a user namespace when not
root): the COM server's fixed TCP port and the network serial server's are private to it, and the
files go to a small tmpfs that can be filled. The simulators log every measurement reply they send
untouched by a fault (dravmer-sim --log). The checks, per device:
  - every such reply is a record on disk (in its file, or in the rescue folder when the file could
    not take the records), unless a disturbance of its line was near, the bench logged that
    exchange as failed in its link error log (a reply it gave up waiting for), or the device began
    its next second before the reply with the ten values (the bench then keeps the newer second);
  - the records the bench took in are all on disk, none left unsaved, время rising;
  - no three seconds in a row without a record while the line was up (a line never opened again
    gets no replies to count, but fails this);
  - the full disk at the end sent the records to the rescue folder.
Exit 0 when every check holds; the figures (records kept against expected, resident size per
hour, threads and descriptors first and last) go to stdout as JSON.
"""

import argparse
import bisect
import csv
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

MARGIN_BEFORE = 1.5  # seconds before a disturbance whose replies may be lost with it
MARGIN_AFTER = 6.0  # seconds after it: reopening a line backs off up to two seconds
# The run ends on a disk full for this long: long enough for every device's file to need a new
# page of the tmpfs (a page takes 23 records), so each file refuses records and the rescue folder
# gets them.
END_FULL_S = 30
COM_SERVER_TCP_PORT = 34002
NET_SERIAL_BASE = 4000


def log(text):
    print(f"[soak {time.strftime('%H:%M:%S')}] {text}", file=sys.stderr, flush=True)


def reexec_in_namespace():
    """Runs this script again in mount and network namespaces of its own."""
    env = dict(os.environ, DRAVMER_SOAK_INSIDE="1")
    base = ["unshare", "--mount", "--net", "--propagation", "private"]
    if os.geteuid() != 0:
        base += ["--user", "--map-root-user"]
    return subprocess.call(base + [sys.executable] + sys.argv, env=env)


class Sim:
    """One dravmer-sim process with its command pipe."""

    def __init__(self, exe, args, log_path, err_path):
        self.exe, self.args, self.log_path, self.err_path = exe, args, log_path, err_path
        self.proc = None
        self.where = None

    def start(self):
        err = open(self.err_path, "a")
        self.proc = subprocess.Popen([self.exe] + self.args + ["--log", self.log_path],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=err,
                                     text=True)
        self.where = self.proc.stdout.readline().strip()
        if not self.where:
            raise RuntimeError(f"{self.exe} {' '.join(self.args)} did not start")

    def command(self, text):
        if self.proc and self.proc.poll() is None:
            self.proc.stdin.write(text + "\n")
            self.proc.stdin.flush()

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc = None


class Ser2net:
    def __init__(self, config, err_path):
        self.config, self.err_path, self.proc = config, err_path, None

    def start(self):
        self.proc = subprocess.Popen(["ser2net", "-n", "-d", "-c", self.config],
                                     stdout=subprocess.DEVNULL, stderr=open(self.err_path, "a"))
        for _ in range(200):  # until it listens
            try:
                socket.create_connection(("127.0.0.1", NET_SERIAL_BASE + 1), 1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("ser2net does not listen")

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)
        self.proc = None


class ProcessWatch(threading.Thread):
    """Samples the resident size, threads and descriptors of the bench process."""

    def __init__(self, pid, every):
        super().__init__(daemon=True)
        self.pid, self.every, self.samples = pid, every, []
        self.stop_event = threading.Event()

    def sample(self):
        try:
            status = open(f"/proc/{self.pid}/status").read().split("\n")
            fields = dict(line.split(":", 1) for line in status if ":" in line)
            rss_kb = int(fields["VmRSS"].split()[0])
            threads = int(fields["Threads"])
            fds = len(os.listdir(f"/proc/{self.pid}/fd"))
            self.samples.append({"t": time.time(), "rss_kb": rss_kb, "threads": threads, "fds": fds})
        except (OSError, KeyError, ValueError):
            pass

    def run(self):
        while not self.stop_event.wait(self.every):
            self.sample()


class Disk:
    """The small tmpfs of the experiment files; `fill` takes all its room, `free` gives it back."""

    def __init__(self, path, mb):
        self.path, self.filler = path, os.path.join(path, ".filler")
        os.makedirs(path, exist_ok=True)
        subprocess.check_call(["mount", "-t", "tmpfs", "-o", f"size={mb}m", "soak", path])

    def fill(self):
        fd = os.open(self.filler, os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
        try:
            for size in (65536, 4096, 512, 1):  # the last bytes too, block by smaller block
                block = b"\0" * size
                try:
                    while True:
                        os.write(fd, block)
                except OSError:
                    pass
        finally:
            os.close(fd)

    def free(self):
        if os.path.exists(self.filler):
            os.remove(self.filler)

    def unmount(self):
        subprocess.call(["umount", "-l", self.path])


def write_settings(cli, config, ports):
    def setting(key, value):
        subprocess.check_call([cli, "--config", config, "settings", "set", key, str(value)],
                              stdout=subprocess.DEVNULL)

    addresses, port_list = [], []
    for p, port in enumerate(ports):
        section = f"ComSettingsPort{p}"
        setting(f"{section}/UseLink", 1)
        setting(f"{section}/Speed", 12)  # 115200
        setting(f"{section}/bComType", 0)
        for key, value in port["settings"].items():
            setting(f"{section}/{key}", value)
        setting(f"DeviceList/Transit{p + 1}", port["transit"])
        for a in port["devices"]:
            addresses.append(a)
            port_list.append(p)
    setting("DeviceList/List", "".join(f"{a};" for a in addresses))
    setting("DeviceList/PortList", "".join(f"{p};" for p in port_list))
    setting("DeviceList/EnableList", "1;" * len(addresses))
    setting("ExperimentSettings/FlagSaveToTextFile", 0)
    setting("Properties/bWriteLinkErrorsToLog", 1)


def read_records(cli, path, work):
    """(время, Цикл) of every record of an experiment file, through the CLI's CSV export."""
    out = os.path.join(work, "convert.csv")
    if os.path.exists(out):
        os.remove(out)  # convert never replaces a file
    subprocess.check_call([cli, "convert", path, out], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    with open(out, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f))
    os.remove(out)
    head = [h.strip() for h in rows[0]]
    t, c = head.index("время"), head.index("Цикл")
    return [(int(float(r[t])), int(float(r[c]))) for r in rows[1:] if r]


def read_deliveries(path):
    """The simulator's log: by address, the (time, cycle) of each second's reply (mode 0) and of
    each reply with the ten electrode values (mode 1)."""
    seconds, tens = {}, {}
    if os.path.exists(path):
        for line in open(path):
            parts = line.split()
            if len(parts) == 4:
                into = seconds if parts[3] == "0" else tens
                into.setdefault(int(parts[1]), []).append((int(parts[0]) / 1000.0, int(parts[2])))
    return seconds, tens


def read_link_errors(folder):
    """Times of the exchanges the bench itself logged as failed, by device address: a reply it
    gave up waiting for (a loaded machine, a late reply) is a failure it saw, not a record lost."""
    out = {}
    stamp = re.compile(rb"\[(\d\d)\.(\d\d) (\d\d):(\d\d):(\d\d):(\d\d\d)\] ")
    # The log is UTF-8; older benches wrote Windows-1251.
    devices = [re.compile(r"(?:Прибор: |прибору )(\d+)".encode(e)) for e in ("utf-8", "cp1251")]
    year = time.localtime().tm_year
    for name in os.listdir(folder) if os.path.isdir(folder) else []:
        if not name.endswith("LinkErrors.log"):
            continue
        text = open(os.path.join(folder, name), "rb").read()
        marks = list(stamp.finditer(text))
        for k, m in enumerate(marks):
            day, month, hour, minute, second, ms = (int(g) for g in m.groups())
            when = time.mktime((year, month, day, hour, minute, second, 0, 0, -1)) + ms / 1000.0
            entry = text[m.end():marks[k + 1].start() if k + 1 < len(marks) else len(text)]
            for a in {a for d in devices for a in d.findall(entry)}:
                out.setdefault(int(a), []).append(when)
    for times in out.values():
        times.sort()
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", required=True, help="the build folder (tools/cli/dravmer-cli ...)")
    ap.add_argument("--seconds", type=int, default=120)
    ap.add_argument("--devices", type=int, default=4, help="devices behind each port's transit")
    ap.add_argument("--work", help="folder for the run (default: a new temporary one)")
    ap.add_argument("--keep", action="store_true", help="keep the work folder")
    ap.add_argument("--sample", type=float, default=10.0, help="seconds between process samples")
    args = ap.parse_args()
    if os.environ.get("DRAVMER_SOAK_INSIDE") != "1":
        return reexec_in_namespace()

    cli = os.path.join(args.build, "tools/cli/dravmer-cli")
    sim_exe = os.path.join(args.build, "tools/sim/dravmer-sim")
    for exe in (cli, sim_exe):
        if not os.access(exe, os.X_OK):
            log(f"{exe} is missing: build first")
            return 2
    if shutil.which("ser2net") is None:
        log("ser2net is not installed (scripts/setup-deps installs it)")
        return 2
    subprocess.check_call(["ip", "link", "set", "lo", "up"])
    # Name lookups with AI_ADDRCONFIG (ser2net's) find nothing while only loopback addresses
    # exist: one more address on the loopback device lets them take 127.0.0.1.
    subprocess.check_call(["ip", "addr", "add", "10.254.254.1/32", "dev", "lo"])
    work = args.work or tempfile.mkdtemp(prefix="dravmer-soak-")
    os.makedirs(work, exist_ok=True)
    files = os.path.join(work, "files")
    data = os.path.join(work, "data")
    # Room for the whole run's files, twice over, so only the filler makes the disk full.
    disk_mb = max(4, (args.devices * 4 * 172 * args.seconds * 2) // 1000000 + 4)
    disk = Disk(files, disk_mb)

    n = args.devices
    ports = []
    for p in range(4):
        first = 4100001 + p * 100000
        ports.append({"devices": [first + k for k in range(n)], "transit": first + 99998,
                      "sim_log": os.path.join(work, f"sim{p}.log"), "settings": {},
                      "disturbed": []})
    sims = []
    for p, port in enumerate(ports):
        common = ["--devices", str(n), "--first", str(port["devices"][0]), "--transit",
                  str(port["transit"])]
        if p == 1:
            sim = Sim(sim_exe, ["--comserver", str(COM_SERVER_TCP_PORT)] + common, port["sim_log"],
                      os.path.join(work, f"sim{p}.err"))
        else:
            link = os.path.join(work, f"tty{p}")
            sim = Sim(sim_exe, ["--pty", "--link", link] + common, port["sim_log"],
                      os.path.join(work, f"sim{p}.err"))
        sim.start()
        sims.append(sim)
    ports[0]["settings"] = {"bLinkMode": 0, "DevicePath": os.path.join(work, "tty0")}
    ports[1]["settings"] = {"bLinkMode": 1, "UseServer": 1, "ServerName": "127.0.0.1"}
    ports[2]["settings"] = {"bLinkMode": 2, "IPAddress": "127.0.0.1", "TCPIPPort": 1}
    ports[3]["settings"] = {"bLinkMode": 0, "DevicePath": os.path.join(work, "tty3")}
    ser2net_config = os.path.join(work, "ser2net.yaml")
    with open(ser2net_config, "w") as f:
        f.write("%YAML 1.1\n---\nconnection: &soak\n"
                f"    accepter: telnet(rfc2217),tcp,127.0.0.1,{NET_SERIAL_BASE + 1}\n"
                "    enable: on\n    options:\n      kickolduser: true\n"
                f"    connector: serialdev,{sims[2].where},115200n81,local\n")
    ser2net = Ser2net(ser2net_config, os.path.join(work, "ser2net.err"))
    ser2net.start()

    config = os.path.join(work, "bench.conf")
    write_settings(cli, config, ports)
    env = dict(os.environ, DRAVMER_DATA_DIR=data, DRAVMER_LOG_DIR=os.path.join(work, "logs"),
               QT_QPA_PLATFORM="offscreen")
    run_err = open(os.path.join(work, "run.err"), "w")
    run = subprocess.Popen([cli, "--config", config, "run", "--seconds", str(args.seconds),
                            "--out", files, "--json", "--wait-device", "20"],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
    started = threading.Event()

    def pump():
        for line in run.stderr:
            run_err.write(line)
            run_err.flush()
            if "started:" in line:
                started.set()

    pumper = threading.Thread(target=pump, daemon=True)
    pumper.start()
    output = []
    reader = threading.Thread(target=lambda: output.append(run.stdout.read()), daemon=True)
    reader.start()
    if not started.wait(90):
        log("the experiment did not start; see run.err")
        run.kill()
        return 1
    t_start = time.time()
    log(f"experiment started; {args.seconds} s, {4 * n} devices, work folder {work}")
    watch = ProcessWatch(run.pid, args.sample)
    watch.sample()
    watch.start()

    def disturb(port, begin, end):
        ports[port]["disturbed"].append((begin - MARGIN_BEFORE, end + MARGIN_AFTER))

    full_since = None
    full_windows = []

    def at(offset):
        """Sleeps until `offset` seconds into the run; False when the run ends first."""
        delay = t_start + offset - time.time()
        if delay > 0:
            time.sleep(delay)
        return time.time() < t_start + args.seconds - END_FULL_S - 2

    # One minute of the schedule, repeated; the disk is full for the last END_FULL_S seconds.
    minute = 0
    while at(minute * 60 + 8):
        base = minute * 60
        t = time.time()
        sims[0].stop()  # the first line drops
        if at(base + 11):
            sims[0].start()
        disturb(0, t, time.time())
        if not at(base + 16):
            break
        t = time.time()
        sims[3].command("noise 5")
        sims[0].command("slow 150 3")
        sims[2].command("drop 3")
        disturb(3, t, t)
        disturb(0, t, t)
        disturb(2, t, t)
        if not at(base + 22):
            break
        t = time.time()
        sims[1].stop()  # the COM server restarts
        time.sleep(2)
        sims[1].start()
        disturb(1, t, time.time())
        if not at(base + 30):
            break
        full_since = time.time()
        disk.fill()
        if not at(base + 38):
            break
        disk.free()
        full_windows.append((full_since, time.time()))
        full_since = None
        if not at(base + 44):
            break
        t = time.time()
        ser2net.stop()  # the network serial server restarts
        time.sleep(2)
        ser2net.start()
        disturb(2, t, time.time())
        if not at(base + 50):
            break
        t = time.time()
        sims[3].command("crc 2")
        sims[1].command("drop 2")
        disturb(3, t, t)
        disturb(1, t, t)
        minute += 1
    if full_since is None:
        delay = t_start + args.seconds - END_FULL_S - time.time()
        if delay > 0:
            time.sleep(delay)
        full_since = time.time()
        disk.fill()
    run.wait()
    t_stop = time.time()
    full_windows.append((full_since, t_stop))
    watch.stop_event.set()
    watch.sample()
    reader.join(30)
    pumper.join(30)
    for sim in sims:
        sim.stop()
    ser2net.stop()
    disk.free()

    # ---- the check ----
    problems = []
    try:
        report = json.loads(output[0] if output else "")
    except ValueError:
        log("dravmer-cli run gave no JSON report; see run.err")
        return 1
    by_address = {d["address"]: d for d in report}
    figures = {"seconds": args.seconds, "devices": len(report), "exit_code": run.returncode,
               "disk_full_windows_s": [round(b - a, 1) for a, b in full_windows]}
    kept = expected = in_memory = on_disk = rescued = seconds_up = seconds_kept = 0
    seen_failed = superseded = 0
    link_errors = read_link_errors(os.path.join(work, "logs"))
    for p, port in enumerate(ports):
        deliveries, tens = read_deliveries(port["sim_log"])
        windows = sorted(port["disturbed"])
        for address in port["devices"]:
            d = by_address.get(address)
            if d is None:
                problems.append(f"device {address} is not in the run's report")
                continue
            path = d.get("rescued_file") or d.get("file")
            records = read_records(cli, path, work) if path and os.path.exists(path) else []
            if d.get("rescued_file"):
                rescued += 1
            in_memory += d["records"]
            on_disk += len(records)
            if len(records) != d["records"] or d.get("unsaved_records", 0):
                problems.append(f"device {address}: {d['records']} records taken, "
                                f"{len(records)} on disk, {d.get('unsaved_records')} unsaved")
            times = [r[0] for r in records]
            if any(b <= a for a, b in zip(times, times[1:])):
                problems.append(f"device {address}: время does not rise record by record")
            # The experiment clock against the wall clock: the offset most replies agree on.
            by_cycle = {}
            for s, c in records:
                by_cycle.setdefault(c, []).append(s)
            offsets = sorted(round(w - t_start - s) for w, c in deliveries.get(address, [])[:200]
                             for s in by_cycle.get(c, []) if abs(w - t_start - s) < 5)
            zero = offsets[len(offsets) // 2] if offsets else 0
            starts = [w[0] for w in windows]
            ten_list = tens.get(address, [])
            ten_times = [w for w, _ in ten_list]
            missing = []
            for w, c in deliveries.get(address, []):
                if w < t_start + 3 or w > t_stop - 3:
                    continue
                second = w - t_start - zero
                if any(abs(s - second) <= 2.5 for s in by_cycle.get(c, [])):
                    expected += 1
                    kept += 1
                    continue
                # Not on disk. Excused only when a disturbance of the line was near, when the
                # bench logged the exchange as failed, or when the device began its next second
                # between this reply and the one with its ten values (the bench then reads that
                # next second instead, by design).
                i = bisect.bisect_right(starts, w)
                if any(a <= w <= b for a, b in windows[max(0, i - 3):i]):
                    continue
                errors = link_errors.get(address, [])
                j = bisect.bisect_left(errors, w - 2.0)
                if j < len(errors) and errors[j] <= w + 3.0:
                    seen_failed += 1
                    continue
                k = bisect.bisect_left(ten_times, w)
                if k < len(ten_times) and ten_times[k] - w < 1.5 and ten_list[k][1] != c:
                    superseded += 1
                    continue
                expected += 1
                missing.append(f"{time.strftime('%H:%M:%S', time.localtime(w))} cycle {c}")
            if missing:
                problems.append(f"device {address} (port {p + 1}): {len(missing)} replies sent "
                                f"while the line was up are not on disk, e.g. {missing[:3]}")
            # Every second of the experiment while the line was up has its record: a bench that
            # never opens a line again gets no replies to be counted above, but misses these.
            have = set(times)
            gaps = []
            for second in range(3, int(t_stop - t_start - zero) - 3):
                wall = t_start + zero + second
                i = bisect.bisect_right(starts, wall + 1)
                if any(a <= w <= b for a, b in windows[max(0, i - 3):i] for w in (wall, wall + 1)):
                    continue
                seconds_up += 1
                if second in have:
                    seconds_kept += 1
                else:
                    gaps.append(second)
            # A second now and then falls between two polls of a loaded machine (the device's
            # second and the bench's drift apart by the poll period); three in a row do not.
            runs = [g for k, g in enumerate(gaps) if k >= 2 and gaps[k - 2] == g - 2]
            if runs:
                problems.append(f"device {address} (port {p + 1}): no record for three seconds "
                                f"or more while the line was up, ending at {runs[:5]}")
            if not deliveries.get(address):
                problems.append(f"device {address}: its simulator logged no reply")
    samples = watch.samples
    figures.update({"replies_on_disk": kept, "replies_expected": expected,
                    "replies_the_bench_logged_as_failed": seen_failed,
                    "replies_superseded_by_the_next_second": superseded,
                    "seconds_line_up": seconds_up, "seconds_with_record": seconds_kept,
                    "records_in_memory": in_memory, "records_on_disk": on_disk,
                    "devices_rescued": rescued})
    if samples:
        hours = max((samples[-1]["t"] - samples[0]["t"]) / 3600.0, 1e-9)
        figures.update({
            "rss_kb_first": samples[0]["rss_kb"], "rss_kb_last": samples[-1]["rss_kb"],
            "rss_kb_per_hour": round((samples[-1]["rss_kb"] - samples[0]["rss_kb"]) / hours),
            "threads_first": samples[0]["threads"], "threads_last": samples[-1]["threads"],
            "fds_first": samples[0]["fds"], "fds_last": samples[-1]["fds"]})
    if rescued == 0:
        problems.append("the full disk at the end sent nothing to the rescue folder")
    if expected == 0:
        problems.append("no reply was expected: the run did not work")
    figures["problems"] = problems
    print(json.dumps(figures, indent=2, ensure_ascii=False))
    disk.unmount()
    if not args.keep and not args.work:
        shutil.rmtree(work, ignore_errors=True)
    else:
        log(f"the run's files are in {work}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
