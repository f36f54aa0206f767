#!/usr/bin/env python3
"""Writes small seed inputs for the format fuzzers into fuzz/corpus-<format>/.

The folders are not committed. Typical use, from the source folder:
  python3 fuzz/make_seeds.py
  nice -n 19 build-fuzz/fuzz/fuzz_2da -max_total_time=600 -rss_limit_mb=2048 -timeout=10 fuzz/corpus-2da
"""
import os
import struct
import sys

root = os.path.dirname(os.path.abspath(__file__))


def put(fmt, name, data):
    folder = os.path.join(root, "corpus-" + fmt)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def table(columns, rows, cells, data_size=b"\0\0"):
    """cells: rows x columns texts; written with one copy of each text."""
    out = b"2DA V2.b\n" + b"".join(c + b"\t" for c in columns) + b"\0"
    out += struct.pack("<i", len(rows)) + b"".join(r + b"\t" for r in rows)
    strings, offsets, seen = b"", b"", {}
    for row in cells:
        for text in row:
            if text not in seen:
                seen[text] = len(strings)
                strings += text + b"\0"
            offsets += struct.pack("<H", seen[text])
    return out + offsets + data_size + strings


put("2da", "small", table([b"label", b"name", b"cost"], [b"0", b"1", b"2"],
                          [[b"a", b"", b"10"], [b"b", b"abc", b""], [b"a", b"x", b"10"]]))
put("2da", "empty-rows", table([b"a", b"b"], [], []))
put("2da", "wide", table([b"c%d" % i for i in range(30)], [b"%d" % r for r in range(6)],
                         [[b"%d" % ((r * c) % 7) if (r + c) % 3 else b"" for c in range(30)] for r in range(6)]))
put("2da", "text-form", b"2DA V2.0\n\nlabel name\n0 a b\n")


def tlk(entries, lang=0):
    head = b"TLK V3.0" + struct.pack("<III", lang, len(entries), 20 + 40 * len(entries))
    table, strings = b"", b""
    for flags, sound, text in entries:
        off = len(strings) if text else 0
        table += struct.pack("<I16sIIIIf", flags, sound, 0, 0, off, len(text), 1.25)
        strings += text
    return head + table + strings


put("tlk", "small", tlk([(7, b"vo_a", b"Hello"), (0, b"", b""), (1, b"snd", b"World!")]))
put("tlk", "nul-text", tlk([(0, b"", b"ab\0cd"), (0, b"", b"x" * 40)]))
put("tlk", "one", tlk([(0, b"", b"")]))

ssf = b"SSF V1.1" + struct.pack("<I", 12) + b"".join(struct.pack("<i", v) for v in range(-1, 39))
put("ssf", "standard", ssf)
put("ssf", "offset", b"SSF V1.1" + struct.pack("<I", 16) + b"pad!" + ssf[12:])
put("ssf", "short", ssf[:40])
sys.exit(0)
