"""The zelbrant and morvista informats for Python: ISO 8601 texts read by
the modules' own readers, a whole column per call, into exact datetime64,
timedelta64 and DataFrames of duration and interval parts.

    >>> import zelbrant, pandas
    >>> zelbrant.to_datetime(pandas.Series(["20110909T123045"]), "B8601DT")
    0   2011-09-09 12:30:45
    dtype: datetime64[ns]

The package loads the reader API's shared library from ZELBRANT_BUILD (a
build directory) or from beside itself (an installed package). The host
value conversions (host dates and datetimes to and from Python and NumPy)
are in zelbrant.convert.
"""

from . import convert
from .convert import (EPOCH_DAYS, EPOCH_SECONDS, from_date, from_datetime, from_datetime64,
                      from_time, from_timedelta64, to_date, to_datetime64, to_time,
                      to_timedelta64)
from ._capi import Error, path as library_path
from .front import (clear_cache, durations, intervals, reader, readers, to_dateoffset,
                    to_datetime, to_timedelta)
from .reader import ReadError, Reader, cores, decode

__version__ = "1.0.0"

__all__ = [
    "Reader", "ReadError", "Error", "decode", "library_path", "convert", "to_datetime",
    "to_timedelta", "durations", "intervals", "to_dateoffset", "readers", "reader",
    "clear_cache", "cores", "__version__", "EPOCH_DAYS", "EPOCH_SECONDS", "to_datetime64",
    "to_timedelta64", "to_date", "to_time", "from_date", "from_datetime", "from_datetime64",
    "from_time", "from_timedelta64",
]
