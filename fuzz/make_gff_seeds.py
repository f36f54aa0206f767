#!/usr/bin/env python3
"""Writes a small seed corpus of GFF documents for fuzz_gff into the folder
given as the first argument (default: fuzz/corpus-gff)."""
import os
import struct
import sys


class Doc:
    """Tables laid out like a file: structs, fields, labels, data, indices."""

    def __init__(self, ftype=b"UTC "):
        self.ftype = ftype
        self.structs, self.fields, self.labels = [], [], []
        self.data, self.fidx, self.lidx = bytearray(), bytearray(), bytearray()

    def label(self, text):
        raw = text.encode().ljust(16, b"\0")[:16]
        if raw not in self.labels:
            self.labels.append(raw)
        return self.labels.index(raw)

    def struct(self, stype, field_indices):
        if len(field_indices) == 1:
            self.structs.append((stype, field_indices[0], 1))
        elif field_indices:
            self.structs.append((stype, len(self.fidx), len(field_indices)))
            for f in field_indices:
                self.fidx += struct.pack("<I", f)
        else:
            self.structs.append((stype, 0xFFFFFFFF, 0))
        return len(self.structs) - 1

    def field(self, ftype, label, value):
        self.fields.append((ftype, self.label(label), value))
        return len(self.fields) - 1

    def blob(self, raw):
        off = len(self.data)
        self.data += raw
        return off

    def list(self, struct_indices):
        off = len(self.lidx)
        self.lidx += struct.pack("<I", len(struct_indices))
        for s in struct_indices:
            self.lidx += struct.pack("<I", s)
        return off

    def build(self):
        # The top-level struct must be entry 0: callers reserve it first.
        out = bytearray(self.ftype + b"V3.2")
        off = 56
        blocks = [
            (b"".join(struct.pack("<3I", *s) for s in self.structs), len(self.structs)),
            (b"".join(struct.pack("<3I", *f) for f in self.fields), len(self.fields)),
            (b"".join(self.labels), len(self.labels)),
            (bytes(self.data), len(self.data)),
            (bytes(self.fidx), len(self.fidx)),
            (bytes(self.lidx), len(self.lidx)),
        ]
        for raw, count in blocks:
            out += struct.pack("<II", off, count)
            off += len(raw)
        for raw, _ in blocks:
            out += raw
        return bytes(out)


def reserve_root(d):
    d.structs.append(None)


def set_root(d, stype, field_indices):
    idx = d.struct(stype, field_indices)
    d.structs[0] = d.structs.pop(idx)


def empty():
    d = Doc(b"UTI ")
    d.structs.append((0, 0xFFFFFFFF, 0))
    return d.build()


def all_types():
    d = Doc()
    reserve_root(d)
    f = []
    f.append(d.field(0, "Byte", 200))
    f.append(d.field(1, "Char", ord("x")))
    f.append(d.field(2, "Word", 65535))
    f.append(d.field(3, "Short", 0xFFFE))
    f.append(d.field(4, "DWORD", 0xFFFFFFFF))
    f.append(d.field(5, "Int", 0xFFFFFFFB))
    f.append(d.field(6, "DWORD64", d.blob(struct.pack("<Q", 2**63))))
    f.append(d.field(7, "Int64", d.blob(struct.pack("<q", -3))))
    f.append(d.field(8, "Float", struct.unpack("<I", struct.pack("<f", 1.5))[0]))
    f.append(d.field(9, "Double", d.blob(struct.pack("<d", 2.5))))
    f.append(d.field(10, "Tag", d.blob(struct.pack("<I", 5) + b"hello")))
    f.append(d.field(11, "TemplateResRef", d.blob(struct.pack("<B", 6) + b"myitem")))
    loc = struct.pack("<II", 12, 5) + b"hello" + struct.pack("<II", 3, 2) + b"hi"
    f.append(d.field(12, "LocName", d.blob(struct.pack("<III", 8 + len(loc), 42, 2) + loc)))
    f.append(d.field(13, "Data", d.blob(struct.pack("<I", 3) + b"\x01\x02\x03")))
    f.append(d.field(16, "Orientation", d.blob(struct.pack("<4f", 0, 0, 0, 1))))
    f.append(d.field(17, "Position", d.blob(struct.pack("<3f", 1, 2, 3))))
    inner = d.struct(3, [d.field(0, "Inner", 1)])
    f.append(d.field(14, "Child", inner))
    elems = [d.struct(i, [d.field(10, "Tag", d.blob(struct.pack("<I", 1) + b"a")), d.field(5, "Count", i)])
             for i in range(3)]
    f.append(d.field(15, "ItemList", d.list(elems + [d.struct(9, [])])))
    set_root(d, 0xFFFFFFFF, f)
    return d.build()


def dialog(entries=12, depth=40):
    d = Doc(b"DLG ")
    reserve_root(d)
    def chain(n):
        fs = [d.field(5, "Level", n)]
        if n > 1:
            fs.append(d.field(14, "Nested", chain(n - 1)))
        return d.struct(0, fs)
    def node(i, links):
        txt = ("Line %d of the dialog." % i).encode()
        loc = struct.pack("<III", 8 + 8 + len(txt), 0xFFFFFFFF, 1) + struct.pack("<II", 0, len(txt)) + txt
        fs = [d.field(10, "Speaker", d.blob(struct.pack("<I", 3) + b"npc")),
              d.field(12, "Text", d.blob(loc)),
              d.field(11, "Script", d.blob(struct.pack("<B", 5) + b"k_act")),
              d.field(4, "Delay", 0xFFFFFFFF)]
        reps = [d.struct(0, [d.field(4, "Index", k), d.field(0, "IsChild", k % 2)]) for k in range(2)]
        fs.append(d.field(15, links, d.list(reps)))
        if i == 0:
            fs.append(d.field(14, "Nested", chain(depth)))
        return d.struct(i, fs)
    e = d.field(15, "EntryList", d.list([node(i, "RepliesList") for i in range(entries)]))
    r = d.field(15, "ReplyList", d.list([node(i, "EntriesList") for i in range(entries)]))
    set_root(d, 0xFFFFFFFF, [d.field(4, "DelayEntry", 0), e, r])
    return d.build()


def shared_struct():
    d = Doc()
    reserve_root(d)
    s = d.struct(5, [d.field(0, "V", 9)])
    set_root(d, 0, [d.field(14, "A", s), d.field(14, "B", s)])
    return d.build()


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus-gff")
    os.makedirs(out, exist_ok=True)
    seeds = {"empty": empty(), "all_types": all_types(), "dialog": dialog(), "small_dialog": dialog(2, 4),
             "shared": shared_struct()}
    for name, raw in seeds.items():
        with open(os.path.join(out, name + ".gff"), "wb") as fh:
            fh.write(raw)


if __name__ == "__main__":
    main()
