"""The readers over Dask: each partition of a Dask Series (a column of a
Dask DataFrame) is read where it lies. A reader named by its informat is
made once per worker thread there (the front door's cache); a Reader given
instead goes to the workers as its parameters.

    >>> import dask.dataframe as dd, zelbrant.dask
    >>> df = dd.read_csv("events-*.csv", dtype={"when": str})
    >>> df["when"] = zelbrant.dask.to_datetime(df["when"], "B8601DZ")
"""

import pandas as pd

from . import front
from .reader import Reader


def _parts(series, how, informat, module, options, kwargs):
    return how(series, informat, module=module, threads=1, **options, **kwargs)


def _spec(informat, module, options):
    """What the graph carries: a Reader's parameters, not the Reader (a
    graph may be kept in caches after its run, and an open Reader holds the
    process's host)."""
    if isinstance(informat, Reader):
        (informat, module, width), given = informat._params
        options = dict(given, width=width)
    return informat, module, options


def _zoned(informat, module, options):
    return front.reader(informat, module, **options).zoned


def to_datetime(column, informat, errors="raise", utc=None, *, module="zelbrant", **options):
    """zelbrant.to_datetime on each partition of a Dask Series: a Dask
    Series of datetime64[ns] (datetime64[ns, UTC] for zoned readers and
    utc=True). errors="ignore" is not offered: a partition cannot give its
    input back as the others give datetimes."""
    if errors not in ("raise", "coerce"):
        raise ValueError(f'errors must be "raise" or "coerce" on Dask, not {errors!r}')
    informat, module, options = _spec(informat, module, options)
    zoned = _zoned(informat, module, options) if utc is None else utc
    meta = pd.Series([], dtype="datetime64[ns, UTC]" if zoned else "datetime64[ns]",
                     name=column.name)
    return column.map_partitions(_parts, front.to_datetime, informat, module, options,
                                 {"errors": errors, "utc": utc}, meta=meta)


def to_timedelta(column, informat, errors="raise", *, module="zelbrant", **options):
    """zelbrant.to_timedelta on each partition: a Dask Series of
    timedelta64[ns]."""
    if errors not in ("raise", "coerce"):
        raise ValueError(f'errors must be "raise" or "coerce" on Dask, not {errors!r}')
    informat, module, options = _spec(informat, module, options)
    meta = pd.Series([], dtype="timedelta64[ns]", name=column.name)
    return column.map_partitions(_parts, front.to_timedelta, informat, module, options,
                                 {"errors": errors}, meta=meta)


def durations(column, informat="$IS860DU", errors="raise", *, module="zelbrant", **options):
    """zelbrant.durations on each partition: a Dask DataFrame of parts."""
    informat, module, options = _spec(informat, module, options)
    meta = front.durations(pd.Series([], dtype=object), informat, module=module, **options)
    return column.map_partitions(_parts, front.durations, informat, module, options,
                                 {"errors": errors}, meta=meta)
