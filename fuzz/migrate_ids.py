#!/usr/bin/env python3
"""Rewrites saved fuzz inputs of the first header layout, where the first
byte chose a routine by its position (sel % 8, % 12, % 3), into the layout
where it holds the routine's stable id (the reader catalog's id, or an id
of the target's own from 0x80), so that each input runs the routine it ran
before. The entity target's mode, once chosen by sel >> 2, is chosen by the
extra byte now; a mode word of the "anything" kind keeps its kind but not
its bits.

usage: fuzz/migrate_ids.py DIR...   (directories laid out as fuzz/corpus)
Files named by their content's hash are renamed to the new content's hash.
"""
import hashlib
import os
import re
import sys

EXTENDED = [8, 9, 10, 11, 12, 13, 14, 0x80, 0x81, 0x82, 0x83, 0x84]
CALENDAR = [15, 16, 0x80]
ENTITY = [17, 18, 19]


def migrate(target, data):
    if not data:
        return data
    h = bytearray(data[:5].ljust(5, b"\0"))
    sel = h[0]
    if target == "basic":
        h[0] = sel % 8
    elif target == "extended":
        h[0] = EXTENDED[sel % 12]
    elif target == "calendar":
        h[0] = CALENDAR[sel % 3]
    elif target == "entity":
        pick = (sel >> 2) % 5
        extra = h[4] - h[4] % 5 + pick
        h[4] = extra if extra <= 255 else extra - 5
        h[0] = ENTITY[sel % 3]
    else:
        return data
    # An input shorter than the header reads the bytes it lacks as zeros.
    if bytes(h) == data[:5].ljust(5, b"\0"):
        return data
    return bytes(h) + data[5:]


def main(dirs):
    # All inputs of a directory are read before any is written: a rewritten
    # input may be the very content, and so take the name, of another one
    # still to be rewritten.
    for root in dirs:
        for target in sorted(os.listdir(root)):
            d = os.path.join(root, target)
            if not os.path.isdir(d):
                continue
            old = {name: open(os.path.join(d, name), "rb").read() for name in sorted(os.listdir(d))}
            new = {}
            for name, data in old.items():
                moved = migrate(target, data)
                if re.fullmatch(r"[0-9a-f]{16}|[0-9a-f]{40}", name) and \
                        hashlib.sha1(data).hexdigest()[:len(name)] == name:
                    name = hashlib.sha1(moved).hexdigest()[:len(name)]
                new[name] = moved
            for name in old:
                os.remove(os.path.join(d, name))
            for name, data in new.items():
                with open(os.path.join(d, name), "wb") as f:
                    f.write(data)


if __name__ == "__main__":
    main(sys.argv[1:] or [os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")])
