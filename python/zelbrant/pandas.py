"""The readers on pandas columns."""

import pandas as _pd

from . import convert
from .reader import Reader


def read(series, informat, module="zelbrant", errors="raise", unit="ns", **options):
    """Reads a Series of text with an informat: a datetime64[unit] Series for
    dates and datetimes, timedelta64 for times, the packed texts for entity
    readers; same index and name; NaT (None) for missing values."""
    r = Reader(informat, module=module, **options)
    try:
        values = r.read(series, errors=errors)
    finally:
        r.close()
    if r.kind in ("date", "datetime"):
        values = convert.to_datetime64(values, r.kind, unit)
    elif r.kind == "time":
        values = convert.to_timedelta64(values, unit)
    return _pd.Series(values, index=series.index, name=series.name)
