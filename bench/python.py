#!/usr/bin/python3
"""The Python package on 1,000,000 distinct basic datetime texts, against
pandas.to_datetime with a format and ciso8601.parse_datetime in a loop.

    /usr/bin/python3 bench/python.py [--build DIR] [--rounds N] [--readers-json FILE]

All read the same texts; their results are checked to agree before anything
is timed. The machine may be shared, so the contenders run interleaved,
round after round, and each figure is the median of its rounds (wall time
of one whole call, per field: CPU time first, as bench/run's other
figures, wall time beside it). With --readers-json (zb_bench's output in
bench/run) the table also gives B8601DT's own time per field from the same
run; where the build holds zb_bench, B8601DT's own time is taken between
the rounds instead, so that both figures see the same load. Prints a
Markdown table.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time

N = 1_000_000
FORMAT = "%Y%m%dT%H%M%S"


def texts():
    """N distinct datetimes from 1970 on, 317 s apart: basic notation as
    fixed-width bytes ('S15'), and the same as a list of str."""
    import numpy as np
    t = np.datetime64("1970-01-01T00:00:00") + np.arange(N, dtype=np.int64) * 317
    ext = np.datetime_as_string(t, unit="s").astype("S19")  # 1970-01-01T00:00:00
    b = ext.view(np.uint8).reshape(N, 19)
    cols = [0, 1, 2, 3, 5, 6, 8, 9, 10, 11, 12, 14, 15, 17, 18]
    fixed = np.ascontiguousarray(b[:, cols]).view("S15").reshape(N)
    return fixed, [s.decode() for s in fixed.tolist()], t


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                    "..", "build"))
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--readers-json")
    args = ap.parse_args()
    os.environ["ZELBRANT_BUILD"] = os.path.abspath(args.build)
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
    import ciso8601
    import numpy as np
    import pandas as pd
    import zelbrant

    fixed, strs, want = texts()
    assert len(set(strs)) == N, "texts not distinct"
    reader = zelbrant.Reader("B8601DT15.")
    obj = np.array(strs, dtype=object)

    # zb_bench's reader figure cycles over 16,384 texts that stay in cache;
    # the same on the first 16,384 texts, 61 calls (999,424 fields).
    small = fixed[:16384].copy()
    contenders = {
        "zelbrant, S15 array (in place)": lambda: reader.read(fixed),
        "zelbrant, S15 array of 16,384 in cache, 61 calls": lambda: [reader.read(small)
                                                                     for _ in range(61)],
        "zelbrant, list of str": lambda: reader.read(strs),
        "zelbrant, S15 array + datetime64[s]": lambda: zelbrant.to_datetime64(
            reader.read(fixed), unit="s"),
        "pandas.to_datetime(format=)": lambda: pd.to_datetime(obj, format=FORMAT),
        "ciso8601.parse_datetime loop": lambda: [ciso8601.parse_datetime(s) for s in strs],
    }

    # Agreement first: every contender gives every instant.
    want_s = want.astype("datetime64[s]")
    host = reader.read(fixed)
    assert (reader.codes == 0).all()
    checks = {
        "zelbrant, S15 array (in place)": zelbrant.to_datetime64(host, unit="s"),
        "zelbrant, list of str": zelbrant.to_datetime64(reader.read(strs), unit="s"),
        "zelbrant, S15 array + datetime64[s]": contenders["zelbrant, S15 array + datetime64[s]"](),
        "pandas.to_datetime(format=)": np.asarray(contenders["pandas.to_datetime(format=)"]())
        .astype("datetime64[s]"),
        "ciso8601.parse_datetime loop": np.array(contenders["ciso8601.parse_datetime loop"](),
                                                 dtype="datetime64[s]"),
    }
    np.testing.assert_array_equal(reader.read(small), host[:16384])
    for name, got in checks.items():
        bad = np.flatnonzero(got != want_s)
        if bad.size:
            i = int(bad[0])
            sys.exit(f"bench/python.py: {name} disagrees on {bad.size} texts, first "
                     f"{strs[i]!r}: {got[i]} != {want_s[i]}")
    del checks

    zb_bench = os.path.join(os.path.abspath(args.build), "zb_bench")
    own_rounds = []

    def reader_own():
        # B8601DT's own time per field, zb_bench's figure, taken between
        # our rounds so that both see the same load.
        p = subprocess.run([zb_bench, "--benchmark_filter=^peer/B8601DT$",
                            "--benchmark_min_time=0.3", "--benchmark_format=json"],
                           capture_output=True, text=True, check=True)
        b = json.loads(p.stdout)["benchmarks"][0]
        unit = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
        own_rounds.append(b["cpu_time"] * unit)

    wall = {name: [] for name in contenders}
    cpu = {name: [] for name in contenders}
    for _ in range(args.rounds):
        if os.access(zb_bench, os.X_OK):
            reader_own()
        for name, f in contenders.items():
            t0, c0 = time.perf_counter(), time.process_time()
            f()
            c1, t1 = time.process_time(), time.perf_counter()
            wall[name].append(t1 - t0)
            cpu[name].append(c1 - c0)
    fields = {name: 61 * 16384 if "61 calls" in name else N for name in contenders}
    ns = {name: statistics.median(v) / fields[name] * 1e9 for name, v in cpu.items()}
    wall_ns = {name: statistics.median(v) / fields[name] * 1e9 for name, v in wall.items()}

    own = statistics.median(own_rounds) if own_rounds else None
    if own is None and args.readers_json and os.path.exists(args.readers_json):
        with open(args.readers_json) as f:
            for b in json.load(f)["benchmarks"]:
                if b.get("aggregate_name") == "median" and b["run_name"] == "peer/B8601DT":
                    unit = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
                    own = b["cpu_time"] * unit

    pandas_ns = ns["pandas.to_datetime(format=)"]
    print(f"Python: {N:,} distinct B8601DT texts per call, median of {args.rounds} "
          f"interleaved rounds; ns/field CPU time, wall time beside it")
    print()
    head = ["reader", "ns/field", "wall ns/field", "fields/s", "x vs pandas", "x vs ciso8601"]
    if own:
        head.append("x B8601DT's own")
    print("| " + " | ".join(head) + " |")
    print("|" + "|".join(["---"] + ["---:"] * (len(head) - 1)) + "|")
    for name, t in ns.items():
        row = [name, "%.1f" % t, "%.1f" % wall_ns[name], "%.3g" % (1e9 / t), "%.2f" % (pandas_ns / t),
               "%.2f" % (ns["ciso8601.parse_datetime loop"] / t)]
        if own:
            row.append("%.2f" % (t / own))
        print("| " + " | ".join(row) + " |")
    if own:
        print(f"| B8601DT's own (zb_bench peer/B8601DT, between the rounds) | {own:.1f} | | {1e9 / own:.3g} "
              f"| {pandas_ns / own:.2f} | {ns['ciso8601.parse_datetime loop'] / own:.2f} | 1.00 |")


if __name__ == "__main__":
    main()
