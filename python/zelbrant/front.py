"""The pandas-shaped front door: texts in, datetime64, timedelta64 and
DataFrames of parts out, the way pandas.to_datetime is called.

Shapes, with unit="ns" (what pandas 1.5 holds): a Series gives a Series
(same index and name), an Index, array or list a DatetimeIndex
(TimedeltaIndex), a scalar a Timestamp (Timedelta) or NaT. With unit "s",
"ms" or "us" the values come as NumPy datetime64[unit] (timedelta64[unit])
arrays, or a numpy.datetime64 scalar: pandas 1.5 keeps datetimes in ns
alone, and ns holds only 1677-09-21 to 2262-04-11.

Zoned readers (B8601DZ, ND8601DZ, i8601dz) give values at UTC: with
unit="ns" they come tz-aware (datetime64[ns, UTC]); utc=True asks for that
for any datetime reader; utc=False keeps them naive.
"""

import threading

import numpy as np
import pandas as pd

from . import _capi
from .reader import Reader, catalog_entry

_SCALE = {"s": 1, "ms": 10 ** 3, "us": 10 ** 6, "ns": 10 ** 9}
_cache = {}
_cache_lock = threading.Lock()


def _key(informat, module, options):
    return (str(informat), str(module),
            tuple(sorted((k, repr(v)) for k, v in options.items())))


def reader(informat, module="zelbrant", **options):
    """The Reader of (informat, module, options), made once and kept: a call
    of the front door costs no look-up after the first. Each thread gets one
    of its own, so threads never wait on each other's reader. A Reader given
    as informat is used as it is."""
    if isinstance(informat, Reader):
        return informat
    key = _key(informat, module, options) + (threading.get_ident(),)
    r = _cache.get(key)
    if r is None:
        entry = catalog_entry(informat)
        # A text in a column is a field of its own length: a registered
        # informat named without a width reads up to its widest.
        named_width = str(informat).rstrip(".")[-1:].isdigit()
        width = options.pop("width", None)
        if width is None and entry and entry["min_width"] is not None and not named_width:
            width = entry["max_width"]
        r = Reader(informat, module=module, width=width, **options)
        with _cache_lock:
            r = _cache.setdefault(key, r)
    return r


def clear_cache():
    """Closes the cached readers (a new host option needs it)."""
    with _cache_lock:
        readers = list(_cache.values())
        _cache.clear()
    for r in readers:
        r.close()


def _texts(arg, what):
    """arg as (column, rebuild) where rebuild(values) gives the result its
    input's shape; scalars give a one-row column."""
    if isinstance(arg, pd.DataFrame):
        raise TypeError(f"{what} takes one column of texts, not a DataFrame: pass the "
                        f"column, as in {what}(df[{list(arg.columns)[:1]!r}[0]], ...)")
    scalar = arg is None or isinstance(arg, (str, bytes, np.str_, np.bytes_)) or (
        not hasattr(arg, "__len__") and not hasattr(arg, "__array__"))
    if scalar:
        if isinstance(arg, (int, float, np.number)) and not (
                isinstance(arg, float) and arg != arg):
            raise TypeError(f"{what} reads texts, not {type(arg).__name__}: "
                            f"read the value as text")
        return [arg], "scalar", None
    if isinstance(arg, pd.Series):
        kind, values = "series", arg
    elif isinstance(arg, pd.Index):
        kind, values = "index", arg
    else:
        kind, values = "array", arg
    dtype = getattr(values, "dtype", None)
    if dtype is None and not isinstance(values, (list, tuple)):
        values = list(values)
    if dtype is not None and dtype.kind in "biufc":
        name = getattr(arg, "name", None)
        hint = f" (read_csv(..., dtype={{{name!r}: str}}))" if name is not None else ""
        if dtype.kind in "fc" and len(values) and np.isnan(np.asarray(values)).all():
            return [None] * len(values), kind, arg  # a column with no text at all
        raise TypeError(f"{what} reads texts, but the column holds numbers ({dtype}): "
                        f"read the column as text{hint}")
    return values, kind, arg


def _shape(values, kind, arg, *, name=None):
    """values (a NumPy or pandas array) in the shape of the input."""
    if kind == "scalar":
        return values[0]
    if kind == "series":
        return pd.Series(values, index=arg.index, name=arg.name)
    if kind == "index":
        return pd.Index(values, name=arg.name)
    return pd.Index(values) if isinstance(values, pd.api.extensions.ExtensionArray) or (
        isinstance(values, np.ndarray) and np.datetime_data(values.dtype)[0] == "ns"
        and values.dtype.kind in "mM") else values


def _errors(errors):
    if errors not in ("raise", "coerce", "ignore"):
        raise ValueError(f'errors must be "raise", "coerce" or "ignore", not {errors!r}')


