#!/usr/bin/python3
"""What a small command of dravmer-cli costs as a whole process, against its anchor in the same
run (bench/anchors, built into BUILD/bench/anchors):
  dravmer-cli --version          against  a program on QtCore alone printing its version
  dravmer-cli stats day.adc      against  a bare C reader summing every column of the file
  dravmer-cli stats day.txt      against  the same with a plain decimal parser
  dravmer-cli stats day.adc --json, and catalog, for the record.
Each pair runs RUNS times in turn (A B A B ...) after a warm-up; the medians of the CPU time
(user + system) and of the wall time are printed with the ratio A/B of the CPU medians, and the
shared libraries each program maps at start.

Writes DIR/day.adc and DIR/day.txt (86,400 records of 43 parameters, as
/work/shared/perf/baseline.py makes them) unless they are there.
Usage: /usr/bin/python3 bench/cli_startup.py BUILD [DIR] [RUNS]
"""
import os
import statistics
import struct
import subprocess
import sys
import time


def make(folder, rows=86400):
    import numpy as np
    rng = np.random.default_rng(7)
    data = rng.normal(100.0, 5.0, (rows, 43)).astype(np.float32)
    data[:, 0] = np.arange(rows)
    data[:, 1] = np.arange(rows) % 256
    data[:, 2] = 0xA3
    data[:, 15] = 0
    head = b"Dravmer format .adc ; Firmware version: 01.02 ;".ljust(47, b" ") + b"\0"
    head += struct.pack("<iII", 43, 1733400000, 0) + bytes(range(43)) + bytes(64 - 43)
    with open(os.path.join(folder, "day.adc"), "wb") as f:
        f.write(head)
        f.write(data.tobytes())
    names = (["время", "Цикл", "Cст", "UG", "UG2", "Gi", "UG2_2", "IG", "tоп", "t1", "Pоп", "P",
              "t пр", "Д пт", "dД пт", "GvEr", "t2", "IP", "UGmin", "UGmax", "Рез1", "Рез2", "Рез3"]
             + [f"UG[{i}]" for i in range(10)]
             + ["Temp пр", "Gv(20)", "t1(20)", "P1(20)", "Gи(20)", "tпр(20)", "t2(20)",
                "Rt1(26)", "Rt2(26)", "tps(26)"])
    with open(os.path.join(folder, "day.txt"), "w", encoding="cp1251", newline="") as f:
        f.write("KG=16   KR=1   Ky=19.930000\r\n")
        f.write("".join(n.rjust(5 if i < 3 else 12) for i, n in enumerate(names)) + "\r\n")
        for r in data:
            cells = [f"{int(r[0])}".rjust(5), f"{int(r[1])}".rjust(5), f"{int(r[2]):04X}".rjust(5)]
            cells += [f"{int(v)}".rjust(5) if i == 15 else f"{v:12.6f}"
                      for i, v in enumerate(r) if i > 2]
            f.write("".join(cells) + "\r\n")


def run(args):
    t = time.perf_counter()
    p = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    if status != 0:
        sys.exit(f"failed ({status}): {' '.join(args)}")
    return usage.ru_utime + usage.ru_stime, time.perf_counter() - t


def libraries(program):
    out = subprocess.run(["ldd", program], capture_output=True, text=True).stdout
    return sum(1 for line in out.splitlines() if "=>" in line or line.strip().startswith("/"))


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    folder = sys.argv[2] if len(sys.argv) > 2 else "/tmp/dravmer-startup"
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 21
    os.makedirs(folder, exist_ok=True)
    if not os.path.exists(os.path.join(folder, "day.txt")):
        make(folder)
    cli = os.path.join(build, "tools/cli/dravmer-cli")
    anchors = os.path.join(build, "bench/anchors")
    adc, txt = os.path.join(folder, "day.adc"), os.path.join(folder, "day.txt")
    pairs = [
        ("--version", [cli, "--version"], [os.path.join(anchors, "anchor_qtcore_version")]),
        ("stats day.adc", [cli, "stats", adc], [os.path.join(anchors, "anchor_adc_sum"), adc]),
        ("stats day.txt", [cli, "stats", txt], [os.path.join(anchors, "anchor_txt_sum"), txt]),
        ("stats day.adc --json", [cli, "stats", adc, "--json"],
         [os.path.join(anchors, "anchor_adc_sum"), adc]),
    ]
    print(f"libraries mapped at start: dravmer-cli {libraries(cli)}, "
          f"QtCore anchor {libraries(pairs[0][2][0])}, C readers {libraries(pairs[1][2][0])}")
    print(f"{'command':24s} {'A cpu ms':>9s} {'B cpu ms':>9s} {'A/B cpu':>8s} "
          f"{'A wall ms':>10s} {'B wall ms':>10s}")
    for label, a, b in pairs:
        run(a), run(b)  # warm-up: the files and programs in the page cache
        ca, cb, wa, wb = [], [], [], []
        for _ in range(runs):
            c, w = run(a)
            ca.append(c), wa.append(w)
            c, w = run(b)
            cb.append(c), wb.append(w)
        ma, mb = statistics.median(ca), statistics.median(cb)
        print(f"{label:24s} {ma * 1e3:9.1f} {mb * 1e3:9.1f} {ma / mb if mb else float('nan'):8.2f} "
              f"{statistics.median(wa) * 1e3:10.1f} {statistics.median(wb) * 1e3:10.1f}")


if __name__ == "__main__":
    main()
