"""ctypes bindings of the reader API (zelbrant/reader.h) and the search for
its shared library."""

import ctypes
import os

import numpy as np

LIBRARY = "libzelbrant_reader.so"

OK = 0
E_HANDLE, E_NULL, E_WIDTH, E_NAME, E_LOAD, E_OPTION = -1, -2, -3, -4, -5, -6
E_READER, E_KIND, E_RANGE, E_MEMORY, E_HOST = -7, -8, -9, -10, -11

KIND_DATE, KIND_TIME, KIND_DATETIME = 0, 1, 2
KIND_DURATION, KIND_PACKED, KIND_INTERVAL = 3, 4, 5
ENTITY_KINDS = (KIND_DURATION, KIND_PACKED, KIND_INTERVAL)

NUL_PADDED = 1
ADDRESSES = 2

UNITS = {"s": 0, "ms": 1, "us": 2, "ns": 3}
NAT = -(2 ** 63)
CODE_RANGE = 0x8002F001    # read, but outside what the unit holds
CODE_INSTANT = 0x8002F002  # no exact instant (a fraction of a year or month, no date)
OWN_CODES = (CODE_RANGE, CODE_INSTANT)

FORMS = ("missing", "datetime", "anchor", "duration", "single unit")
PART_NAMES = ("years", "months", "days", "hours", "minutes", "seconds")
PARTS_DTYPE = np.dtype([("form", "<i4"), ("sign", "<i4"), ("given", "<u4"),
                        ("fraction_of", "<u4")] + [(n, "<i8") for n in PART_NAMES] +
                       [("thousandths", "<i8"), ("weeks", "<i4"), ("reserved", "<i4")])
INTERVAL_DTYPE = np.dtype([("start", "<i8"), ("end", "<i8"), ("duration", PARTS_DTYPE)])
assert PARTS_DTYPE.itemsize == 80 and INTERVAL_DTYPE.itemsize == 96


class Options(ctypes.Structure):
    _fields_ = [
        ("size", ctypes.c_uint32),
        ("n_host_options", ctypes.c_uint32),
        ("host_options", ctypes.POINTER(ctypes.c_char_p)),
        ("has_gmt_offset", ctypes.c_int32),
        ("gmt_offset", ctypes.c_int32),
        ("entity_mode", ctypes.c_int32),
        ("target_length", ctypes.c_int32),
        ("fill_stars", ctypes.c_int32),
    ]


class ReaderInfo(ctypes.Structure):
    _fields_ = [
        ("kind", ctypes.c_int32),
        ("width", ctypes.c_int32),
        ("decimals", ctypes.c_int32),
        ("target_length", ctypes.c_int32),
        ("registered", ctypes.c_int32),
        ("display", ctypes.c_char * 48),
    ]


class Column(ctypes.Structure):
    _fields_ = [
        ("data", ctypes.c_void_p),
        ("n", ctypes.c_size_t),
        ("stride", ctypes.c_size_t),
        ("field_len", ctypes.c_size_t),
        ("offsets", ctypes.c_void_p),
        ("offsets32", ctypes.c_void_p),
        ("validity", ctypes.c_void_p),
        ("flags", ctypes.c_uint32),
        ("starts", ctypes.c_void_p),
        ("lengths", ctypes.c_void_p),
    ]


class Results(ctypes.Structure):
    _fields_ = [
        ("values", ctypes.c_void_p),
        ("texts", ctypes.c_void_p),
        ("text_stride", ctypes.c_size_t),
        ("text_lens", ctypes.c_void_p),
        ("codes", ctypes.c_void_p),
        ("status", ctypes.c_void_p),
        ("written", ctypes.c_void_p),
    ]


def _find():
    """The library's path: ZELBRANT_BUILD (a build directory), else beside
    this package (an installed one)."""
    build = os.environ.get("ZELBRANT_BUILD")
    if build:
        path = os.path.join(os.path.abspath(build), LIBRARY)
        if not os.path.isfile(path):
            raise ImportError(
                f"zelbrant: ZELBRANT_BUILD is {build!r}, but {path} does not exist; "
                f"build it (cmake --build {build} --target zelbrant_reader) or unset "
                f"ZELBRANT_BUILD to use an installed package")
        return path
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), LIBRARY)
    if os.path.isfile(path):
        return path
    raise ImportError(
        f"zelbrant: cannot find {LIBRARY}: set ZELBRANT_BUILD to a build directory "
        f"that holds it, or install the package with cmake --install (which puts the "
        f"library beside it, in {os.path.dirname(path)})")