def _ticks(arg, informat, errors, unit, module, threads, options, kinds, what):
    _errors(errors)
    values, kind, orig = _texts(arg, what)
    r = reader(informat, module, **options)
    if r.kind not in kinds:
        raise TypeError(f"{r.name} reads {r.kind}s; {what} takes a reader of "
                        f"{' or '.join(kinds)}s")
    try:
        ticks = r.read_ticks(values, unit=unit, errors="coerce" if errors == "ignore" else errors,
                             threads=threads)
    except TypeError:
        if errors == "ignore":  # a field that is no text is one refused
            return arg, None, None, r
        if errors == "raise":
            raise
        ticks = r.read_ticks(_text_or_none(values), unit=unit, errors="coerce",
                             threads=threads)
    if errors == "ignore" and r.codes.any():
        return arg, None, None, r
    return ticks, kind, orig, r


def _text_or_none(values):
    """A column with whatever is not text made missing (errors="coerce")."""
    text = (str, bytes, np.str_, np.bytes_)
    return [v if isinstance(v, text) else None for v in list(values)]


def to_datetime(arg, informat, errors="raise", utc=None, unit="ns", *, module="zelbrant",
                threads=None, **options):
    """Reads texts with a date or datetime informat ("B8601DT", "B8601DZ",
    "i8601dt", "ND8601DA10.") into datetime64[unit].

    errors: "raise" stops at the first field the reader refuses (ReadError
    names its row, text and reason); "coerce" makes it NaT; "ignore" gives
    the input back unchanged when any field is refused. Missing fields (None,
    NaN, blanks) are NaT under every choice. A value that datetime64[unit]
    cannot hold is refused like an unreadable one.

    threads: threads that read the column (default: the machine's cores,
    fewer for a short column).

    Other keywords are the Reader's (host_options, gmt_offset, ...).
    """
    ticks, kind, orig, r = _ticks(arg, informat, errors, unit, module, threads, options,
                                  ("date", "datetime"), "to_datetime")
    if kind is None:
        return ticks
    if utc is None:
        utc = r.zoned
    values = ticks.view(f"datetime64[{unit}]")
    if unit == "ns":
        values = pd.arrays.DatetimeArray(values)
        if utc:
            values = values.tz_localize("UTC")
        if kind == "scalar":
            return pd.Timestamp(values[0]) if values[0] is not pd.NaT else pd.NaT
        return _shape(values, kind, orig)
    if kind == "scalar":
        return values[0]
    return values


def to_timedelta(arg, informat, errors="raise", unit="ns", *, module="zelbrant", threads=None,
                 **options):
    """Reads times of day with a time informat ("B8601TM", "B8601TZ",
    "i8601tm") into timedelta64[unit] since midnight (zoned readers: at
    UTC). errors and threads as to_datetime."""
    ticks, kind, orig, r = _ticks(arg, informat, errors, unit, module, threads, options,
                                  ("time",), "to_timedelta")
    if kind is None:
        return ticks
    values = ticks.view(f"timedelta64[{unit}]")
    if unit == "ns":
        if kind == "scalar":
            return pd.Timedelta(values[0]) if not np.isnat(values[0]) else pd.NaT
        values = pd.arrays.TimedeltaArray(values)
        if kind == "array":
            return pd.TimedeltaIndex(values)
        return _shape(values, kind, orig)
    return values[0] if kind == "scalar" else values


def _index_of(kind, orig, n):
    if kind == "series":
        return orig.index
    if kind == "index":
        return pd.RangeIndex(n)
    return pd.RangeIndex(n)


def _parts_frame(parts, index, errors, unit="ns"):
    """The columns of zb_entity_parts records, plus the exact timedelta."""
    given = parts["given"]
    present = parts["form"] != 0
    cols = {"sign": np.where(present, parts["sign"], 0).astype(np.int8)}
    names = _capi.PART_NAMES + ("thousandths",)
    # Each field once out of the records: the arithmetic below runs on these.
    fields = {name: np.ascontiguousarray(parts[name]) for name in names + ("fraction_of",)}
    fields["sign"], fields["missing"] = parts["sign"], ~present
    for i, name in enumerate(names):
        # Arrays with a mask, built without a pass over Python objects.
        cols[name] = pd.arrays.IntegerArray(fields[name], (given & (1 << i)) == 0)
    # fraction_of is one bit of 1..32: its position is the category.
    cols["fraction_of"] = pd.Categorical.from_codes(_OF_CODE[fields["fraction_of"]],
                                                    categories=list(_capi.PART_NAMES))
    cols["weeks"] = parts["weeks"] != 0
    cols["timedelta"] = _exact_timedelta(fields, errors, unit)
    return pd.DataFrame(cols, index=index, copy=False)


# By fraction_of (0 or one bit of 1..32): the category code of the component
# the fraction belongs to (-1 for none), and the seconds of that component
# (1 where the length is not fixed: those durations have none).
_OF_CODE = np.full(33, -1, dtype=np.int8)
_OF_SECONDS = np.ones(33, dtype=np.int64)
for _i, _secs in enumerate((1, 1, 86400, 3600, 60, 1)):
    _OF_CODE[1 << _i] = _i
    _OF_SECONDS[1 << _i] = _secs


