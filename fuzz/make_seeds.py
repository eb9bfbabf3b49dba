#!/usr/bin/env python3
"""Writes the seed corpus fuzz/corpus/<target>/: the edge-case texts of the
tests, each behind the five header bytes that choose routine, width code,
available-length code, target-length code and mode (see harness.h)."""
import hashlib
import os

HERE = os.path.dirname(os.path.abspath(__file__))

DATES = ["2011-09-09", "20110909", "2011", "201109", "2011-09", "1582-01-01", "20000-12-31",
         "2011-02-29", "2012-02-29", "2011-13-01", "2011-99-99", "  2011-09-09  ", ".", "    ",
         "2011-9-09", "11-09-09", "2011-09-0"]
TIMES = ["12:30:45", "123045", "1230", "12", "12:30:45.5", "1230455", "24:00:00", "12:60:00",
         "12:30:45Z", "123045Z", "12:30:45+01:00", "123045+0100", "123045-0530", "12:30:45-05",
         "12:30", "1", "123", "12345", "", "12:30:45.123456789012345678901234567890", "T12:30",
         "123045z", "1230451-0500", "235959-9959", "000000+0000", "1230Z", "123045+01",
         "1230451234567890123456789012345678901234Z", "123045.5Z"]
DATETIMES = ["20110909T123045", "20110909T1230", "2011-09-09T12:30:45", "2011-09-09T123045",
             "20110909T12:30:45", "20110909T123045-0500", "20110909T123045Z", "20110909t123045",
             "0110909T123045", "9110909123045", "20110909123045", "2011-09-09T12:30:45.5Z",
             "2011-09-09T24:00:00", "19600101T000000", "15820101T000000", "2011-09-09T",
             "20110909T12304", "20110909T123045+01:00",
             "20110909T1230455+0100", "20110909t123045-0500", "20110909t123045+0100",
             "20110909T000000Z", "2011090912", "20110909T", "20110909T240000", "20110230T120000",
             "19591231T235959.999-0100", "20110909T12", "20110909T123045z", "20110909 123045"]
DURATIONS = ["P1Y", "-P1Y", "-PT2H", "PT36H", "-PT36H", "PT36.5H", "P2W", "PT90S", "P1Y2M10DT2H30M",
             "P0D", "PT0S", "P1Y2M3DT4H5M6.789S", "P0001-02-03T04:05:06", "P00010203T040506",
             "P--02", "P1.5Y", "PT4294967296S", "P99999999999999999999Y", "P", "PT", "-P", "P1W2D",
             "2011-09-09T12:30:45.5", "2011", "2011-09", "--09-09", "T12:30", "20110909T123045",
             "2011-W36", "2011-252", ".", " ", "P1Y,5M", "2011-09-09T12:30:45+01:00",
             "PT36H30.5S", "P1Y1.5W", "P1Y13.5M", "P0001-02-10T25:00:00.5", "PT4294967.295S",
             "PT4294967.5S", "1582-01-01T00:30:00+01:00", "9999-12-31T23:00:00-01:00",
             "2011-09-09T12:30:45+01:99", "2011-09-09T12:30:45Zjunk"]
INTERVALS = ["2011-09-09/P1M", "P1M/2011-09-09", "2011-01-01/2011-12-31",
             "2011-01-01T00:00/2011-01-02T12:30", "P1Y", "2011-09-09", "/", "2011-01-31/P1M",
             "2012-02-29/P1Y", "2011-12-31/2011-01-01", "P1D/P1D", " 2011/2012 ", "--/P1D",
             "2011-09-09T12:30:45.5/PT0.5S", "R2/2011/P1Y"]
MODES = [0, 1, 2, 3, 4]  # 0x80, 0x100, 0x200, 0, anything
# The first header byte holds the routine's stable id: the reader catalog's
# id (include/catalog.h), or an id of the target's own from 0x80.
BASIC = list(range(8))  # b8601da .. b8601ci
EXTENDED = [8, 9, 10, 11, 12, 13, 14, 0x80, 0x81, 0x82, 0x83, 0x84]  # i8601tm .. get_time_offset
CALENDAR = [15, 16, 0x80]  # zifmymd, zifmtim, zifmgmd
ENTITY = DUI, PDI, VLI = 17, 18, 19  # the entity readers; the last header byte picks the mode
# Fractions of more than three digits, with leading zeros, all nines, beyond
# 64 bits, in basic notation, and a second number in the fraction slot.
FRACTIONS = ["2011-09-09T12:30:45.069178", "2011-09-09T12:30.0691", "2011-09-09T12,00049",
             "2011-09-09T12:30:45.12345678901234567890", "2011-09-09T12:30:45.9999996",
             "20110909T12.5555", "20110909T123045,00012", "2011.0005", "2011-01.0691",
             "PT0.069178S", "PT2.0000048S", "P1.99999999999999999999Y", "2011-09-09T12:30:45:0557",
             "2011-09-09T12.5:30", "PT2,8706,0", "2011-09-09T12:30:45.0691/PT1.00049H"]


