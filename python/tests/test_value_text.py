"""zb_value_text against Python's datetime and Decimal: random microsecond
instants from 1582 to 9999 made into host seconds, rendered, and compared
with an oracle that splits Python's own shortest repr of the double with
exact decimal arithmetic; where a double holds every microsecond the text
must also be datetime's isoformat itself."""

import ctypes
import datetime as dt
import decimal
import math
import random

import pytest

from zelbrant import _capi

KIND_DATE, KIND_TIME, KIND_DATETIME = _capi.KIND_DATE, _capi.KIND_TIME, _capi.KIND_DATETIME
TEXT_ZONE = 1
EPOCH = dt.datetime(1960, 1, 1)
DAY_US = 86_400_000_000
FIRST_US = (dt.datetime(1582, 1, 1) - EPOCH) // dt.timedelta(microseconds=1)
END_US = (dt.datetime(9999, 12, 31, 23, 59, 59, 999999) - EPOCH) // dt.timedelta(microseconds=1) + 1
FIRST_DAY = (dt.date(1582, 1, 1) - EPOCH.date()).days
END_DAY = (dt.date(9999, 12, 31) - EPOCH.date()).days + 1


@pytest.fixture(scope="module")
def value_text():
    lib = ctypes.CDLL(_capi._find())
    f = lib.zb_value_text
    f.restype = ctypes.c_int
    f.argtypes = [ctypes.c_int32, ctypes.c_double, ctypes.c_uint32, ctypes.c_char_p,
                  ctypes.c_size_t]
    buf = ctypes.create_string_buffer(128)

    def render(kind, value, flags=0):
        n = f(kind, value, flags, buf, len(buf))
        assert n >= 0, (value, n, lib.zb_last_error)
        return buf.value.decode()

    return render


def stripped(iso):
    """isoformat with the fraction's trailing zeros (and a bare '.') dropped."""
    if "." in iso:
        iso = iso.rstrip("0").rstrip(".")
    return iso


def oracle(value):
    """The datetime text of host seconds by exact arithmetic on repr(value)."""
    with decimal.localcontext() as ctx:
        ctx.prec = 60
        d = decimal.Decimal(repr(value))
        days = int(d // 86400)
        if d < days * 86400:
            days -= 1
        secs = d - days * 86400
        whole = int(secs)
        frac = format(secs - whole, "f")  # "0.123456" or "0"
    date = (EPOCH.date() + dt.timedelta(days=days)).isoformat()
    clock = f"{whole // 3600:02d}:{whole // 60 % 60:02d}:{whole % 60:02d}"
    frac = frac[1:].rstrip("0") if "." in frac else ""
    return f"{date}T{clock}{frac.rstrip('.')}"


def test_million_random_datetimes(value_text):
    rng = random.Random(20110909)
    exact = 0
    for _ in range(1_000_000):
        us = rng.randrange(FIRST_US, END_US)
        value = us / 1_000_000  # correctly rounded: the double nearest the instant
        text = value_text(KIND_DATETIME, value)
        assert text == oracle(value), (us, value)
        if math.ulp(value) < 1e-6:  # the double keeps every microsecond
            iso = (EPOCH + dt.timedelta(microseconds=us)).isoformat()
            assert text == stripped(iso), (us, value)
            exact += 1
    assert exact > 30_000  # 1824 to 2096: about 3.2% of the draws


def test_random_times_and_dates(value_text):
    rng = random.Random(1582)
    for _ in range(100_000):
        us = rng.randrange(0, DAY_US)
        iso = (dt.datetime.min + dt.timedelta(microseconds=us)).time().isoformat()
        assert value_text(KIND_TIME, us / 1_000_000, TEXT_ZONE) == stripped(iso) + "Z", us
        days = rng.randrange(FIRST_DAY, END_DAY)
        want = (EPOCH.date() + dt.timedelta(days=days)).isoformat()
        assert value_text(KIND_DATE, float(days)) == want, days


def test_readers_texts_come_back(value_text):
    """Random texts read by i8601dt and rendered give themselves back: six
    fraction digits where the double keeps microseconds, three elsewhere."""
    import zelbrant

    rng = random.Random(9999)
    texts = []
    for _ in range(200_000):
        us = rng.randrange(FIRST_US, END_US)
        when = EPOCH + dt.timedelta(microseconds=us)
        digits = 6 if 1824 < when.year < 2096 else 3
        iso = when.isoformat(timespec="microseconds")[:20 + digits]
        texts.append(stripped(iso))
    with zelbrant.Reader("i8601dt") as r:
        values = r.read([t.encode() for t in texts])
    for text, value in zip(texts, values):
        assert value_text(KIND_DATETIME, float(value)) == text, (text, float(value))
