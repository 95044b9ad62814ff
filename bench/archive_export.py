#!/usr/bin/python3
"""`dravmer-cli archive export` and `archive add` against what a Python user would write
instead: the same device-days in an SQLite file of their own, one zlib-deflated row per device
file, written back as .adc files with sqlite3 and zlib (and put there the same way).

Makes DIR/src (DEVICES .adc files of a device-day each: 86,400 records of 43 parameters, the
floats of a device) unless it is there, then runs, as whole processes, RUNS times each and in
turn: the CLI's add into a fresh archive and the script's add into a fresh file of its own, then
the CLI's export and the script's export into fresh folders. Prints each one's median seconds,
the CLI's time as a share of the script's, and each one's largest resident memory (GNU time's
%M: the largest resident set of the process).

Usage: /usr/bin/python3 bench/archive_export.py DRAVMER_CLI [DIR] [DEVICES] [RUNS]
       /usr/bin/python3 bench/archive_export.py --add DB SRC      (the Python way alone)
       /usr/bin/python3 bench/archive_export.py --export DB OUT   (the Python way alone)
"""
import json
import os
import shutil
import sqlite3
import statistics
import struct
import subprocess
import sys
import time
import zlib

START = 1796540703  # 2026-12-06 07:05:03 UTC


def make_day(path, seed, rows=86400):
    import numpy as np
    rng = np.random.default_rng(seed)
    # Microvolts and millivolts with the noise of a real channel: no value is a short decimal.
    scale = rng.uniform(0.5, 3000.0, 43)
    data = (rng.normal(1.0, 0.01, (rows, 43)) * scale).astype(np.float32)
    data[:, 0] = np.arange(rows)
    data[:, 1] = np.arange(rows) % 256
    data[:, 2] = 0xA3
    data[:, 15] = 0
    head = b"Dravmer format .adc ; Firmware version: 01.02 ;".ljust(47, b" ") + b"\0"
    head += struct.pack("<iII", 43, START, 0) + bytes(range(43)) + bytes(64 - 43)
    with open(path, "wb") as f:
        f.write(head)
        f.write(data.tobytes())


def py_add(db, src):
    con = sqlite3.connect(db)
    con.execute("CREATE TABLE IF NOT EXISTS devices (name TEXT PRIMARY KEY, head BLOB, data BLOB)")
    with con:
        for name in sorted(os.listdir(src)):
            with open(os.path.join(src, name), "rb") as f:
                raw = f.read()
            con.execute("INSERT INTO devices VALUES (?, ?, ?)",
                        (name, raw[:124], zlib.compress(raw[124:])))
    con.close()


def py_export(db, out):
    os.makedirs(out)
    con = sqlite3.connect(db)
    for name, head, data in con.execute("SELECT name, head, data FROM devices ORDER BY name"):
        with open(os.path.join(out, name), "wb") as f:
            f.write(head)
            f.write(zlib.decompress(data))
    con.close()


def run(args):
    """Seconds and the largest resident set (MiB) of one whole process. The memory comes from
    /usr/bin/time: a child forked from this script would count the script's own pages."""
    report = "/tmp/archive-export-maxrss-%d" % os.getpid()
    t = time.perf_counter()
    p = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + args,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    seconds = time.perf_counter() - t
    if p.returncode != 0:
        sys.exit(f"failed ({p.returncode}): {' '.join(args)}\n{p.stderr.decode(errors='replace')}")
    with open(report) as f:
        kib = int(f.read().split()[-1])
    os.remove(report)
    return seconds, kib / 1024.0


def fresh(path):
    if os.path.isdir(path):
        shutil.rmtree(path)
    elif os.path.exists(path):
        os.remove(path)
    for suffix in ("-wal", "-shm"):
        if os.path.exists(path + suffix):
            os.remove(path + suffix)


def main():
    if len(sys.argv) == 4 and sys.argv[1] in ("--add", "--export"):
        (py_add if sys.argv[1] == "--add" else py_export)(sys.argv[2], sys.argv[3])
        return
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    cli = os.path.abspath(sys.argv[1])
    folder = sys.argv[2] if len(sys.argv) > 2 else "/tmp/dravmer-archive-bench"
    devices = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    src = os.path.join(folder, f"src{devices}")
    os.makedirs(src, exist_ok=True)
    for d in range(devices):
        path = os.path.join(src, f"261206-001-{100101 + d:06d}.adc")
        if not os.path.exists(path):
            make_day(path, d)
    ours, theirs = os.path.join(folder, "ours.sqlite"), os.path.join(folder, "theirs.sqlite")
    me = [sys.executable, os.path.abspath(__file__)]
    env_cli = [cli, "archive", "--archive", "sqlite:" + ours]
    times = {k: [] for k in ("cli add", "python add", "cli export", "python export")}
    peaks = {k: 0.0 for k in times}
    for _ in range(runs):
        for key, db, args in (("cli add", ours, env_cli + ["add", src]),
                              ("python add", theirs, me + ["--add", theirs, src])):
            fresh(db)
            s, m = run(args)
            times[key].append(s)
            peaks[key] = max(peaks[key], m)
        listing = subprocess.run(env_cli + ["list", "--json"], check=True, capture_output=True)
        ident = str(json.loads(listing.stdout)[0]["id"])
        for key, args, out in (
                ("cli export", env_cli + ["export", ident], os.path.join(folder, "out-cli")),
                ("python export", me + ["--export", theirs], os.path.join(folder, "out-py"))):
            fresh(out)
            s, m = run(args + [out])
            times[key].append(s)
            peaks[key] = max(peaks[key], m)
    print(f"{devices} device-days, {runs} runs each, medians:")
    for key in times:
        print(f"  {key:14s} {statistics.median(times[key]):7.3f} s   peak RSS {peaks[key]:7.1f} MiB")
    for what in ("add", "export"):
        ratio = statistics.median(times["cli " + what]) / statistics.median(times["python " + what])
        print(f"  cli {what} / python {what}: {ratio:.2f}")
    same = all(open(os.path.join(folder, "out-cli", n), "rb").read() ==
               open(os.path.join(src, n), "rb").read() for n in os.listdir(src))
    print(f"  the CLI's files are the source files byte for byte: {same}")


if __name__ == "__main__":
    main()
