#!/usr/bin/env python3
"""Turns the benchmark's JSON and the isoread timings into one Markdown table.

    table.py READERS_JSON ISOREAD_TXT        the table of bench/run
    table.py --compare DIR ROUNDS [ITERATIONS]
                                             the table of bench/compare (with
                                             ITERATIONS, of its callgrind runs too)
"""
import glob
import json
import os
import statistics
import sys

PEERS = ["peer/strptime+timegm", "peer/absl::ParseTime", "peer/date::parse", "peer/floor"]
SHORT = {"peer/strptime+timegm": "strptime+timegm", "peer/absl::ParseTime": "absl::ParseTime",
         "peer/date::parse": "date::parse", "peer/floor": "floor"}


def medians(path):
    with open(path) as f:
        data = json.load(f)
    out = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        unit = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
        out[b["run_name"]] = b["cpu_time"] * unit  # the machine is shared: CPU time
    return data.get("context", {}), out


def samples(path):
    """CPU ns per field of every repetition of every benchmark of a run."""
    with open(path) as f:
        data = json.load(f)
    out = {}
    for b in data["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration":
            continue
        unit = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
        out.setdefault(b["run_name"], []).append(b["cpu_time"] * unit)
    return out


def quantile(xs, q):
    xs = sorted(xs)
    return xs[round((len(xs) - 1) * q)]


def callgrind_ir(tmp, side, iterations):
    """Instructions per field of each benchmark of one callgrind run.

    The run dumped before each benchmark loop: dump k + 1 holds the k-th
    benchmark, the final profile the last one."""
    with open(os.path.join(tmp, "cg.%s.json" % side)) as f:
        names = [b["run_name"].split("/iterations:")[0] for b in json.load(f)["benchmarks"]]
    base = os.path.join(tmp, "cg." + side)
    parts = sorted(glob.glob(base + ".*[0-9]"), key=lambda p: int(p.rsplit(".", 1)[1]))
    files = parts[1:] + [base]
    if len(files) != len(names):
        sys.exit("table.py: %d callgrind profiles for %d benchmarks" % (len(files), len(names)))
    out = {}
    for name, path in zip(names, files):
        with open(path) as f:
            total = next(int(line.split()[1]) for line in f if line.startswith("totals:"))
        out[name] = total / iterations
    return out


def compare(tmp, rounds, ir_iterations):
    # runs[side][r][name]: the repetitions of round r, benchmarks in run order.
    def round_of(side, r):
        out = {}
        paths = glob.glob(os.path.join(tmp, "%s.%d.*.json" % (side, r)))
        for path in sorted(paths, key=lambda p: int(p.rsplit(".", 2)[1])):
            out.update(samples(path))
        return out

    runs = {side: [round_of(side, r) for r in range(1, rounds + 1)] for side in ("before", "after")}
    ir = None
    if ir_iterations:
        ir = {side: callgrind_ir(tmp, side, ir_iterations) for side in ("before", "after")}
    head = ["benchmark", "before ns", "after ns", "after/before", "round ratios"]
    if ir:
        head += ["before Ir", "after Ir", "Ir after/before"]
    head.append("")
    print("| " + " | ".join(head) + " |")
    print("|" + "|".join(["---"] + ["---:"] * (len(head) - 2) + ["---"]) + "|")
    for name in runs["before"][0]:
        if not all(name in run for side in runs for run in runs[side]):
            continue
        every = {side: [t for run in runs[side] for t in run[name]] for side in runs}
        b, a = min(every["before"]), min(every["after"])
        ratios = [min(ra[name]) / min(rb[name]) for rb, ra in zip(runs["before"], runs["after"])]
        row = [name, "%.1f (%.1f)" % (b, statistics.median(every["before"])),
               "%.1f (%.1f)" % (a, statistics.median(every["after"])), "%.3f" % (a / b),
               "%.3f (%.3f to %.3f)" % (statistics.median(ratios), quantile(ratios, 0.25),
                                        quantile(ratios, 0.75))]
        flags = ["slower" if a / b > 1.05 else ""]
        if ir:
            ib, ia = ir["before"].get(name), ir["after"].get(name)
            if ib and ia:
                row += ["%.0f" % ib, "%.0f" % ia, "%.3f" % (ia / ib)]
                if ia / ib > 1.05:
                    flags.append("more instructions")
            else:
                row += ["", "", ""]
        row.append(", ".join(f for f in flags if f))
        print("| " + " | ".join(row) + " |")
    print()
    print("ns: CPU time per field, the least of all %d rounds' repetitions (the median "
          "of them in brackets); before and after ran benchmark by benchmark, one after "
          "the other, in alternating order. after/before: of the least figures. Round "
          "ratios: each round's after/before of its least figures, their median and "
          "middle half. Ir: instructions per field under callgrind (a whole cycle of "
          "each benchmark's fields), independent of load. Flagged: a ratio over 1.05."
          % rounds)


def main():
    if sys.argv[1] == "--compare":
        compare(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]) if len(sys.argv) > 4 else 0)
        return
    ctx, ns = medians(sys.argv[1])
    peers = {p: ns[p] for p in PEERS if p in ns}
    head = ["informat", "ns/field", "fields/s"] + ["x vs " + SHORT[p] for p in peers]
    print("| " + " | ".join(head) + " |")
    print("|" + "|".join(["---"] + ["---:"] * (len(head) - 1)) + "|")
    for name, t in ns.items():
        if name.startswith("peer/") and name != "peer/B8601DT":
            continue
        label = {"peer/B8601DT": "B8601DT (peers' texts)",
                 "calls/B8601DA": "B8601DA's host calls alone"}.get(name, name)
        row = [label, "%.1f" % t, "%.3g" % (1e9 / t)]
        row += ["%.2f" % (peers[p] / t) for p in peers]
        print("| " + " | ".join(row) + " |")
    for p in peers:
        t = peers[p]
        print("| " + " | ".join([SHORT[p] + " (peer)", "%.1f" % t, "%.3g" % (1e9 / t)] +
                                ["" for _ in peers]) + " |")
    print()
    print("ns/field: median CPU time per field. "
          "x vs PEER: how many times faster than the peer the informat reads a field "
          "(peer ns / informat ns); the peers read the B8601DT texts. "
          "B8601DA's host calls alone: the six host services that B8601DA calls on a "
          "field, made with the same arguments and nothing else.")
    print()
    print("| isoread | input MB | seconds | MB/s | peak RSS MB |")
    print("|---|---:|---:|---:|---:|")
    with open(sys.argv[2]) as f:
        for line in f:
            label, size, wall, rss = line.split()
            size, wall, rss = int(size), float(wall), int(rss)
            rate = size / 1e6 / wall if wall > 0 else float("inf")
            print("| %s | %.0f | %.2f | %.0f | %.1f |" % (label.replace("_", " "), size / 1e6, wall,
                                                           rate, rss / 1024))


if __name__ == "__main__":
    main()