def _exact_timedelta(parts, errors, unit):
    """timedelta64[unit] of durations without years or months; NaT (or an
    error) for the others and for missing ones. parts: the fields of the
    records by name, and "missing"."""
    scale = _SCALE[unit]
    of = parts["fraction_of"]
    calendar = ((parts["years"] | parts["months"]) != 0) | ((of & 3) != 0)
    missing = parts["missing"]
    if errors == "raise" and (calendar & ~missing).any():
        i = int(np.flatnonzero(calendar & ~missing)[0])
        raise ValueError(f"row {i}: a duration of years or months has no exact length; "
                         f"use errors=\"coerce\" for NaT there, or to_dateoffset")
    secs = ((parts["days"] * 24 + parts["hours"]) * 60 + parts["minutes"]) * 60 \
        + parts["seconds"]
    frac = parts["thousandths"] * _OF_SECONDS[of] * scale // 1000
    limit = (2 ** 63 - 1) // scale - 86400
    bad = missing | calendar | (np.abs(secs) > limit)
    t = (np.where(bad, 0, secs) * scale + frac) * parts["sign"]
    t[bad] = _capi.NAT
    return t.view(f"timedelta64[{unit}]")


def durations(arg, informat="$IS860DU", errors="raise", *, module="zelbrant", threads=None,
              **options):
    """Reads ISO 8601 durations ("P1Y2M10DT2H30M", "PT36H", "-P2W") into a
    DataFrame: sign (-1, 1; 0 for none), the components as the text gave
    them (years, months, days, hours, minutes, seconds; <NA> where not
    given), thousandths and the component they are a fraction of, weeks
    (given in weeks; days holds 7 x weeks), and timedelta: the exact
    timedelta64[ns] of a duration without years or months (NaT for the
    others under errors="coerce", an error under "raise"). to_dateoffset
    turns the frame into pandas DateOffsets, which hold years and months."""
    _errors(errors)
    values, kind, orig = _texts(arg, "durations")
    r = reader(informat, module, **options)
    parts = r.read_parts(values, errors="raise" if errors == "raise" else "coerce",
                         threads=threads)
    index = _index_of(kind, orig, len(parts))
    return _parts_frame(parts, index, "coerce" if errors == "ignore" else errors)


def to_dateoffset(frame):
    """The durations of a frame from durations() as pandas DateOffsets (None
    for a missing one): calendar-exact, years and months included. A
    fraction becomes microseconds of the component it belongs to; a
    fraction of a year or a month cannot, and raises."""
    out = []
    for row in frame.itertuples(index=False):
        if row.sign == 0:
            out.append(None)
            continue
        kw = {}
        for name in _capi.PART_NAMES:
            v = getattr(row, name)
            if v is not pd.NA and v:
                kw[name] = int(v) * row.sign
        if row.thousandths is not pd.NA and row.thousandths:
            if row.fraction_of in ("years", "months"):
                raise ValueError(f"a fraction of {row.fraction_of} is no DateOffset")
            per = {"days": 86400, "hours": 3600, "minutes": 60, "seconds": 1}[
                row.fraction_of or "seconds"]
            kw["microseconds"] = int(row.thousandths) * per * 1000 * row.sign
        out.append(pd.DateOffset(**kw))
    return pd.Series(out, index=frame.index, dtype=object)


def intervals(arg, informat="$IS860VL", errors="raise", unit="ns", *, module="zelbrant",
              threads=None, **options):
    """Reads ISO 8601 intervals ("2011-01-01/P1M", "P1D/2011-09-09T12:00",
    "2011-01-01/2011-02-01") into a DataFrame: start and end (datetime64;
    NaT where the interval fixes none: a lone duration, a failed field)
    and the duration's columns as durations() gives them (none for an
    interval of two datetimes)."""
    _errors(errors)
    values, kind, orig = _texts(arg, "intervals")
    r = reader(informat, module, **options)
    out = r.read_intervals(values, unit=unit,
                           errors="raise" if errors == "raise" else "coerce", threads=threads)
    index = _index_of(kind, orig, len(out))
    frame = _parts_frame(out["duration"], index, "coerce", unit)
    frame.insert(0, "end", out["end"].view(f"datetime64[{unit}]"))
    frame.insert(0, "start", out["start"].view(f"datetime64[{unit}]"))
    return frame


def readers(module=None):
    """Every reader, what it reads and a text it reads, as a DataFrame."""
    frame = pd.DataFrame(_capi.catalog())
    for col in ("min_width", "max_width", "default_width"):
        frame[col] = frame[col].astype("Int64")
    if module is not None:
        frame = frame[frame["modules"].str.split().apply(lambda m: module in m)]
    return frame.reset_index(drop=True)
