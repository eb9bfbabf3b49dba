"""Reader: one informat of a module, applied to a field or a whole column."""

import ctypes
import gc
import itertools
import os
import threading
from concurrent.futures import ThreadPoolExecutor

import numpy as np

from . import _capi
from ._capi import lib, check


class ReadError(ValueError):
    """A field the reader refused, with errors="raise": the first such row,
    its text, the reader's code and its message."""

    def __init__(self, row, text, code, message):
        super().__init__(f"row {row}: {text!r}: code {_code_str(code)}: {message}")
        self.row, self.text, self.code, self.message = row, text, code, message

    def __reduce__(self):  # travels whole from a worker process
        return (ReadError, (self.row, self.text, self.code, self.message))


def _code_str(code):
    return f"0x{code:08x}" if code > 0xFFFF else str(code)


def _options(host_options, gmt_offset, entity_mode, target_length, fill_stars):
    o = _capi.Options()
    o.size = ctypes.sizeof(_capi.Options)
    items = [f"{k}={v}".encode() for k, v in dict(host_options or {}).items()]
    arr = (ctypes.c_char_p * max(len(items), 1))(*items)
    o.n_host_options = len(items)
    o.host_options = ctypes.cast(arr, ctypes.POINTER(ctypes.c_char_p))
    if gmt_offset is not None:
        o.has_gmt_offset = 1
        o.gmt_offset = int(gmt_offset)
    o.entity_mode = int(entity_mode or 0)
    o.target_length = int(target_length or 0)
    o.fill_stars = 1 if fill_stars else 0
    return o, arr


def _is_missing_object(v):
    if v is None:
        return True
    try:
        return bool(v != v)  # NaN
    except TypeError:  # pandas.NA has no truth value
        return True


class _Prepared:
    """A column laid out for the API, and whatever keeps its memory alive."""

    def __init__(self, n):
        self.col = _capi.Column()
        self.col.n = n
        self.keep = []
        self.text = None  # row -> the field's bytes, for messages


def _fixed(arr):
    """A 1-D array of fixed-width bytes, read in place (a copy only for a
    view that runs backwards)."""
    if arr.strides[0] < 0:
        arr = np.ascontiguousarray(arr)
    p = _Prepared(arr.shape[0])
    p.col.data = arr.ctypes.data
    p.col.stride = arr.strides[0] if arr.shape[0] > 1 else arr.itemsize
    p.col.field_len = arr.itemsize
    p.col.flags = _capi.NUL_PADDED
    p.keep.append(arr)
    p.text = lambda i: bytes(arr[i])
    return p


_missing_objects = None


def _missing():
    """pandas' missing values, which a column of str may hold."""
    global _missing_objects
    if _missing_objects is None:
        try:
            import pandas as pd
            _missing_objects = (pd.NA, pd.NaT)
        except ImportError:
            _missing_objects = ()
    return _missing_objects


