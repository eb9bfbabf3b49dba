#!/usr/bin/python3
"""The Python front door against pandas' fastest path for each kind of text,
ciso8601 and isodate: from a pandas Series of str to datetime64 (or, for
durations, to their components).

    /usr/bin/python3 bench/python.py [--build DIR] [--rounds N] [--n N] [--scale N]

Kinds, 1,000,000 distinct texts each (--n): basic datetimes (B8601DT),
extended datetimes (i8601dt), basic dates (B8601DA), zoned datetimes
(B8601DZ, offsets all over the day) and durations ($IS860DU). pandas runs
its default ISO path and format=; the faster of the two is "pandas'
fastest". Each contender's result is checked to agree with the others
before anything is timed; then the contenders run interleaved, round after
round, and each figure is the median of its rounds (wall time of one whole
call per text). A last table reads --scale texts (default 4,000,000) with
threads=1 and threads=2. Prints Markdown tables.
"""

import argparse
import datetime as dt
import os
import statistics
import sys
import time


def make_texts(n):
    """n distinct instants from 1970 on, 317 s apart, in each notation."""
    import numpy as np
    import pandas as pd
    t = np.datetime64("1970-01-01T00:00:00") + np.arange(n, dtype=np.int64) * 317
    ext = np.datetime_as_string(t, unit="s")
    s_ext = pd.Series(ext.astype(object))
    s_basic = s_ext.str.replace("-", "", regex=False).str.replace(":", "", regex=False)
    days = np.datetime64("1600-01-01") + np.arange(n, dtype=np.int64)
    s_date = pd.Series(np.datetime_as_string(days, unit="D").astype(object)).str.replace(
        "-", "", regex=False)
    # Offsets from -12:00 to +14:00 in quarter hours.
    q = np.arange(n) % 105 - 48
    sign = np.where(q < 0, "-", "+")
    hhmm = [f"{abs(x) // 4:02}{abs(x) % 4 * 15:02}" for x in q.tolist()]
    s_zoned = s_basic + pd.Series(sign.astype(object)) + pd.Series(hhmm)
    utc = t - (q * 15 * 60).astype("timedelta64[s]")
    # Durations: distinct combinations of days, hours, minutes, seconds.
    i = np.arange(n)
    s_dur = ("P" + pd.Series((i % 28).astype(str)) + "DT" + pd.Series((i // 28 % 24).astype(str))
             + "H" + pd.Series((i // 672 % 60).astype(str)) + "M" +
             pd.Series((i // 40320 % 60).astype(str)) + "S")
    # The days pandas holds (1677-09-22 to 2262-04-10), over and over.
    near = np.datetime64("1677-09-22") + np.arange(n, dtype=np.int64) % 213000
    s_near = pd.Series(np.datetime_as_string(near, unit="D").astype(object)).str.replace(
        "-", "", regex=False)
    return {"basic": s_basic, "extended": s_ext, "date": s_date, "zoned": s_zoned,
            "duration": s_dur, "near": s_near}, t, days, utc, near


def main():
    ap = argparse.ArgumentParser()
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--build", default=os.path.join(here, "..", "build"))
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--n", type=int, default=1_000_000)
    ap.add_argument("--scale", type=int, default=4_000_000)
    ap.add_argument("--readers-json", help="accepted for bench/run; not used")
    args = ap.parse_args()
    os.environ["ZELBRANT_BUILD"] = os.path.abspath(args.build)
    sys.path.insert(0, os.path.join(here, "..", "python"))
    import ciso8601
    import numpy as np
    import pandas as pd
    import zelbrant
    try:
        import isodate
    except ImportError:
        isodate = None

    n = args.n
    texts, instants, days, utc, near = make_texts(n)
    for k, s in texts.items():
        assert k == "near" or s.nunique() == n, f"{k} texts not distinct"

    def ciso_loop(s):
        return [ciso8601.parse_datetime(x) for x in s.tolist()]

    def isodate_parts(s):
        return [isodate.parse_duration(x) for x in s.tolist()]

    zb = zelbrant

    def ours(informat, **kw):
        """zelbrant.to_datetime on one thread and on two."""
        return {f"zelbrant threads={k}": (lambda s, k=k: zb.to_datetime(s, informat, threads=k,
                                                                        **kw))
                for k in (1, 2)}

    kinds = {
        "basic datetime": (texts["basic"], instants, {
            **ours("B8601DT"),
            "pandas default": lambda s: pd.to_datetime(s),
            "pandas format=": lambda s: pd.to_datetime(s, format="%Y%m%dT%H%M%S"),
            "ciso8601 loop": ciso_loop}),
        "extended datetime": (texts["extended"], instants, {
            **ours("i8601dt"),
            "pandas default": lambda s: pd.to_datetime(s),
            "pandas format=": lambda s: pd.to_datetime(s, format="%Y-%m-%dT%H:%M:%S"),
            "ciso8601 loop": ciso_loop}),
        "basic date": (texts["date"], days, {
            **ours("B8601DA", unit="s"),
            # 1,000,000 distinct days run from 1600 to 4337: pandas holds
            # 1677-09-22 to 2262-04-10 alone, and gives NaT (coerce) beyond.
            "pandas default": lambda s: pd.to_datetime(s, errors="coerce"),
            "pandas format=": lambda s: pd.to_datetime(s, format="%Y%m%d", errors="coerce")}),
        "basic date, 213,000 distinct in ns range": (texts["near"], near, {
            **ours("B8601DA", unit="s"),
            "pandas default": lambda s: pd.to_datetime(s),
            "pandas format=": lambda s: pd.to_datetime(s, format="%Y%m%d")}),
        "zoned datetime": (texts["zoned"], utc, {
            **ours("B8601DZ"),
            "pandas default": lambda s: pd.to_datetime(s, utc=True),
            "pandas format=": lambda s: pd.to_datetime(s, format="%Y%m%dT%H%M%S%z", utc=True),
            "ciso8601 loop": ciso_loop}),
    }
    dur = {"zelbrant threads=1": lambda s: zb.durations(s, threads=1),
           "zelbrant threads=2": lambda s: zb.durations(s, threads=2)}
    if isodate is not None:
        dur["isodate loop"] = isodate_parts
    kinds["duration components"] = (texts["duration"], None, dur)

    # Agreement first.
    def as_seconds(name, got, kind):
        if "ciso8601" in name:
            if kind == "zoned datetime":
                got = [x.astimezone(dt.timezone.utc).replace(tzinfo=None) for x in got]
            return np.array(got, dtype="datetime64[s]")
        if isinstance(got, pd.Series):
            got = got.dt.tz_localize(None) if got.dt.tz is not None else got
            got = got.to_numpy()
        return np.asarray(got).astype("datetime64[s]")

    notes = []
    for kind, (s, want, contenders) in kinds.items():
        if want is None:
            zparts = zb.durations(s)
            if isodate is not None:
                sample = isodate_parts(s[:20000])
                secs = [x.total_seconds() for x in sample]
                ours = (zparts["timedelta"][:20000] / pd.Timedelta(seconds=1)).tolist()
                assert secs == ours, "durations disagree with isodate"
            continue
        want = want.astype("datetime64[s]")
        for name, f in contenders.items():
            got = as_seconds(name, f(s), kind)
            ok = got == want
            if "pandas" in name and (kind == "basic date" or kind.startswith("basic date,")):
                inside = (want >= np.datetime64("1677-09-22")) & (want <= np.datetime64("2262-04-10"))
                ok = ok | ~inside
                notes.append(f"{kind}, {name}: {int((~inside).sum()):,} dates beyond "
                             f"datetime64[ns] are NaT (pandas cannot hold them)")
            if not ok.all():
                i = int(np.flatnonzero(~ok)[0])
                sys.exit(f"bench/python.py: {kind}, {name} disagrees on {(~ok).sum()} texts, "
                         f"first {s[i]!r}: {got[i]} != {want[i]}")

    def timed(f, s, rounds):
        t0 = time.perf_counter()
        f(s)
        return time.perf_counter() - t0

    results = {}
    for kind, (s, _, contenders) in kinds.items():
        wall = {name: [] for name in contenders}
        for _ in range(args.rounds):
            for name, f in contenders.items():
                wall[name].append(timed(f, s, args.rounds))
        results[kind] = {name: statistics.median(v) / n * 1e9 for name, v in wall.items()}

    print(f"Python: {n:,} distinct texts per call, a pandas Series of str in; median of "
          f"{args.rounds} interleaved rounds; wall ns per text")
    print()
    print("| kind | contender | ns/text | x pandas' fastest | x threads=1 |")
    print("|---|---|---:|---:|---:|")
    for kind, r in results.items():
        peers = [v for k, v in r.items() if k.startswith("pandas")]
        best = min(peers) if peers else r.get("isodate loop")
        for name, t in r.items():
            x = "%.2f" % (best / t) if best else ""
            print(f"| {kind} | {name} | {t:.1f} | {x} | {r['zelbrant threads=1'] / t:.2f} |")
    for line in notes:
        print(f"\n{line}")

    # Threads on a larger column.
    big = pd.concat([texts["basic"]] * (args.scale // n + 1), ignore_index=True)[:args.scale]
    wall = {1: [], 2: []}
    for _ in range(args.rounds):
        for k in (1, 2):
            wall[k].append(timed(lambda s: zb.to_datetime(s, "B8601DT", threads=k), big, 0))
    one, two = (statistics.median(wall[k]) / args.scale * 1e9 for k in (1, 2))
    print()
    print(f"Threads, {args.scale:,} basic datetimes: threads=1 {one:.1f} ns/text, threads=2 "
          f"{two:.1f} ns/text: {one / two:.2f}x")


if __name__ == "__main__":
    main()
