"""ctypes bindings of the reader API (zelbrant/reader.h) and the search for
its shared library."""

import ctypes
import os

LIBRARY = "libzelbrant_reader.so"

OK = 0
E_HANDLE, E_NULL, E_WIDTH, E_NAME, E_LOAD, E_OPTION = -1, -2, -3, -4, -5, -6
E_READER, E_KIND, E_RANGE, E_MEMORY, E_HOST = -7, -8, -9, -10, -11

KIND_DATE, KIND_TIME, KIND_DATETIME = 0, 1, 2
KIND_DURATION, KIND_PACKED, KIND_INTERVAL = 3, 4, 5
ENTITY_KINDS = (KIND_DURATION, KIND_PACKED, KIND_INTERVAL)

NUL_PADDED = 1


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
    }
    for name, (res, args) in sigs.items():
        f = getattr(lib, name)
        f.restype = res
        f.argtypes = args
    return lib, path


lib, path = _load()


class Error(Exception):
    """A failed call of the reader API: status is the API's ZB_E_* code."""

    def __init__(self, status, message):
        super().__init__(message)
        self.status = status


def check(status):
    if status < 0:
        raise Error(status, lib.zb_last_error().decode("utf-8", "replace"))
    return status
