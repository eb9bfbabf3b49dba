"""The Python readers against isoread, on every kind of column."""

import math
import threading

import numpy as np
import pandas as pd
import pytest

from conftest import MAX_WIDTH, ROOT, isoread, oracle_texts

import zelbrant

DT = 1631190645.0  # 2011-09-09T12:30:45


def same(values, codes, expected):
    """Our values and codes against isoread's (rc, value) pairs, bit for bit
    where a value is present."""
    assert len(values) == len(expected)
    for i, (rc, want) in enumerate(expected):
        assert int(codes[i]) == rc, f"row {i}"
        if want is None:
            assert math.isnan(values[i]), f"row {i}: {values[i]}"
        else:
            assert values[i] == want and math.copysign(1, values[i]) == math.copysign(1, want), \
                f"row {i}: {values[i]!r} != {want!r}"


def test_the_readme_example():
    r = zelbrant.Reader("B8601DT15.")
    assert r.read(np.array([b"20110909T123045"])).tolist() == [DT]


def test_sample_fields_as_isoread_reads_them():
    lines = open(f"{ROOT}/examples/sample.txt", encoding="ascii").read().splitlines()
    # Column and width of each field, as scripts/sample.sh reads them.
    fields = [("B8601DA9.", 0, 9), ("B8601TM8.", 9, 8), ("B8601DT19.", 17, 19),
              ("B8601DZ21.", 36, 21), ("B8601CI14.", 57, 14)]
    for informat, start, width in fields:
        texts = [line[start:start + width] for line in lines]
        r = zelbrant.Reader(informat)
        values = r.read(texts, errors="coerce")
        same(values, r.codes, isoread(informat, texts))
        # The same column as fixed-width bytes, read in place.
        fixed = np.array([t.encode() for t in texts], dtype=f"S{width}")
        np.testing.assert_array_equal(r.read(fixed, errors="coerce").view(np.uint64),
                                      values.view(np.uint64))


@pytest.mark.parametrize("routine,texts", sorted(oracle_texts().items()))
@pytest.mark.parametrize("module", ["zelbrant", "morvista"])
def test_oracle_tables_as_isoread_reads_them(routine, texts, module):
    assert len(texts) >= 5, "the tables were not found"
    suffix = routine[-2:].upper()
    if module == "morvista":
        if suffix in ("DJ", "CI"):
            pytest.skip("morvista registers no such informat")
        informat = f"ND8601{suffix}{MAX_WIDTH[suffix]}."
    else:
        informat = f"B8601{suffix}{MAX_WIDTH[suffix]}."
    r = zelbrant.Reader(informat, module=module)
    same(r.read(texts, errors="coerce"), r.codes, isoread(informat, texts, module))


def test_every_column_kind_gives_the_same_values():
    texts = ["20110909T123045", "20110909", "", "bad", "20110909T1230"]
    r = zelbrant.Reader("B8601DT19.")
    want = r.read(texts, errors="coerce").view(np.uint64)
    codes = r.codes.copy()
    b = [t.encode() for t in texts]
    fixed = np.array(b, dtype="S19")
    strided = np.array(b * 2, dtype="S19").reshape(2, -1)[:, ::1].T[:, 0]  # a strided view
    wide = np.zeros(5, dtype=[("f", "S19"), ("pad", "i8")])
    wide["f"] = b
    kinds = {
        "list of str": texts,
        "list of bytes": b,
        "tuple iterator": iter(tuple(texts)),
        "S19 array": fixed,
        "S19 field of a record array": wide["f"],
        "backwards view": fixed[::-1][::-1],
        "U array": np.array(texts),
        "object array": np.array(texts, dtype=object),
        "pandas Series": pd.Series(texts),
        "pandas string Series": pd.Series(texts, dtype="string"),
    }
    for name, column in kinds.items():
        got = r.read(column, errors="coerce")
        np.testing.assert_array_equal(got.view(np.uint64), want, err_msg=name)
        np.testing.assert_array_equal(r.codes, codes, err_msg=name)
    assert strided.shape == (5,)
    np.testing.assert_array_equal(r.read(strided, errors="coerce").view(np.uint64), want)


DT_TEXT = "20110909T123045"


