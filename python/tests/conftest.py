"""Shared helpers: the build, isoread's results on the same texts, and the
oracle texts of the basic readers' tables."""

import json
import os
import re
import subprocess

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.abspath(os.environ.get("ZELBRANT_BUILD", os.path.join(ROOT, "build")))
os.environ["ZELBRANT_BUILD"] = BUILD

# Widest field of each registered basic informat.
MAX_WIDTH = {"DA": 10, "TM": 15, "TZ": 20, "DT": 26, "DZ": 35, "DN": 10, "DJ": 26, "CI": 26}


def isoread(informat, texts, module="zelbrant"):
    """isoread --json on one text per line: a list of (rc, value or None)."""
    exe = os.path.join(BUILD, "isoread")
    if not os.access(exe, os.X_OK):
        pytest.fail(f"{exe} is not built")
    data = "".join(t + "\n" for t in texts).encode()
    p = subprocess.run([exe, "--json", "-m", module, "-f", informat], input=data,
                       capture_output=True, check=False)
    assert p.returncode in (0, 1), p.stderr.decode()
    out = []
    for line in p.stdout.decode().splitlines():
        f = json.loads(line)["fields"][0]
        out.append((f["rc"], f["value"]))
    assert len(out) == len(texts)
    return out


def oracle_texts():
    """Every text of the basic readers' row tables, by routine ("b8601dt")."""
    tables = {}
    for name in ("basic_date_test.cc", "basic_time_test.cc", "basic_datetime_test.cc"):
        src = open(os.path.join(ROOT, "tests", name), encoding="utf-8").read()
        for m in re.finditer(r'run_rows\(reader\("(\w+)"\), \{(.*?)\n  \}\);', src, re.S):
            rows = re.findall(r'^\s*\{"((?:[^"\\]|\\.)*)",', m.group(2), re.M)
            texts = [bytes(r, "utf-8").decode("unicode_escape") for r in rows]
            tables.setdefault(m.group(1), []).extend(t for t in texts if "\n" not in t)
    return tables
