"""The zelbrant and morvista informats for Python: ISO 8601 texts read into
the host's values by the modules' own readers, a whole column per call.

    >>> import zelbrant, numpy
    >>> zelbrant.Reader("B8601DT15.").read(numpy.array([b"20110909T123045"]))
    array([1.63119064e+09])

The package loads the reader API's shared library from ZELBRANT_BUILD (a
build directory) or from beside itself (an installed package).
"""

from ._capi import Error, path as library_path
from .convert import (EPOCH_DAYS, EPOCH_SECONDS, from_date, from_datetime, from_datetime64,
                      from_time, from_timedelta64, to_date, to_datetime, to_datetime64, to_time,
                      to_timedelta64)
from .reader import ReadError, Reader, decode

__all__ = [
    "Reader", "ReadError", "Error", "decode", "library_path", "EPOCH_DAYS", "EPOCH_SECONDS",
    "to_datetime64", "to_timedelta64", "to_date", "to_datetime", "to_time", "from_date",
    "from_datetime", "from_datetime64", "from_time", "from_timedelta64",
]
