#!/usr/bin/env python3
"""Turns the benchmark's JSON and the isoread timings into one Markdown table."""
import json
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


def main():
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
