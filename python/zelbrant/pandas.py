"""The readers on pandas columns (kept for earlier callers: zelbrant.to_datetime,
to_timedelta and durations are the pandas-shaped front door)."""

import pandas as _pd

from .front import reader


def read(series, informat, module="zelbrant", errors="raise", unit="ns", **options):
    """Reads a Series of text with an informat: a datetime64[unit] Series for
    dates and datetimes, timedelta64 for times, the packed texts for entity
    readers; same index and name; NaT (None) for missing values."""
    r = reader(informat, module, **options)
    if r.is_entity:
        values = r.read(series, errors=errors)
    else:
        ticks = r.read_ticks(series, unit=unit, errors=errors)
        kind = "timedelta64" if r.kind == "time" else "datetime64"
        values = ticks.view(f"{kind}[{unit}]")
    return _pd.Series(values, index=series.index, name=series.name)