def _load():
    path = _find()
    try:
        lib = ctypes.CDLL(path)
    except OSError as e:
        raise ImportError(f"zelbrant: cannot load {path}: {e}") from e
    P = ctypes.c_void_p
    i32, u32, size = ctypes.c_int32, ctypes.c_uint32, ctypes.c_size_t
    sigs = {
        "zb_open": (ctypes.c_int, [ctypes.c_char_p, ctypes.POINTER(Options), ctypes.POINTER(P)]),
        "zb_close": (None, [P]),
        "zb_lookup": (ctypes.c_int, [P, ctypes.c_char_p, i32, ctypes.POINTER(i32)]),
        "zb_describe": (ctypes.c_int, [P, i32, ctypes.POINTER(ReaderInfo)]),
        "zb_read_field": (ctypes.c_int, [P, i32, ctypes.c_char_p, size,
                                         ctypes.POINTER(ctypes.c_double), ctypes.POINTER(u32)]),
        "zb_read_column": (ctypes.c_int, [P, i32, ctypes.POINTER(Column), ctypes.POINTER(Results)]),
        "zb_entity_text": (ctypes.c_int, [ctypes.c_char_p, size, ctypes.c_char_p, size]),
        "zb_last_error": (ctypes.c_char_p, []),
        "zb_code_text": (ctypes.c_char_p, [u32]),
        "zb_problem_text": (ctypes.c_char_p, [u32]),
        "zb_take_log": (size, [ctypes.c_char_p, size]),
        "zb_value_ticks": (ctypes.c_int, [i32, ctypes.c_double, i32, ctypes.POINTER(ctypes.c_int64)]),
        "zb_split": (ctypes.c_int, [ctypes.c_char_p, size, ctypes.c_char, size, P, P]),
        "zb_values_ticks": (ctypes.c_int, [i32, P, size, i32, P, P]),
        "zb_read_ticks": (ctypes.c_int, [P, i32, ctypes.POINTER(Column), i32, P, P]),
        "zb_read_parts": (ctypes.c_int, [P, i32, ctypes.POINTER(Column), P, P]),
        "zb_read_intervals": (ctypes.c_int, [P, i32, ctypes.POINTER(Column), i32, P, P]),
        "zb_entity_parts_of": (ctypes.c_int, [ctypes.c_char_p, size, P]),
        "zb_interval_parts_of": (ctypes.c_int, [ctypes.c_char_p, size, i32, P,
                                                ctypes.POINTER(u32)]),
    }
    for name, (res, args) in sigs.items():
        f = getattr(lib, name)
        f.restype = res
        f.argtypes = args
    return lib, path


lib, path = _load()


def _load_texts():
    """zelbrant._texts from beside the library, built for this Python; None
    where it is not (columns of str are then copied into fixed-width bytes)."""
    import importlib.machinery
    import importlib.util
    import sys
    here = os.path.dirname(path)
    for suffix in importlib.machinery.EXTENSION_SUFFIXES:
        candidate = os.path.join(here, "_texts" + suffix)
        if os.path.isfile(candidate):
            spec = importlib.util.spec_from_file_location("zelbrant._texts", candidate)
            try:
                module = importlib.util.module_from_spec(spec)
                spec.loader.exec_module(module)
            except ImportError:
                return None
            sys.modules.setdefault("zelbrant._texts", module)
            return module
    return None


texts = _load_texts()


class Error(Exception):
    """A failed call of the reader API: status is the API's ZB_E_* code."""

    def __init__(self, status, message):
        super().__init__(message)
        self.status = status


def check(status):
    if status < 0:
        raise Error(status, lib.zb_last_error().decode("utf-8", "replace"))
    return status


class CatalogEntry(ctypes.Structure):
    _fields_ = [
        ("name", ctypes.c_char_p),
        ("routine", ctypes.c_char_p),
        ("modules", ctypes.c_char_p),
        ("description", ctypes.c_char_p),
        ("example", ctypes.c_char_p),
        ("kind", ctypes.c_int32),
        ("flags", ctypes.c_uint32),
        ("min_width", ctypes.c_int32),
        ("max_width", ctypes.c_int32),
        ("default_width", ctypes.c_int32),
        ("decimals", ctypes.c_int32),
    ]


READER_ZONED, READER_LOGS = 1, 2
KIND_NAMES = ("date", "time", "datetime", "duration", "packed", "interval")


def catalog():
    """The readers of the library's catalog, as dicts."""
    if not hasattr(lib, "zb_list"):
        raise NotImplementedError(f"{path} has no catalog of readers (zb_list): rebuild it")
    entries = ctypes.POINTER(CatalogEntry)()
    count = ctypes.c_size_t()
    check(lib.zb_list(ctypes.byref(entries), ctypes.byref(count)))
    out = []
    for i in range(count.value):
        e = entries[i]
        out.append({
            "name": e.name.decode(), "routine": e.routine.decode(),
            "modules": e.modules.decode(), "kind": KIND_NAMES[e.kind],
            "zoned": bool(e.flags & READER_ZONED), "description": e.description.decode(),
            "example": e.example.decode(),
            "min_width": None if e.min_width < 0 else e.min_width,
            "max_width": None if e.max_width < 0 else e.max_width,
            "default_width": None if e.default_width < 0 else e.default_width,
        })
    return out
