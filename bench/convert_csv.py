#!/usr/bin/python3
"""A device-day to CSV three ways: `dravmer-cli convert` (the build under test, and another build
to compare with), and what a pandas user would write instead (read the .adc with numpy, to_csv).

Writes DIR/261206-001-000042.adc (86,400 records of all 43 parameters, floats of the kind a
device gives) unless it exists, then for each way prints the seconds it took and the size of
its CSV. Time the commands it prints with a process timer for figures worth quoting.

Usage: /usr/bin/python3 bench/convert_csv.py DRAVMER_CLI [OTHER_DRAVMER_CLI] [DIR]
       /usr/bin/python3 bench/convert_csv.py --pandas ADC CSV   (the pandas way alone)
"""
import os
import struct
import subprocess
import sys
import time

import numpy as np
import pandas as pd

NAME = "261206-001-000042.adc"
START = 1796540703  # 2026-12-06 07:05:03 UTC


def make(path, rows=86400):
    rng = np.random.default_rng(7)
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


def pandas_way(adc, csv):
    raw = np.fromfile(adc, dtype=np.uint8)
    count = int.from_bytes(raw[48:52].tobytes(), "little")
    start = int.from_bytes(raw[52:56].tobytes(), "little")
    values = raw[124:].view("<f4").reshape(-1, count)
    table = pd.DataFrame(values, columns=[f"c{i}" for i in raw[60:60 + count]])
    times = pd.to_datetime(start + table["c0"].astype("int64"), unit="s", utc=True)
    table.insert(0, "datetime", times.dt.tz_convert("Europe/Moscow"))
    table.insert(1, "address", 42)
    table.to_csv(csv, index=False)


def timed(label, args, out):
    if os.path.exists(out):
        os.remove(out)
    t = time.perf_counter()
    subprocess.run(args, check=True, stderr=subprocess.DEVNULL)
    seconds = time.perf_counter() - t
    print(f"{label:28s} {seconds:7.3f} s  {os.path.getsize(out) / 1e6:8.1f} MB   {' '.join(args)}")


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--pandas":
        pandas_way(sys.argv[2], sys.argv[3])
        return
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    cli = sys.argv[1]
    other = sys.argv[2] if len(sys.argv) > 2 and os.access(sys.argv[2], os.X_OK) else None
    folder = sys.argv[-1] if len(sys.argv) > 2 and not os.access(sys.argv[-1], os.X_OK) \
        else "/tmp/dravmer-csv-bench"
    os.makedirs(folder, exist_ok=True)
    adc = os.path.join(folder, NAME)
    if not os.path.exists(adc):
        make(adc)
    print(f"{adc}: {os.path.getsize(adc) / 1e6:.1f} MB")
    out = os.path.join(folder, "day.csv")
    timed("convert (this build)", [cli, "convert", adc, out], out)
    if other:
        timed("convert (other build)", [other, "convert", adc, out], out)
    timed("numpy + pandas to_csv", [sys.executable, __file__, "--pandas", adc, out], out)


if __name__ == "__main__":
    main()