def targets():
    """The fuzz targets' names, from targets.txt."""
    with open(os.path.join(HERE, "targets.txt")) as f:
        return [line.strip() for line in f if "a" <= line[:1] <= "z"]


def seeds():
    out = {t: [] for t in targets()}
    numeric = DATES + TIMES + DATETIMES
    for i, text in enumerate(numeric):
        for r in range(8):
            out["basic"].append(bytes([BASIC[r], 0, 0, 0, 0]) + text.encode("latin-1"))
        for r in range(12):
            if (i + r) % 2 == 0 or r < 9:
                out["extended"].append(bytes([EXTENDED[r], 0, 0, 0, i % 2]) + text.encode("latin-1"))
        for r in range(3):
            out["calendar"].append(bytes([CALENDAR[r], 0, 0, 0, 3 if i % 2 else 0]) + text.encode("latin-1"))
    for text in DATES + ["09/09/2011", "9/9/11", "090911", "11/09/09", "12:30", "12:30:45 PM",
                         "1230", "12:30AM", "2011.09.09"]:
        out["calendar"].append(bytes([CALENDAR[0], 0, 0, 0, 2]) + text.encode())
        out["calendar"].append(bytes([CALENDAR[2], 0, 0, 0, 6]) + text.encode())
    for text in DURATIONS:
        for m in MODES:
            out["scanner"].append(bytes([m | 8 * (m % 2), 0, 0, 0, 0]) + text.encode())
        for r in range(2):
            # The readers and modes these seeds have always run (once chosen
            # by sel % 3 and sel >> 2 of sel = r + 4 * k).
            k = len(text) % 5
            out["entity"].append(bytes([ENTITY[(r + 4 * k) % 3], 0, 0, 16 + 4 * r, k]) + text.encode())
    for text in FRACTIONS:
        for m in [0, 3]:
            out["scanner"].append(bytes([m, 0, 0, 0, 0]) + text.encode())
            out["interval"].append(bytes([m, 0, 0, 0, 0]) + text.encode())
        out["entity"].append(bytes([PDI, 0, 0, 16, 0]) + text.encode())
    for text in INTERVALS + DURATIONS[:8]:
        for m in MODES:
            out["interval"].append(bytes([m, 0, 0, 0, 0]) + text.encode())
        out["entity"].append(bytes([VLI, 0, 0, 32, 0]) + text.encode())
        out["entity"].append(bytes([DUI, 0, 0, 40, 1]) + text.encode())
    for tl in [15, 31, 0, 0xFE, 0xFF]:
        out["entity"].append(bytes([DUI, 0, 0, tl, 0]) + b"P1Y")
        out["entity"].append(bytes([VLI, 0, 0, tl, 0]) + b"2011/P1Y")
    for code in list(range(0, 29)) + [200]:
        out["prob"].append(bytes([code % 2, 0, 0, 16, code]) + b"2011-99-99")
    for r in range(9):
        for text in ["  12:30  ", "hh:mm", "   5", "abcdefgh", "AbCdEfGh", "", "    ",
                     "1234567890123456789", "\x00\xff\x80 "]:
            out["strings"].append(bytes([r, 0, 0, 0, ord(":") if r else 32]) + text.encode("latin-1"))
    # Widths and lengths at their edges, for every target.
    for t, lst in out.items():
        first = lst[0][5:]
        for w, a in [(0xFF, 0), (0xFE, 0), (0, 0xFE), (0xFD, 0xFD), (0xFC, 0), (0x85, 0), (0, 0x82),
                     (0x10, 0), (0xFB, 0)]:
            lst.append(bytes([lst[0][0], w, a, lst[0][3], lst[0][4]]) + first)
    return out


def main():
    # Inputs that once broke a property are kept as corpus/<target>/regress-*;
    # this script leaves them alone.
    root = os.path.join(HERE, "corpus")
    for target, items in seeds().items():
        d = os.path.join(root, target)
        os.makedirs(d, exist_ok=True)
        for old in os.listdir(d):
            if not old.startswith("regress-"):
                os.remove(os.path.join(d, old))
        for data in items:
            name = hashlib.sha1(data).hexdigest()[:16]
            with open(os.path.join(d, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