@pytest.fixture(params=["by address", "copied"])
def str_layout(request, monkeypatch):
    """Columns of str read where the strings are (zelbrant._texts), or
    copied into fixed-width bytes as where that module is not built."""
    if request.param == "copied":
        monkeypatch.setattr(zelbrant._capi, "texts", None)
    elif zelbrant._capi.texts is None:
        pytest.skip("zelbrant._texts is not built")
    return request.param


def test_the_address_module_is_loaded_where_it_is_built():
    import glob
    import os
    here = os.path.dirname(zelbrant._capi.path)
    if glob.glob(os.path.join(here, "_texts*.so")):
        assert zelbrant._capi.texts is not None


@pytest.mark.parametrize("name,texts", [
    ("first text the shortest", ["20110909", DT_TEXT, "2011-09-09T12:30:45", DT_TEXT + ".5"]),
    ("missing values among them", [None, DT_TEXT, float("nan"), pd.NA, "", "bad", DT_TEXT]),
    ("no text at all", [None, None, float("nan")]),
    ("longer than the reader reads", [DT_TEXT, DT_TEXT + "0" * 30, DT_TEXT + " " * 70]),
    ("other than ASCII", [DT_TEXT, "20110909T12304\uff15", "2011\u00e90909"]),
    ("str subclasses", [np.str_(DT_TEXT), DT_TEXT, np.str_("20110909")]),
    ("NULs inside", ["2011\x000909T123045", DT_TEXT, "\x00" + DT_TEXT]),
    ("pandas' missing values", [pd.NaT, DT_TEXT, pd.NA, "", None]),
    ("bytes among them", [DT_TEXT, b"20110909", bytearray(b"20110909T1230")]),
])
@pytest.mark.parametrize("informat", ["B8601DT19.", "B8601DT", "i8601dt"])
def test_columns_of_str_read_as_their_utf8_bytes(name, texts, informat, str_layout):
    """A column of str is read as the same column of UTF-8 bytes (the joined
    layout) is, whatever layout it takes."""
    r = zelbrant.Reader(informat)
    b = [t.encode() if isinstance(t, str) else t for t in texts]
    want = r.read(b, errors="coerce").view(np.uint64)
    codes = r.codes.copy()
    strided = np.array([x for t in texts for x in (t, "never read")], dtype=object)[::2]
    for column in (np.array(texts, dtype=object), pd.Series(texts, dtype=object), strided,
                   texts):
        got = r.read(column, errors="coerce").view(np.uint64)
        np.testing.assert_array_equal(got, want, err_msg=name)
        np.testing.assert_array_equal(r.codes, codes, err_msg=name)
    ticks = r.read_ticks(np.array(texts, dtype=object), errors="coerce", threads=1)
    np.testing.assert_array_equal(ticks, r.read_ticks(b, errors="coerce", threads=1))


def test_trailing_nuls_of_a_str_are_padding(str_layout):
    r = zelbrant.Reader("B8601DT19.")
    texts = np.array([DT_TEXT + "\x00", DT_TEXT + "\x00\x00\x00"], dtype=object)
    assert r.read(texts).tolist() == [DT, DT]
    assert r.read(np.array([DT_TEXT.encode()] * 2, dtype="S19")).tolist() == [DT, DT]


def test_a_failing_str_is_named_whole():
    r = zelbrant.Reader("B8601DT19.")
    with pytest.raises(zelbrant.ReadError) as e:
        r.read(np.array([DT_TEXT, "20110909X1230"], dtype=object))
    assert e.value.row == 1 and e.value.text == b"20110909X1230"


def test_fixed_arrays_are_read_in_place():
    arr = np.array([b"20110909T123045"] * 3, dtype="S19")
    r = zelbrant.Reader("B8601DT19.")
    assert r.read(arr).tolist() == [DT] * 3
    arr[1] = b"20110909T123046"  # read again from the same memory
    assert r.read(arr).tolist() == [DT, DT + 1, DT]


def test_missing_values_none_and_nan(str_layout):
    r = zelbrant.Reader("B8601DA8.")
    got = r.read(["20110909", None, float("nan"), pd.NA, "", "        "])
    assert got[0] == 18879
    assert np.isnan(got[1:]).all()
    assert r.codes.tolist() == [0] * 6
    assert r.codes.dtype == np.uint32
    s = pd.Series(["20110909", None], dtype="string")
    assert np.isnan(r.read(s)[1])


