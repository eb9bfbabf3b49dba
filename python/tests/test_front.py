"""The pandas-shaped front door: exact values at every unit, NaT, pandas
habits, durations and intervals as data, threads and pickling."""

import datetime as dt
import pickle
import random

import numpy as np
import pandas as pd
import pytest

import zelbrant

PER_SECOND = {"s": 1, "ms": 10 ** 3, "us": 10 ** 6, "ns": 10 ** 9}
EPOCH = dt.datetime(1970, 1, 1)


def want_ticks(text_dt, digits, unit):
    """Ticks of unit of a naive datetime and fraction digits (a string),
    floored, by integer arithmetic alone."""
    d = text_dt - EPOCH
    whole = d.days * 86400 + d.seconds
    frac = int(digits or "0")
    return (whole * 10 ** len(digits or "") + frac) * PER_SECOND[unit] // 10 ** len(digits or "")


def random_texts(rng, lo, hi, digits, n=400):
    out = []
    for _ in range(n):
        t = lo + dt.timedelta(seconds=rng.randrange(int((hi - lo).total_seconds())))
        f = "".join(rng.choice("0123456789") for _ in range(digits))
        out.append((t, f))
    return out


@pytest.mark.parametrize("unit", ["s", "ms", "us", "ns"])
@pytest.mark.parametrize("lo,hi,digits", [
    (dt.datetime(1960, 1, 1), dt.datetime(1980, 1, 1), 6),
    (dt.datetime(1700, 1, 1), dt.datetime(1960, 1, 1), 3),
    (dt.datetime(2200, 1, 1), dt.datetime(9999, 1, 1), 3),
])
def test_every_unit_exact_on_random_values(unit, lo, hi, digits):
    rng = random.Random(f"{unit}{lo}{digits}")
    rows = random_texts(rng, lo, hi, digits)
    texts = [f"{t:%Y-%m-%dT%H:%M:%S}.{f}" for t, f in rows]
    got = zelbrant.to_datetime(texts, "i8601dt", unit=unit, errors="coerce")
    got = pd.DatetimeIndex(got).asi8 if unit == "ns" else got.view(np.int64)
    nat = np.iinfo(np.int64).min
    for (t, f), text, g in zip(rows, texts, got):
        w = want_ticks(t, f, unit)
        if not -2 ** 63 < w < 2 ** 63:
            assert g == nat, text  # beyond the unit: NaT under "coerce"
        else:
            assert g == w, f"{text} at {unit}: {g} != {w}"


def test_1970_milliseconds_are_not_one_low():
    # A double near 1970 counted from 1960 cannot hold .014 exactly; the
    # value stands for the text's .014 at every unit.
    s = pd.Series(["1970-01-01T00:10:34.014Z"])
    for unit in ("ms", "us", "ns"):
        got = zelbrant.to_datetime(s, "i8601dz", unit=unit)
        ticks = pd.DatetimeIndex(got).asi8[0] if unit == "ns" else got.view(np.int64)[0]
        assert ticks == 634014 * PER_SECOND[unit] // 1000
    rng = random.Random(7)
    texts = [f"1970-01-01T{rng.randrange(24):02}:{rng.randrange(60):02}:"
             f"{rng.randrange(60):02}.{rng.randrange(1000):03}Z" for _ in range(20000)]
    got = zelbrant.to_datetime(texts, "i8601dz", unit="ms").view(np.int64)
    want = [int(t[11:13]) * 3600000 + int(t[14:16]) * 60000 + int(t[17:19]) * 1000 +
            int(t[20:23]) for t in texts]
    assert got.tolist() == want


def test_nat_for_missing_failed_and_out_of_range_under_coerce():
    s = pd.Series(["20110909T123045", None, float("nan"), "", "garbage", "16000101T000000"],
                  name="when", index=list("abcdef"))
    got = zelbrant.to_datetime(s, "B8601DT", errors="coerce")
    assert got.dtype == "datetime64[ns]"
    assert got.name == "when" and list(got.index) == list("abcdef")
    assert got.iloc[0] == pd.Timestamp("2011-09-09T12:30:45")
    assert got.iloc[1:].isna().all()
    # 1600 fits datetime64[us].
    us = zelbrant.to_datetime(s, "B8601DT", errors="coerce", unit="us")
    assert str(us[5]) == "1600-01-01T00:00:00.000000"
    with pytest.raises(zelbrant.ReadError, match="row 4: .*garbage"):
        zelbrant.to_datetime(s, "B8601DT")
    with pytest.raises(zelbrant.ReadError, match="row 1: .*outside what the unit holds"):
        zelbrant.to_datetime(s[[0, 5]], "B8601DT")


