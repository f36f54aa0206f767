#!/usr/bin/env python3
"""Writes a few small ERF/MOD/RIM archives as a starting corpus for fuzz_erf."""
import os
import struct
import sys


def erf(file_type, resources, strings=()):
    n = len(resources)
    block = b"".join(struct.pack("<iI", lang, len(t)) + t for lang, t in strings)
    keys_at = 160 + len(block)
    list_at = keys_at + 24 * n
    data_at = list_at + 8 * n
    head = file_type + b"V1.0" + struct.pack("<iIiIIIIII", len(strings), len(block), n, 160,
                                               keys_at, list_at, 126, 45, 0xFFFFFFFF) + bytes(116)
    keys = b"".join(name.ljust(16, b"\0") + struct.pack("<IHH", i, rtype, 0)
                    for i, (name, rtype, _) in enumerate(resources))
    table, offset = b"", data_at
    for _, _, body in resources:
        table += struct.pack("<II", offset, len(body))
        offset += len(body)
    return head + block + keys + table + b"".join(body for _, _, body in resources)


def rim(resources):
    n = len(resources)
    head = b"RIM V1.0" + struct.pack("<IiI", 0, n, 120) + bytes(100)
    keys, offset = b"", 120 + 32 * n
    for i, (name, rtype, body) in enumerate(resources):
        keys += name.ljust(16, b"\0") + struct.pack("<IIII", rtype, i, offset, len(body))
        offset += len(body)
    return head + keys + b"".join(body for _, _, body in resources)


def main(folder):
    os.makedirs(folder, exist_ok=True)
    sample = [(b"module", 2014, b"GFF IFO V3.2" + bytes(20)), (b"Area-01", 2012, b"are"),
              (b"blob", 2019, b"x" * 40), (b"empty", 2025, b"")]
    seeds = {
        "mod_two_strings": erf(b"MOD ", sample, [(0, b"A module"), (2, b"Ein Modul")]),
        "erf_empty": erf(b"ERF ", []),
        "hak_one": erf(b"HAK ", sample[:1]),
        "rim_sample": rim(sample),
        "rim_empty": rim([]),
    }
    for name, body in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(body)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "fuzz-corpus-erf")