class _Scratch:
    """The addresses, lengths and validity bits of a block of rows, kept
    for the next block: fresh pages cost more than filling them."""

    def __init__(self, rows):
        self.rows = rows
        self.starts = np.empty(rows, dtype=np.int64)
        self.lengths = np.empty(rows, dtype=np.int32)
        self.validity = np.empty((rows + 7) // 8, dtype=np.uint8)


def _spans(objects, scratch=None):
    """An object array of ASCII str and missing values, read where the
    strings are (zelbrant._texts gives their addresses): no copy of the
    texts. None where that module is not built or an item is anything else.
    scratch: a _Scratch of at least len(objects) rows to fill, else fresh
    arrays."""
    t = _capi.texts
    n = len(objects)
    if t is None or not n:
        return None
    if objects.strides[0] != objects.itemsize:
        objects = np.ascontiguousarray(objects)
    if scratch is None or scratch.rows < n:
        scratch = _Scratch(n)
    starts, lengths = scratch.starts[:n], scratch.lengths[:n]
    validity = scratch.validity[:(n + 7) // 8]
    validity.fill(0xFF)
    first, absent = t.spans(objects.ctypes.data, n, starts.ctypes.data, lengths.ctypes.data,
                            validity.ctypes.data, _missing())
    if first < n:
        return None
    p = _Prepared(n)
    p.col.starts, p.col.lengths = starts.ctypes.data, lengths.ctypes.data
    p.col.flags = _capi.ADDRESSES
    # The column holds the strings whose characters the readers read.
    p.keep += [objects, starts, lengths]
    if absent:
        p.col.validity = validity.ctypes.data
        p.keep.append(validity)
    p.text = lambda i: objects[i].encode() if isinstance(objects[i], str) else None
    return p


# Widest text a column of str is laid out at by NumPy's own conversion;
# wider ones take the joined layout.
FIXED_CAP = 64


def _fixed_str(objects, width):
    """An object array of ASCII str (and missing values) as fixed-width bytes,
    converted by NumPy in C: no Python loop and no joined copy of the texts.
    None when an item is neither, holds other than ASCII or is longer than
    the reader reads (width) or FIXED_CAP. Trailing NULs of a str read as
    padding, as in any fixed-width bytes column."""
    n = len(objects)
    if not n:
        return None
    from pandas.api.types import infer_dtype
    missing = None
    if infer_dtype(objects, skipna=False) != "string":
        if infer_dtype(objects, skipna=True) != "string":
            return None
        import pandas as pd
        missing = pd.isna(objects)
    cap = min(width, FIXED_CAP) if width else FIXED_CAP
    # A column's texts are mostly of one length: the first one's is tried
    # first, the widest the reader reads when some text is longer.
    first = next((len(v) for v in objects[:64] if isinstance(v, str)), cap)
    for w in sorted({min(first, cap), cap}):
        try:
            # One byte more than the texts tried shows a text that is longer.
            arr = objects.astype(f"S{w + 1}")
        except UnicodeEncodeError:
            return None
        if not arr.view(np.uint8).reshape(n, w + 1)[:, w].any():
            break
    else:
        return None
    p = _fixed(arr)
    p.col.field_len = w
    if missing is not None:
        bits = np.packbits(~missing, bitorder="little")
        p.col.validity = bits.ctypes.data
        p.keep.append(bits)
    p.text = lambda i: None if missing is not None and missing[i] else objects[i].encode()
    return p


def _ascii_offsets(items):
    """A list of ASCII str alone, joined at C speed and split by the API
    (at a NUL, which no text holds); None for any other."""
    try:
        joined = "\0".join(items)
    except TypeError:  # not all str
        return None
    n = len(items)
    if not joined.isascii() or joined.count("\0") != n - 1:
        return None
    buf = joined.encode("ascii")
    starts = np.empty(n, dtype=np.int64)
    lengths = np.empty(n, dtype=np.int32)
    if n:
        check(lib.zb_split(buf, len(buf), b"\0", n, starts.ctypes.data, lengths.ctypes.data))
    p = _Prepared(n)
    p.col.data = ctypes.cast(ctypes.c_char_p(buf), ctypes.c_void_p).value
    p.col.starts, p.col.lengths = starts.ctypes.data, lengths.ctypes.data
    p.keep += [buf, starts, lengths]
    p.text = lambda i: items[i].encode()
    return p


def _offsets(items):
    """Any sequence of str, bytes or missing values, as one buffer, offsets
    and a validity bitmap."""
    fast = _ascii_offsets(items)
    if fast is not None:
        return fast
    n = len(items)
    parts, valid = [], np.ones(n, dtype=bool)
    for i, v in enumerate(items):
        if isinstance(v, bytes):
            parts.append(v)
        elif isinstance(v, str):
            parts.append(v.encode("utf-8"))
        elif isinstance(v, (bytearray, memoryview, np.bytes_)):
            parts.append(bytes(v))
        elif _is_missing_object(v):
            parts.append(b"")
            valid[i] = False
        else:
            raise TypeError(f"row {i}: {type(v).__name__} is not text")
    buf = b"".join(parts)
    offsets = np.zeros(n + 1, dtype=np.int64)
    np.cumsum([len(x) for x in parts], out=offsets[1:])
    p = _Prepared(n)
    p.col.data = ctypes.cast(ctypes.c_char_p(buf), ctypes.c_void_p).value
    p.col.offsets = offsets.ctypes.data
    p.keep += [buf, offsets]
    if not valid.all():
        bits = np.packbits(valid, bitorder="little")
        p.col.validity = bits.ctypes.data
        p.keep.append(bits)
    p.text = lambda i: parts[i] if valid[i] else None
    return p


# Rows laid out and read at a time by each reader thread of a long column;
# and by one thread alone (the block's addresses stay in the cache between
# the two).
PIPELINE_BLOCK = 1 << 16
SERIAL_BLOCK = 1 << 14
MIN_BLOCK = 1 << 12


def _objects(column):
    """A column of Python objects (a list, an object array, a Series of str)
    as an object array; None for any other (bytes arrays are read in place)."""
    if isinstance(column, (str, bytes)) or (hasattr(column, "columns") and
                                            hasattr(column, "index")):
        return None
    if hasattr(column, "index") and getattr(column, "array", None) is not None:
        return column.to_numpy(dtype=object) if column.dtype.kind not in "SU" else None
    if isinstance(column, np.ndarray):
        return column if column.dtype.kind == "O" and column.ndim == 1 else None
    if isinstance(column, (list, tuple)):
        out = np.empty(len(column), dtype=object)
        out[:] = column
        return out
    return None


def _prepare(column, width=None, scratch=None):
    if isinstance(column, (str, bytes)):
        raise TypeError("read() takes a column; use read_one() for a single field")
    if hasattr(column, "columns") and hasattr(column, "index"):  # a DataFrame
        raise TypeError("read() takes one column, not a DataFrame (whose iteration gives "
                        "its column labels): pass df[name]")
    values = getattr(column, "array", None) if hasattr(column, "index") else None
    if values is not None:  # a pandas Series
        column = column.to_numpy(dtype=object) if column.dtype.kind not in "SU" else column.to_numpy()
    if isinstance(column, np.ndarray):
        if column.ndim != 1:
            raise ValueError(f"read() takes a 1-D column, not {column.ndim}-D")
        if column.dtype.kind == "S":
            return _fixed(column)
        if column.dtype.kind == "U":
            try:
                return _fixed(column.astype(f"S{max(column.itemsize // 4, 1)}"))
            except UnicodeEncodeError:
                return _offsets(column.tolist())
        if column.dtype.kind == "O":
            fixed = _spans(column, scratch)
            if fixed is None:
                fixed = _fixed_str(column, width)
            return fixed if fixed is not None else _offsets(column.tolist())
        raise TypeError(f"read() takes text, not an array of {column.dtype}")
    items = list(column)
    spans = _spans(_objects(items)) if _capi.texts is not None else None
    return spans if spans is not None else _offsets(items)


def _slice(col, start, n):
    """Rows [start, start + n) of a prepared column (start a multiple of 8
    where the column has a validity bitmap)."""
    s = _capi.Column()
    ctypes.pointer(s)[0] = col
    s.n = n
    if col.validity:
        s.validity = col.validity + start // 8
    if col.starts:
        s.starts, s.lengths = col.starts + 8 * start, col.lengths + 4 * start
    elif col.offsets:
        s.offsets = col.offsets + 8 * start
    elif col.offsets32:
        s.offsets32 = col.offsets32 + 4 * start
    elif col.data:
        s.data = col.data + start * col.stride
    return s


# Rows below which a column is read by one thread: a thread's start costs
# more than reading them.
MIN_ROWS_PER_THREAD = 20000
_executor = None
_executor_lock = threading.Lock()


def cores():
    """The cores this process may run on."""
    try:
        return len(os.sched_getaffinity(0))
    except (AttributeError, OSError):
        return os.cpu_count() or 1


def _pool(k):
    global _executor
    with _executor_lock:
        if _executor is None or _executor._max_workers < k:
            _executor = ThreadPoolExecutor(max_workers=max(k, cores()),
                                           thread_name_prefix="zelbrant")
        return _executor


def _threads_for(threads, n):
    if threads is None:
        threads = cores()
    threads = int(threads)
    if threads < 1:
        raise ValueError(f"threads must be 1 or more, not {threads}")
    return max(1, min(threads, n // MIN_ROWS_PER_THREAD))


class Reader:
    """A reader of a module, by informat name with width ("B8601DT19."), by
    exported routine name ("i8601dz") or by entity informat ("$IS860DU").

    read(column) applies it to a column: a NumPy fixed-width bytes array
    (dtype 'S19', read in place), a NumPy or pandas array of str, bytes and
    None, or any iterable of strings. Numeric readers give float64 host
    values (NaN for missing values); entity readers give the packed texts
    (None where there is none). codes holds the reader's code for each field
    of the last call (uint32; 0 for success).

    errors="raise" raises ReadError on the first field the reader refuses;
    errors="coerce" leaves NaN (None) there.

    One Reader may be used by one thread at a time (calls from several are
    taken in turn); different Readers work in parallel. Columns are read
    where they are (the strings of a column of str too, without the
    interpreter's lock): another thread must not change a column while a
    call reads it.
    """

    def __init__(self, informat, module="zelbrant", width=None, *, host_options=None,
                 gmt_offset=None, entity_mode=None, target_length=None, fill_stars=False):
        self._params = ((informat, module, width),
                        dict(host_options=dict(host_options or {}) or None, gmt_offset=gmt_offset,
                             entity_mode=entity_mode, target_length=target_length,
                             fill_stars=fill_stars))
        self._siblings = []
        self._lock = threading.Lock()
        opts, keep = _options(host_options, gmt_offset, entity_mode, target_length, fill_stars)
        h = ctypes.c_void_p()
        rc = lib.zb_open(str(module).encode(), ctypes.byref(opts), ctypes.byref(h))
        if rc == _capi.E_OPTION:
            # Host options belong to the one host of the process: readers
            # that are garbage but not yet collected, or kept by the front
            # door's cache, may still hold it.
            from .front import clear_cache
            clear_cache()
            gc.collect()
            rc = lib.zb_open(str(module).encode(), ctypes.byref(opts), ctypes.byref(h))
        check(rc)
        self._h = h
        del keep
        try:
            rid = ctypes.c_int32()
            check(lib.zb_lookup(h, str(informat).encode(), -1 if width is None else int(width),
                                ctypes.byref(rid)))
            info = _capi.ReaderInfo()
            check(lib.zb_describe(h, rid, ctypes.byref(info)))
        except Exception:
            self.close()
            raise
        self._id = rid.value
        self.kind = ("date", "time", "datetime", "duration", "packed", "interval")[info.kind]
        self.width = None if info.width < 0 else info.width
        self.target_length = info.target_length
        self.name = info.display.decode()
        self.module = module
        self.is_entity = info.kind in _capi.ENTITY_KINDS
        # Readers that normalise their values to GMT.
        entry = catalog_entry(informat)
        self.zoned = bool(entry and entry["zoned"])
        self.codes = np.zeros(0, dtype=np.uint32)

    def close(self):
        for r in getattr(self, "_siblings", ()):
            r.close()
        lock = getattr(self, "_lock", None)
        if lock is None:  # __init__ failed before the lock
            if getattr(self, "_h", None):
                lib.zb_close(self._h)
                self._h = None
            return
        with lock:  # not while another thread reads through it
            if getattr(self, "_h", None):
                lib.zb_close(self._h)
                self._h = None

    def __reduce__(self):
        """A Reader travels (to a process, a Dask worker) as its parameters."""
        (informat, module, width), options = self._params
        return (_rebuild, (informat, module, width, options))

    def __del__(self):
        self.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        return f"zelbrant.Reader({self.name!r}, module={self.module!r})"

    def read(self, column, errors="raise"):
        if errors not in ("raise", "coerce"):
            raise ValueError(f'errors must be "raise" or "coerce", not {errors!r}')
        p = _prepare(column, self.width)
        n = p.col.n
        codes = np.zeros(n, dtype=np.uint32)
        res = _capi.Results()
        res.codes = codes.ctypes.data
        if self.is_entity:
            stride = self.target_length
            texts = np.zeros(n, dtype=f"S{max(stride, 1)}")
            lens = np.zeros(n, dtype=np.uint32)
            res.texts, res.text_stride, res.text_lens = texts.ctypes.data, stride, lens.ctypes.data
        else:
            out = np.empty(n, dtype=np.float64)
            res.values = out.ctypes.data
        with self._lock:
            if not self._h:
                raise ValueError("the reader is closed")
            check(lib.zb_read_column(self._h, self._id, ctypes.byref(p.col), ctypes.byref(res)))
        self.codes = codes
        self._check_errors(errors, p.text, codes)
        if not self.is_entity:
            return out
        result = np.empty(n, dtype=object)
        for i in range(n):
            k = int(lens[i])
            ok = k and not codes[i]  # a refused field holds only the problem's fill
            result[i] = bytes(texts[i])[:k].decode("ascii", "replace") if ok else None
        return result

    def _check_errors(self, errors, text, codes, allowed=("raise", "coerce")):
        if errors not in allowed:
            raise ValueError(f"errors must be one of {', '.join(map(repr, allowed))}, "
                             f"not {errors!r}")
        if errors == "raise" and codes.size:
            bad = np.flatnonzero(codes)
            if bad.size:
                i = int(bad[0])
                raise ReadError(i, text(i), int(codes[i]), self.message(int(codes[i])))

    def _readers(self, k):
        """This reader and k - 1 siblings: one handle per thread."""
        while len(self._siblings) < k - 1:
            (informat, module, width), options = self._params
            self._siblings.append(Reader(informat, module, width, **options))
        return [self] + self._siblings[:k - 1]

    def _blocked(self, objects, fn, outs, extra, k):
        """Reads a column of objects block by block on k threads (k = 1: this
        one), each laying out and reading the next block not yet taken
        through a handle of its own. A column of str is laid out without the
        interpreter's lock too, so the threads run side by side; each keeps
        one block's addresses, so the memory a call takes does not grow with
        the column. Returns the text of a row, for messages."""
        n = len(objects)
        # Sixteen blocks or more a thread, so that the block one thread still
        # reads when the others have none left (or one slowed down by another
        # process) is a small part of the call; a block costs about 15 us.
        size = SERIAL_BLOCK if k == 1 else min(PIPELINE_BLOCK, max(MIN_BLOCK, -(-n // (16 * k))))
        count = -(-n // size)
        texts = [None] * count
        taken = itertools.count()  # next() on it is atomic

        def work(reader):
            scratch = _Scratch(size)
            for j in taken:
                if j >= count:
                    return
                start = j * size
                p = _prepare(objects[start:start + size], self.width, scratch)
                texts[j] = p.text
                reader._call(fn, p.col, extra, [a.ctypes.data + start * a.itemsize for a in outs])

        if k == 1:
            work(self)
        else:
            jobs = [_pool(k).submit(work, r) for r in self._readers(k)]
            for job in jobs:
                job.result()
        return lambda i: texts[i // size](i % size)

    def _parallel(self, fn, p, outs, extra, threads):
        """fn(handle, reader, column, *extra, out pointers...) over the
        column, in contiguous chunks, one handle per thread."""
        n = p.col.n
        k = _threads_for(threads, n)
        if k == 1:
            self._call(fn, p.col, extra, [a.ctypes.data for a in outs])
            return
        per = -(-n // k)
        per += -per % 8  # a chunk's validity bits start on a byte
        readers = self._readers(k)
        jobs = []
        for j, r in enumerate(readers):
            start = j * per
            if start >= n:
                break
            sub = _slice(p.col, start, min(per, n - start))
            ptrs = [a.ctypes.data + start * a.itemsize for a in outs]
            jobs.append(_pool(k).submit(r._call, fn, sub, extra, ptrs))
        for job in jobs:
            job.result()

    def _call(self, fn, col, extra, ptrs):
        with self._lock:
            if not self._h:
                raise ValueError("the reader is closed")
            check(fn(self._h, self._id, ctypes.byref(col), *extra, *ptrs))

    def _read_into(self, column, dtype, fn, extra, errors, threads):
        objects = _objects(column)
        n = len(objects) if objects is not None else 0
        k = _threads_for(threads, n)
        if n > (PIPELINE_BLOCK if k > 1 else SERIAL_BLOCK):
            out = np.empty(n, dtype=dtype)
            codes = np.zeros(n, dtype=np.uint32)
            text = self._blocked(objects, fn, [out, codes], extra, k)
        else:
            p = _prepare(column if objects is None else objects, self.width)
            out = np.empty(p.col.n, dtype=dtype)
            codes = np.zeros(p.col.n, dtype=np.uint32)
            self._parallel(fn, p, [out, codes], extra, threads)
            text = p.text
        self.codes = codes
        self._check_errors(errors, text, codes)
        return out

    def read_ticks(self, column, unit="ns", errors="raise", threads=None):
        """Dates and datetimes as int64 ticks of unit since 1970-01-01, times
        since midnight; NaT (-2**63) for missing, failed and out-of-range
        fields. The codes are in self.codes."""
        u = _unit(unit)
        if self.is_entity:
            raise TypeError(f"{self.name} reads {self.kind}s, not dates or times")
        return self._read_into(column, np.int64, lib.zb_read_ticks, [u], errors, threads)

    def read_parts(self, column, errors="raise", threads=None):
        """Durations (or packed datetimes) taken apart: a structured array of
        zb_entity_parts records."""
        if self.kind not in ("duration", "packed"):
            raise TypeError(f"{self.name} reads {self.kind}s, not durations")
        return self._read_into(column, _capi.PARTS_DTYPE, lib.zb_read_parts, [], errors, threads)

    def read_intervals(self, column, unit="ns", errors="raise", threads=None):
        """Intervals: a structured array of start and end (int64 ticks of
        unit, NaT where the interval fixes none) and the duration's parts."""
        u = _unit(unit)
        if self.kind != "interval":
            raise TypeError(f"{self.name} reads {self.kind}s, not intervals")
        return self._read_into(column, _capi.INTERVAL_DTYPE, lib.zb_read_intervals, [u], errors,
                               threads)

    def read_packed(self, column, errors="raise", threads=None):
        """An entity reader's packed texts as fixed-width bytes (S16, S32 for
        intervals); b"" where there is none."""
        if not self.is_entity:
            raise TypeError(f"{self.name} reads {self.kind}s, not packed entities")
        p = _prepare(column, self.width)
        n = p.col.n
        width = max(self.target_length, 1)
        texts = np.zeros(n, dtype=f"S{width}")
        codes = np.zeros(n, dtype=np.uint32)
        lens = np.zeros(n, dtype=np.uint32)

        def fn(h, rid, col, texts_p, codes_p, lens_p):
            res = _capi.Results()
            res.texts, res.text_stride = texts_p, width
            res.codes, res.text_lens = codes_p, lens_p
            return lib.zb_read_column(h, rid, col, ctypes.byref(res))

        self._parallel(fn, p, [texts, codes, lens], [], threads)
        texts[(codes != 0) | (lens == 0)] = b""  # a refused field holds only the problem's fill
        self.codes = codes
        self._check_errors(errors, p.text, codes)
        return texts

    def read_one(self, text, errors="raise"):
        """One field: a host value (float) or a packed text (str or None)."""
        return self.read([text], errors=errors)[0]

    def message(self, code):
        """The message of one of this reader's codes."""
        entity = self.is_entity and code not in _capi.OWN_CODES
        f = lib.zb_problem_text if entity else lib.zb_code_text
        return f(code).decode()

    def log(self):
        """Host log lines kept since the last call (diagnostics asked for with
        host_options={"DEBUG": "N8601DIAG"})."""
        need = lib.zb_take_log(None, 0)
        if not need:
            return []
        buf = ctypes.create_string_buffer(need + 1)
        lib.zb_take_log(buf, need + 1)
        return buf.value.decode("utf-8", "replace").splitlines()


_by_name = None


def catalog_entry(informat):
    """The catalog's entry of a reader ("B8601DZ", "B8601DZ26.", "i8601dz"),
    else None."""
    global _by_name
    if _by_name is None:
        _by_name = {e["name"].upper(): e for e in _capi.catalog()}
    name = str(informat).upper().rstrip(".")
    e = _by_name.get(name)
    if e is None and name[-1:].isdigit():
        e = _by_name.get(name.rstrip("0123456789"))
    return e


def _rebuild(informat, module, width, options):
    return Reader(informat, module, width, **options)


def _unit(unit):
    try:
        return _capi.UNITS[unit]
    except (KeyError, TypeError):
        raise ValueError(f"unit must be one of s, ms, us, ns, not {unit!r}") from None


def decode(texts):
    """The packed texts of an entity reader for people: "P1Y2M10DT2H30M",
    "2011-09-09T12:30:45", "2011-01-01/P1M", "." for a missing entity; None
    stays None."""
    single = isinstance(texts, (str, bytes))
    items = [texts] if single else list(texts)
    out = np.empty(len(items), dtype=object)
    buf = ctypes.create_string_buffer(256)
    for i, t in enumerate(items):
        if t is None:
            out[i] = None
            continue
        b = t.encode() if isinstance(t, str) else bytes(t)
        n = check(lib.zb_entity_text(b, len(b), buf, len(buf)))
        out[i] = buf.raw[:n].decode()
    return out[0] if single else out