def test_pandas_habits():
    df = pd.DataFrame({"when": ["20110909T123045"], "n": [1]})
    with pytest.raises(TypeError, match=r"not a DataFrame: pass the column.*'when'"):
        zelbrant.to_datetime(df, "B8601DT")
    with pytest.raises(TypeError, match="not a DataFrame"):
        zelbrant.Reader("B8601DT").read(df)
    numbers = pd.Series([20110909, 20120101], name="day")
    for errors in ("raise", "coerce"):
        with pytest.raises(TypeError, match=r"read the column as text.*'day': str"):
            zelbrant.to_datetime(numbers, "B8601DA", errors=errors)
    # A column of no text at all (read_csv makes it float NaN) is all NaT.
    assert zelbrant.to_datetime(pd.Series([np.nan, np.nan]), "B8601DA").isna().all()
    # Stray numbers in text are NaT under "coerce", an error under "raise".
    mixed = pd.Series(["20110909", 5])
    assert zelbrant.to_datetime(mixed, "B8601DA", errors="coerce").isna().tolist() == [False, True]
    with pytest.raises(TypeError, match="row 1: int is not text"):
        zelbrant.to_datetime(mixed, "B8601DA")
    # errors="ignore" gives the input back when a field is refused.
    bad = ["20110909", "x"]
    assert zelbrant.to_datetime(bad, "B8601DA", errors="ignore") is bad
    assert zelbrant.to_datetime(mixed, "B8601DA", errors="ignore") is mixed
    # Zoned readers give UTC; utc=True asks for it, utc=False drops it.
    z = zelbrant.to_datetime(pd.Series(["20110909T123045+0100"]), "B8601DZ")
    assert str(z.dtype) == "datetime64[ns, UTC]" and z[0] == pd.Timestamp("2011-09-09 11:30:45Z")
    assert str(zelbrant.to_datetime(["20110909T123045"], "B8601DT", utc=True).dtype) == \
        "datetime64[ns, UTC]"
    assert zelbrant.to_datetime(["20110909T123045Z"], "B8601DZ", utc=False).tz is None
    # Scalars, lists, Index.
    assert zelbrant.to_datetime("20110909", "B8601DA") == pd.Timestamp("2011-09-09")
    assert zelbrant.to_datetime(None, "B8601DA") is pd.NaT
    idx = zelbrant.to_datetime(pd.Index(["20110909"], name="d"), "B8601DA")
    assert isinstance(idx, pd.DatetimeIndex) and idx.name == "d"
    assert zelbrant.to_datetime("20110909", "B8601DA", unit="s") == np.datetime64("2011-09-09", "s")
    assert zelbrant.to_timedelta("123045", "B8601TM") == pd.Timedelta(hours=12, minutes=30,
                                                                      seconds=45)
    assert zelbrant.to_timedelta(["1230455"], "B8601TM", unit="ms")[0] == \
        np.timedelta64(45045500, "ms")
    assert zelbrant.__version__
    # One reader per (informat, module, options) and thread, kept.
    assert zelbrant.reader("B8601DT") is zelbrant.reader("B8601DT")
    assert zelbrant.reader("B8601DT") is not zelbrant.reader("B8601DT", gmt_offset=0)


def test_durations_as_data():
    texts = ["P1Y2M10DT2H30M", "PT36H", "-P2W", "PT2H30.5M", None, "-PT1.5S"]
    f = zelbrant.durations(pd.Series(texts, index=list("abcdef")), errors="coerce")
    assert list(f.index) == list("abcdef")
    assert f.loc["a", ["years", "months", "days", "hours", "minutes"]].tolist() == [1, 2, 10, 2, 30]
    assert f.loc["a", "seconds"] is pd.NA
    assert f["sign"].tolist() == [1, 1, -1, 1, 0, -1]
    assert f.loc["c", "days"] == 14 and f.loc["c", "weeks"]
    assert f.loc["d", "thousandths"] == 500 and f.loc["d", "fraction_of"] == "minutes"
    td = f["timedelta"]
    assert td.dtype == "timedelta64[ns]"
    assert pd.isna(td["a"]) and pd.isna(td["e"])  # years and months; missing
    assert td["b"] == pd.Timedelta(hours=36)
    assert td["c"] == -pd.Timedelta(days=14)
    assert td["d"] == pd.Timedelta(hours=2, minutes=30, seconds=30)
    assert td["f"] == -pd.Timedelta(seconds=1.5)
    with pytest.raises(ValueError, match="row 0: a duration of years or months"):
        zelbrant.durations(texts[:2])
    offsets = zelbrant.to_dateoffset(f)
    assert pd.Timestamp("2011-01-31") + offsets["a"] == pd.Timestamp("2012-04-10 02:30")
    assert offsets["e"] is None


