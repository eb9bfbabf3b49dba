"""Random valid texts against Python's own datetime, for every datetime and
date reader, exact to the microsecond."""

import datetime as dt

import pandas as pd
import pytest

hypothesis = pytest.importorskip("hypothesis")
from hypothesis import given, settings, strategies as st  # noqa: E402

import zelbrant  # noqa: E402

# Years where a host datetime resolves a microsecond (within 2^31 s of 1960).
MOMENTS = st.datetimes(min_value=dt.datetime(1902, 1, 1), max_value=dt.datetime(2027, 12, 31))
ZONES = st.integers(min_value=-14 * 60, max_value=14 * 60)


def basic(t, sep="T"):
    return f"{t:%Y%m%d}{sep}{t:%H%M%S}{t.microsecond:06}"


def zone_basic(minutes):
    return "Z" if minutes == 0 else f"{'+' if minutes > 0 else '-'}{abs(minutes) // 60:02}{abs(minutes) % 60:02}"


def zone_ext(minutes):
    z = zone_basic(minutes)
    return z if z == "Z" else f"{z[:3]}:{z[3:]}"


# reader, module, text of (moment, zone minutes), what it stands for.
CASES = [
    ("B8601DT", "zelbrant", lambda t, z: basic(t), lambda t, z: t),
    ("ND8601DT", "morvista", lambda t, z: basic(t), lambda t, z: t),
    ("B8601DJ", "zelbrant", lambda t, z: basic(t, ""), lambda t, z: t),
    ("B8601CI", "zelbrant", lambda t, z: f"{t.year // 100 - 19}{basic(t)[2:]}",
     lambda t, z: t),
    ("i8601dt", "zelbrant", lambda t, z: f"{t:%Y-%m-%dT%H:%M:%S}.{t.microsecond:06}",
     lambda t, z: t),
    ("B8601DZ", "zelbrant", lambda t, z: basic(t) + zone_basic(z),
     lambda t, z: t - dt.timedelta(minutes=z)),
    ("ND8601DZ", "morvista", lambda t, z: basic(t) + zone_basic(z),
     lambda t, z: t - dt.timedelta(minutes=z)),
    ("i8601dz", "zelbrant", lambda t, z: f"{t:%Y-%m-%dT%H:%M:%S}.{t.microsecond:06}{zone_ext(z)}",
     lambda t, z: t - dt.timedelta(minutes=z)),
    ("B8601DA", "zelbrant", lambda t, z: f"{t:%Y%m%d}", lambda t, z: dt.datetime(t.year, t.month, t.day)),
    ("ND8601DA", "morvista", lambda t, z: f"{t:%Y%m%d}", lambda t, z: dt.datetime(t.year, t.month, t.day)),
    ("B8601DN", "zelbrant", lambda t, z: f"{t:%Y%m%d}", lambda t, z: dt.datetime(t.year, t.month, t.day)),
    ("i8601da", "zelbrant", lambda t, z: f"{t:%Y-%m-%d}", lambda t, z: dt.datetime(t.year, t.month, t.day)),
    ("i8601dn", "zelbrant", lambda t, z: f"{t:%Y-%m-%d}", lambda t, z: dt.datetime(t.year, t.month, t.day)),
]


@pytest.mark.parametrize("informat,module,text,means", CASES, ids=[c[0] for c in CASES])
@settings(max_examples=150, deadline=None)
@given(rows=st.lists(st.tuples(MOMENTS, ZONES), min_size=1, max_size=40))
def test_random_texts_against_datetime(informat, module, text, means, rows):
    if informat == "B8601CI":
        rows = [(t, z) for t, z in rows if 1900 <= t.year <= 2099]
    texts = [text(t, z) for t, z in rows]
    got = zelbrant.to_datetime(texts, informat, module=module, unit="us", utc=False)
    want = [means(t, z) for t, z in rows]
    assert [pd.Timestamp(g).to_pydatetime() for g in got] == want, texts
