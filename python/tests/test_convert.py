"""Host values to NumPy, pandas and Python dates and times, and back."""

import datetime as dt

import numpy as np
import pandas as pd
import pytest

import zelbrant
import zelbrant.pandas as zpd

TEXTS = ["20110909T123045", "20110909T123045123", "19600101T000000", "19591231T235959",
         "15821015T000000", "99991231T235959999", None]


def test_datetime64_round_trips_at_every_unit():
    r = zelbrant.Reader("B8601DT19.")
    host = r.read(TEXTS)
    for unit in ("s", "ms", "us", "ns"):
        t = zelbrant.to_datetime64(host if unit != "ns" else host[:4], unit=unit)
        assert t.dtype == np.dtype(f"datetime64[{unit}]")
        back = zelbrant.from_datetime64(t)
        if unit == "s":
            np.testing.assert_array_equal(back, np.floor(host))
        else:
            np.testing.assert_array_equal(back, host if unit != "ns" else host[:4])
    us = zelbrant.to_datetime64(host, unit="us")
    assert str(us[0]) == "2011-09-09T12:30:45.000000"
    assert str(us[1]) == "2011-09-09T12:30:45.123000"
    assert str(us[3]) == "1959-12-31T23:59:59.000000"
    assert str(us[5]) == "9999-12-31T23:59:59.999000"
    assert np.isnat(us[6])
    ns = zelbrant.to_datetime64(host[:2], unit="ns").view(np.int64)
    assert ns[1] % 10**9 == 123000000, "the fraction comes out exact"
    with pytest.raises(OverflowError, match="row 4"):
        zelbrant.to_datetime64(host, unit="ns")  # 1582 lies before datetime64[ns]


def test_dates_times_and_python_objects():
    days = zelbrant.Reader("B8601DA8.").read(["20110909", "19591231", None])
    assert zelbrant.to_datetime64(days, "date", "s").astype(str).tolist()[:2] == [
        "2011-09-09T00:00:00", "1959-12-31T00:00:00"]
    assert zelbrant.to_date(days).tolist() == [dt.date(2011, 9, 9), dt.date(1959, 12, 31), None]
    assert [zelbrant.from_date(d) for d in zelbrant.to_date(days)[:2]] == days[:2].tolist()
    secs = zelbrant.Reader("B8601TM15.").read(["123045", "1230455", "000000", "235959999"])
    assert zelbrant.to_time(secs).tolist() == [
        dt.time(12, 30, 45), dt.time(12, 30, 45, 500000), dt.time(0), dt.time(23, 59, 59, 999000)]
    assert [zelbrant.from_time(t) for t in zelbrant.to_time(secs)] == secs.tolist()
    td = zelbrant.to_timedelta64(secs, "ms")
    assert td[1] == np.timedelta64(45045500, "ms")
    np.testing.assert_array_equal(zelbrant.from_timedelta64(td), secs)
    host = zelbrant.Reader("B8601DT19.").read(TEXTS[:6])
    pys = zelbrant.convert.to_datetime(host)
    assert pys[1] == dt.datetime(2011, 9, 9, 12, 30, 45, 123000)
    assert [zelbrant.from_datetime(x) for x in pys] == host.tolist()
    aware = dt.datetime(2011, 9, 9, 13, 30, 45, tzinfo=dt.timezone(dt.timedelta(hours=1)))
    assert zelbrant.from_datetime(aware) == 1631190645.0


def test_pandas_read_keeps_index_and_name():
    s = pd.Series(["20110909T123045", None, "20110909T123045123"], index=[10, 20, 30], name="ts")
    out = zpd.read(s, "B8601DT19.")
    assert out.dtype == np.dtype("datetime64[ns]")
    assert out.index.tolist() == [10, 20, 30] and out.name == "ts"
    assert out[10] == pd.Timestamp("2011-09-09T12:30:45")
    assert pd.isna(out[20])
    assert out[30] == pd.Timestamp("2011-09-09T12:30:45.123")
    times = zpd.read(pd.Series(["123045"]), "B8601TM8.")
    assert times.dtype.kind == "m" and times[0] == pd.Timedelta(seconds=45045)
    with pytest.raises(zelbrant.ReadError):
        zpd.read(pd.Series(["bad"]), "B8601DT19.")
    assert pd.isna(zpd.read(pd.Series(["bad"]), "B8601DT19.", errors="coerce")[0])