@pytest.mark.parametrize("text,want", [
    ("P1.5D", pd.Timedelta(days=1, hours=12)),
    ("PT1.5H", pd.Timedelta(hours=1, minutes=30)),
    ("PT1.5M", pd.Timedelta(minutes=1, seconds=30)),
    ("PT1.5S", pd.Timedelta(seconds=1, milliseconds=500)),
    ("-P1DT0.25H", -pd.Timedelta(days=1, minutes=15)),
    ("P1W", pd.Timedelta(days=7)),
    ("P0.5Y", pd.NaT),
    ("P0.5M", pd.NaT),
    ("P1MT1H", pd.NaT),
])
def test_exact_timedelta_of_each_fraction(text, want):
    td = zelbrant.durations([text], errors="coerce")["timedelta"][0]
    assert (pd.isna(td) and want is pd.NaT) or td == want


def test_intervals_as_data():
    f = zelbrant.intervals(["2011-01-31T10:00:00/P1M", "P1D/2011-09-09T12:00:00",
                            "2011-01-01/2011-02-01", "P2D", "x"], errors="coerce")
    assert f["start"].tolist()[:3] == [pd.Timestamp("2011-01-31 10:00"),
                                       pd.Timestamp("2011-09-08 12:00"),
                                       pd.Timestamp("2011-01-01")]
    assert f["end"].tolist()[:3] == [pd.Timestamp("2011-02-28 10:00"),
                                     pd.Timestamp("2011-09-09 12:00"),
                                     pd.Timestamp("2011-02-01")]
    assert pd.isna(f["start"][3]) and f["days"][3] == 2  # a lone duration has no ends
    assert pd.isna(f["start"][4]) and f["sign"][4] == 0
    assert f["months"][0] == 1


def test_packed_entities_into_fixed_width_bytes():
    r = zelbrant.Reader("$IS860DU")
    got = r.read_packed(["PT36H", "", "X"], errors="coerce")
    assert got.dtype == "S16"
    assert got.tolist() == [b"0000000000002412", b"FFFFFFFFFFFFFFFF", b""]
    vl = zelbrant.Reader("$IS860VL").read_packed(["P2D"])
    assert vl.dtype == "S32"


def test_threads_give_the_same_values():
    rng = random.Random(3)
    texts = [f"{rng.randrange(1900, 2100)}{rng.randrange(1, 13):02}{rng.randrange(1, 29):02}T"
             f"{rng.randrange(24):02}{rng.randrange(60):02}{rng.randrange(60):02}"
             for _ in range(100003)]
    texts[50001] = None
    texts[99999] = "bad"
    r = zelbrant.Reader("B8601DT")
    one = r.read_ticks(texts, errors="coerce", threads=1)
    codes = r.codes.copy()
    for k in (2, 3, 7):
        np.testing.assert_array_equal(r.read_ticks(texts, errors="coerce", threads=k), one)
        np.testing.assert_array_equal(r.codes, codes)
    assert one[50001] == one[99999] == np.iinfo(np.int64).min
    with pytest.raises(zelbrant.ReadError, match="row 99999: b'bad'"):
        r.read_ticks(texts, threads=2)  # a row of the second block of texts
    d = zelbrant.durations(["PT1H"] * 60000, threads=2)
    assert (d["hours"] == 1).all()


def test_reader_pickles_by_its_parameters():
    r = zelbrant.Reader("ND8601DT19.", module="morvista", gmt_offset=0)
    back = pickle.loads(pickle.dumps(r))
    assert back.name == r.name and back.module == "morvista"
    assert back.read_ticks(["20110909T123045"]).tolist() == [1315571445 * 10 ** 9]


def test_readers_lists_every_reader_and_its_example_reads():
    table = zelbrant.readers()
    assert {"B8601DT", "ND8601DZ", "i8601dz", "$IS860DU"} <= set(table["name"])
    assert table.set_index("name").loc["B8601DZ", "zoned"]
    assert set(zelbrant.readers("morvista")["modules"].str.contains("morvista")) == {True}
    read = {"date": zelbrant.to_datetime, "datetime": zelbrant.to_datetime,
            "time": zelbrant.to_timedelta, "duration": zelbrant.durations,
            "interval": zelbrant.intervals}
    for row in table.itertuples():
        if row.kind not in read or row.routine.startswith("zifm"):
            continue
        module = row.modules.split()[0]
        if row.kind in ("duration", "interval"):
            # Read whole, by errors="raise" on the reading (coerce on the
            # timedelta of years and months, which has no exact length).
            got = read[row.kind]([row.example], row.name, module=module, errors="coerce")
            assert got["sign"][0] != 0, row.name
        else:
            got = read[row.kind]([row.example], row.name, module=module)
            assert not pd.isna(got[0]), row.name