def test_errors_raise_names_the_first_failing_row():
    r = zelbrant.Reader("B8601DT19.")
    with pytest.raises(zelbrant.ReadError) as e:
        r.read(["20110909T123045", "20110909", "20110909X123045", "bad"])
    assert e.value.row == 2
    assert e.value.text == b"20110909X123045"
    assert e.value.code == 0x8001D819
    assert e.value.message == "invalid data"
    assert "row 2" in str(e.value) and "0x8001d819" in str(e.value)
    assert r.codes.tolist() == [0, 0, 0x8001D819, 0x8001D819]
    coerced = r.read(["20110909X123045", "20110909"], errors="coerce")
    assert np.isnan(coerced[0]) and coerced[1] == 18879 * 86400
    with pytest.raises(ValueError):
        r.read(["x"], errors="ignore")


def test_empty_columns():
    r = zelbrant.Reader("B8601DT19.")
    for column in ([], np.array([], dtype="S19"), pd.Series([], dtype=object)):
        got = r.read(column)
        assert got.shape == (0,) and got.dtype == np.float64
        assert r.codes.shape == (0,)


def test_bad_names_widths_and_modules():
    cases = [
        (dict(informat="B8601XX"), zelbrant.Error, "unknown informat"),
        (dict(informat="B8601DT99."), zelbrant.Error, "14 to 26"),
        (dict(informat="B8601DT", width=0), zelbrant.Error, "out of range"),
        (dict(informat="B8601DT", module="nomodule"), zelbrant.Error, "unknown module"),
    ]
    for kwargs, exc, text in cases:
        with pytest.raises(exc, match=text):
            zelbrant.Reader(**kwargs)
    with pytest.raises(TypeError):
        zelbrant.Reader("B8601DT19.").read("20110909T123045")
    with pytest.raises(TypeError):
        zelbrant.Reader("B8601DT19.").read(np.array([1.5]))


def test_entity_readers_give_packed_texts_and_decoded_forms():
    r = zelbrant.Reader("$IS860DU")
    assert r.kind == "duration" and r.target_length == 16
    texts = r.read(["P1Y2M10DT2H30M", "PT36H", None, "X"], errors="coerce")
    assert texts[0] == "00012100230FFFFC"
    assert texts[2] is None and texts[3] is None
    assert r.codes.tolist()[:3] == [0, 0, 0] and r.codes[3] == 2
    decoded = zelbrant.decode(texts)
    assert decoded[0] == "P1Y2M10DT2H30M"
    assert decoded[1] == "PT36H"
    assert decoded[2] is None
    with pytest.raises(zelbrant.ReadError, match="number not found where expected"):
        r.read(["X"])
    vl = zelbrant.Reader("is8601vli")
    assert zelbrant.decode(vl.read_one("2011-01-01/P1M")) == "2011-01-01/P1M"
    r.close()
    vl.close()
    dbg = zelbrant.Reader("$IS860DU", host_options={"DEBUG": "N8601DIAG"}, fill_stars=True)
    with pytest.raises(zelbrant.Error, match="other host options"):
        zelbrant.Reader("$IS860DU")  # while dbg is open, the host runs with DEBUG
    dbg.read(["PX"], errors="coerce")
    assert any("Problem with: 'PX'" in line for line in dbg.log())
    dbg.close()


def test_two_threads_on_two_readers():
    n = 100000
    dts = np.array([b"20110909T123045"] * n, dtype="S15")
    das = np.array([b"20110909"] * n, dtype="S8")
    a, b = zelbrant.Reader("B8601DT15."), zelbrant.Reader("B8601DA8.")
    bad = []

    def work(reader, column, want):
        for _ in range(10):
            got = reader.read(column)
            if not (got == want).all():
                bad.append(reader.name)

    ts = [threading.Thread(target=work, args=(a, dts, DT)),
          threading.Thread(target=work, args=(b, das, 18879.0))]
    for t in ts:
        t.start()
    for t in ts:
        t.join()
    assert not bad
