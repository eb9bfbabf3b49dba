"""Reader: one informat of a module, applied to a field or a whole column."""

import ctypes
import gc
import threading

import numpy as np

from . import _capi
from ._capi import lib, check


class ReadError(ValueError):
    """A field the reader refused, with errors="raise": the first such row,
    its text, the reader's code and its message."""

    def __init__(self, row, text, code, message):
        super().__init__(f"row {row}: {text!r}: code {_code_str(code)}: {message}")
        self.row, self.text, self.code, self.message = row, text, code, message


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


def _ascii_offsets(items):
    """A list of ASCII str alone, joined at C speed; None for any other."""
    try:
        joined = "".join(items)
    except TypeError:  # not all str
        return None
    if not joined.isascii():
        return None
    n = len(items)
    buf = joined.encode("ascii")
    offsets = np.zeros(n + 1, dtype=np.int64)
    np.cumsum(np.fromiter(map(len, items), dtype=np.int64, count=n), out=offsets[1:])
    p = _Prepared(n)
    p.col.data = ctypes.cast(ctypes.c_char_p(buf), ctypes.c_void_p).value
    p.col.offsets = offsets.ctypes.data
    p.keep += [buf, offsets]
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


def _prepare(column):
    if isinstance(column, (str, bytes)):
        raise TypeError("read() takes a column; use read_one() for a single field")
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
            return _offsets(column.tolist())
        raise TypeError(f"read() takes text, not an array of {column.dtype}")
    return _offsets(list(column))


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
    taken in turn); different Readers work in parallel.
    """

    def __init__(self, informat, module="zelbrant", width=None, *, host_options=None,
                 gmt_offset=None, entity_mode=None, target_length=None, fill_stars=False):
        opts, keep = _options(host_options, gmt_offset, entity_mode, target_length, fill_stars)
        h = ctypes.c_void_p()
        rc = lib.zb_open(str(module).encode(), ctypes.byref(opts), ctypes.byref(h))
        if rc == _capi.E_OPTION:
            # Host options belong to the one host of the process: readers
            # that are garbage but not yet collected may still hold it.
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
        self.codes = np.zeros(0, dtype=np.uint32)
        self._lock = threading.Lock()

    def close(self):
        if getattr(self, "_h", None):
            lib.zb_close(self._h)
            self._h = None

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
        p = _prepare(column)
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
        if errors == "raise" and n:
            bad = np.flatnonzero(codes)
            if bad.size:
                i = int(bad[0])
                raise ReadError(i, p.text(i), int(codes[i]), self.message(int(codes[i])))
        if not self.is_entity:
            return out
        result = np.empty(n, dtype=object)
        for i in range(n):
            k = int(lens[i])
            ok = k and not codes[i]  # a refused field holds only the problem's fill
            result[i] = bytes(texts[i])[:k].decode("ascii", "replace") if ok else None
        return result

    def read_one(self, text, errors="raise"):
        """One field: a host value (float) or a packed text (str or None)."""
        return self.read([text], errors=errors)[0]

    def message(self, code):
        """The message of one of this reader's codes."""
        f = lib.zb_problem_text if self.is_entity else lib.zb_code_text
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
