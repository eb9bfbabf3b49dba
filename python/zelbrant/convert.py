"""Host values to NumPy and Python dates and times, and back.

Host dates count days from 1960-01-01, host times seconds from midnight,
host datetimes seconds from 1960-01-01T00:00:00; missing values are NaN.
Conversions to datetime64 and timedelta64 are exact, done by the reader
API in integers: a value stands for the decimal with the fewest fraction
digits (at most 9) that reads back to the same double, and that decimal is
floored to the unit asked for (23:59:59.999 is 23:59:59 in seconds).
"""

import datetime as _dt

import numpy as np

from ._capi import KIND_DATE, KIND_DATETIME, KIND_TIME, UNITS, check, lib

EPOCH_DAYS = 3653  # 1960-01-01 to 1970-01-01: a host value is its Unix value plus these
EPOCH_SECONDS = EPOCH_DAYS * 86400
_SCALE = {"s": 1, "ms": 1000, "us": 1000000, "ns": 1000000000}
_NAT = np.iinfo(np.int64).min


def _scale(unit):
    try:
        return _SCALE[unit]
    except KeyError:
        raise ValueError(f"unit must be one of s, ms, us, ns, not {unit!r}") from None


def _ticks(values, kind, unit):
    """int64 ticks of unit of host values (exact, in C), NaN as NaT; a value
    the unit cannot hold raises OverflowError."""
    _scale(unit)
    v = np.ascontiguousarray(values, dtype=np.float64)
    flat = v.reshape(-1)
    out = np.empty(flat.shape, dtype=np.int64)
    codes = np.zeros(flat.shape, dtype=np.uint32)
    check(lib.zb_values_ticks(kind, flat.ctypes.data, flat.size, UNITS[unit], out.ctypes.data,
                              codes.ctypes.data))
    if codes.any():
        i = int(np.flatnonzero(codes)[0])
        raise OverflowError(f"row {i}: {flat[i]} does not fit datetime64[{unit}]")
    return out.reshape(v.shape)


def to_datetime64(values, kind="datetime", unit="us"):
    """Host datetimes (or dates, kind="date") as datetime64[unit]."""
    if kind not in ("date", "datetime"):
        raise ValueError(f"kind must be date or datetime, not {kind!r}")
    k = KIND_DATE if kind == "date" else KIND_DATETIME
    return _ticks(values, k, unit).view(f"datetime64[{unit}]")


def to_timedelta64(values, unit="us"):
    """Host times (seconds) as timedelta64[unit]."""
    return _ticks(values, KIND_TIME, unit).view(f"timedelta64[{unit}]")


def _seconds(ticks, unit):
    """Float seconds of int64 ticks, whole and fraction joined last."""
    t = np.asarray(ticks, dtype=np.int64)
    scale = _scale(unit)
    whole, sub = np.divmod(t, scale)
    out = whole.astype(np.float64) + sub.astype(np.float64) / scale
    out[t == _NAT] = np.nan
    return out


def from_datetime64(values, kind="datetime"):
    """datetime64 values as host datetimes (or host dates, kind="date":
    the day of each)."""
    a = np.asarray(values)
    if a.dtype.kind != "M":
        a = a.astype("datetime64[us]")
    unit = np.datetime_data(a.dtype)[0]
    if unit not in _SCALE:
        a = a.astype("datetime64[s]")
        unit = "s"
    s = _seconds(a.view(np.int64), unit) + EPOCH_SECONDS
    if kind == "date":
        return np.floor(s / 86400.0)
    return s


def from_timedelta64(values):
    a = np.asarray(values)
    if a.dtype.kind != "m":
        raise TypeError("from_timedelta64 takes timedelta64 values")
    unit = np.datetime_data(a.dtype)[0]
    if unit not in _SCALE:
        a = a.astype("timedelta64[us]")
        unit = "us"
    return _seconds(a.view(np.int64), unit)


_DAY0 = _dt.date(1960, 1, 1)
_DT0 = _dt.datetime(1960, 1, 1)


def _each(values, f):
    v = np.asarray(values, dtype=np.float64)
    out = np.empty(v.shape, dtype=object)
    for i, x in np.ndenumerate(v):
        out[i] = None if np.isnan(x) else f(x)
    return out


def _micro(x):
    whole = np.floor(x)
    us = int(np.rint((x - whole) * 1e6))
    return int(whole), us


def to_date(values):
    """Host dates as datetime.date (None for missing)."""
    return _each(values, lambda x: _DAY0 + _dt.timedelta(days=int(x)))


def to_datetime(values):
    """Host datetimes as naive datetime.datetime, to the microsecond."""
    def one(x):
        s, us = _micro(x)
        return _DT0 + _dt.timedelta(seconds=s, microseconds=us)
    return _each(values, one)


def to_time(values):
    """Host times as datetime.time, to the microsecond."""
    def one(x):
        s, us = _micro(x)
        if us == 1000000:
            s, us = s + 1, 0
        if not 0 <= s < 86400:
            raise ValueError(f"{x} s is no time of day")
        return _dt.time(s // 3600, s // 60 % 60, s % 60, us)
    return _each(values, one)


def from_date(d):
    """A datetime.date (or datetime: its day) as a host date."""
    if isinstance(d, _dt.datetime):
        d = d.date()
    return float((d - _DAY0).days)


def from_datetime(t):
    """A naive datetime.datetime as a host datetime (an aware one: its UTC)."""
    if t.tzinfo is not None:
        t = t.astimezone(_dt.timezone.utc).replace(tzinfo=None)
    delta = t - _DT0
    return float(delta.days * 86400 + delta.seconds) + delta.microseconds / 1e6


def from_time(t):
    """A datetime.time as a host time."""
    return float(t.hour * 3600 + t.minute * 60 + t.second) + t.microsecond / 1e6
