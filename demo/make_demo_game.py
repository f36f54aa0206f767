#!/usr/bin/env python3
"""Writes the demo's game folder and a ready-to-install copy of the demo mod.

    make_demo_game.py OUTDIR

OUTDIR/game  a small game folder: dialog.tlk, override/ with one table and one
             texture, modules/ with one ERF-layout module and one RIM.
OUTDIR/mod   a copy of demo/mod (the installer's folder) whose veypatchdata/
             also holds the mod's binary inputs generated here: append.tlk,
             baseitems.2da, demo_blade.uti, demo_chest.utp, demo_blade.ncs,
             demo_vo.ssf and two textures.

Nothing binary lives in the repository; every run writes identical bytes.
Standard library only. OUTDIR must be empty or missing.
"""

import os
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------
# Talk table ("TLK " "V3.0")
# ---------------------------------------------------------------------------


def tlk_bytes(entries, language_id=0):
    """entries: list of (text, sound_resref) pairs; a sound sets flag bit 2."""
    count = len(entries)
    data_offset = 20 + 40 * count
    table = bytearray()
    texts = bytearray()
    for text, sound in entries:
        raw = text.encode("cp1252")
        flags = 1 | (2 if sound else 0) | (4 if sound else 0)
        offset = len(texts) if raw else 0
        table += struct.pack("<I16sIIIIf", flags, sound.encode("ascii"), 0, 0,
                             offset, len(raw), 1.5 if sound else 0.0)
        texts += raw
    header = b"TLK V3.0" + struct.pack("<III", language_id, count, data_offset)
    return bytes(header + table + texts)


# ---------------------------------------------------------------------------
# Binary table ("2DA V2.b")
# ---------------------------------------------------------------------------


def twoda_bytes(columns, rows):
    """rows: list of (label, [cells]); "****" is written as an empty text."""
    out = bytearray(b"2DA V2.b\n")
    for c in columns:
        out += c.encode("cp1252") + b"\t"
    out += b"\0" + struct.pack("<i", len(rows))
    for label, _ in rows:
        out += label.encode("cp1252") + b"\t"
    pool = {}
    strings = bytearray()
    offsets = []
    for _, cells in rows:
        assert len(cells) == len(columns)
        for cell in cells:
            raw = b"" if cell == "****" else cell.encode("cp1252")
            if raw not in pool:
                pool[raw] = len(strings)
                strings += raw + b"\0"
            offsets.append(pool[raw])
    for o in offsets:
        out += struct.pack("<H", o)
    out += struct.pack("<H", len(strings))
    return bytes(out + strings)


# ---------------------------------------------------------------------------
# Structured documents ("V3.2")
# ---------------------------------------------------------------------------

BYTE, CHAR, WORD, SHORT, DWORD, INT, DWORD64, INT64, FLOAT, DOUBLE = range(10)
EXOSTRING, RESREF, LOCSTRING, VOID, STRUCT, LIST, ORIENTATION, POSITION = range(10, 18)


class S:
    """A struct: its type id and its fields as (label, type, value) triples.
    A STRUCT field's value is an S, a LIST field's value a list of S, a
    LOCSTRING's value (strref, [(language id, text)])."""

    def __init__(self, stype=0, fields=()):
        self.stype = stype
        self.fields = list(fields)


def gff_bytes(file_type, root):
    structs, fields, labels, data, field_idx, list_idx = [], [], [], bytearray(), bytearray(), bytearray()

    def label_index(label):
        raw = label.encode("ascii")
        assert len(raw) <= 16
        if raw not in labels:
            labels.append(raw)
        return labels.index(raw)

    def field_data(ftype, value):
        offset = len(data)
        if ftype in (DWORD64, INT64):
            data.extend(struct.pack("<q" if ftype == INT64 else "<Q", value))
        elif ftype == DOUBLE:
            data.extend(struct.pack("<d", value))
        elif ftype == EXOSTRING:
            raw = value.encode("cp1252")
            data.extend(struct.pack("<I", len(raw)) + raw)
        elif ftype == RESREF:
            raw = value.encode("ascii")
            assert len(raw) <= 16
            data.extend(struct.pack("<B", len(raw)) + raw)
        elif ftype == LOCSTRING:
            strref, subs = value
            body = bytearray(struct.pack("<II", strref & 0xFFFFFFFF, len(subs)))
            for lang, text in subs:
                raw = text.encode("cp1252")
                body += struct.pack("<II", lang, len(raw)) + raw
            data.extend(struct.pack("<I", len(body)) + body)
        elif ftype == VOID:
            data.extend(struct.pack("<I", len(value)) + value)
        elif ftype == ORIENTATION:
            data.extend(struct.pack("<4f", *value))
        elif ftype == POSITION:
            data.extend(struct.pack("<3f", *value))
        else:
            raise ValueError(ftype)
        return offset

    def write_struct(s):
        index = len(structs)
        structs.append(None)
        ids = [write_field(f) for f in s.fields]
        if len(ids) == 1:
            ref = ids[0]
        elif ids:
            ref = len(field_idx)
            field_idx.extend(struct.pack("<%dI" % len(ids), *ids))
        else:
            ref = 0xFFFFFFFF
        structs[index] = struct.pack("<III", s.stype, ref, len(ids))
        return index

    def write_field(f):
        label, ftype, value = f
        index = len(fields)
        fields.append(None)
        if ftype in (BYTE, CHAR):
            inline = struct.pack("<B3x", value)
        elif ftype in (WORD, SHORT):
            inline = struct.pack("<H2x" if ftype == WORD else "<h2x", value)
        elif ftype in (DWORD, INT):
            inline = struct.pack("<I" if ftype == DWORD else "<i", value)
        elif ftype == FLOAT:
            inline = struct.pack("<f", value)
        elif ftype == STRUCT:
            inline = struct.pack("<I", write_struct(value))
        elif ftype == LIST:
            offset = len(list_idx)
            list_idx.extend(bytes(4 + 4 * len(value)))
            ids = [write_struct(s) for s in value]
            list_idx[offset:offset + 4 + 4 * len(ids)] = struct.pack("<%dI" % (len(ids) + 1), len(ids), *ids)
            inline = struct.pack("<I", offset)
        else:
            inline = struct.pack("<I", field_data(ftype, value))
        fields[index] = struct.pack("<II", ftype, label_index(label)) + inline
        return index

    write_struct(root)
    blocks = [b"".join(structs), b"".join(fields), b"".join(l.ljust(16, b"\0") for l in labels),
              bytes(data), bytes(field_idx), bytes(list_idx)]
    counts = [len(structs), len(fields), len(labels), len(data), len(field_idx), len(list_idx)]
    header = bytearray(file_type.encode("ascii") + b"V3.2")
    offset = 56
    for block, count in zip(blocks, counts):
        header += struct.pack("<II", offset, count)
        offset += len(block)
    return bytes(header) + b"".join(blocks)


# ---------------------------------------------------------------------------
# Archives: ERF layout ("MOD ") and RIM layout
# ---------------------------------------------------------------------------

TYPES = {"tga": 3, "txt": 10, "ncs": 2010, "are": 2012, "ifo": 2014, "git": 2023,
         "uti": 2025, "utc": 2027, "dlg": 2029, "utd": 2042, "utp": 2044}


def split_name(name):
    base, ext = name.rsplit(".", 1)
    return base.encode("ascii"), TYPES[ext]


def erf_bytes(file_type, resources, description_strref=0xFFFFFFFF):
    """resources: list of (file name, bytes). No localized strings."""
    count = len(resources)
    keys_at = 160
    list_at = keys_at + 24 * count
    data_at = list_at + 8 * count
    header = struct.pack("<4s4sIIIIIIIII", file_type.encode("ascii"), b"V1.0", 0, 0, count,
                         keys_at, keys_at, list_at, 126, 200, description_strref) + bytes(116)
    keys, entries, blobs = bytearray(), bytearray(), bytearray()
    for i, (name, blob) in enumerate(resources):
        base, rtype = split_name(name)
        keys += struct.pack("<16sIHH", base, i, rtype, 0)
        entries += struct.pack("<II", data_at + len(blobs), len(blob))
        blobs += blob
    return bytes(header + keys + entries + blobs)


def rim_bytes(resources):
    count = len(resources)
    keys_at = 120
    data_at = keys_at + 32 * count
    header = struct.pack("<4s4sIII", b"RIM ", b"V1.0", 0, count, keys_at) + bytes(100)
    keys, blobs = bytearray(), bytearray()
    for i, (name, blob) in enumerate(resources):
        base, rtype = split_name(name)
        keys += struct.pack("<16sIIII", base, rtype, i, data_at + len(blobs), len(blob))
        blobs += blob
    return bytes(header + keys + blobs)


# ---------------------------------------------------------------------------
# Soundsets, compiled scripts, opaque files
# ---------------------------------------------------------------------------


def ssf_bytes(values):
    values = list(values) + [-1] * (40 - len(values))
    return b"SSF V1.1" + struct.pack("<I40i", 12, *values)


def ncs_bytes(constants):
    """A compiled script that pushes each constant and returns. Byte code is
    big-endian; each constant's four bytes start at 15 + 6 * i."""
    code = bytearray()
    for c in constants:
        code += b"\x04\x03" + struct.pack(">i", c)
    code += b"\x20\x00"
    return b"NCS V1.0" + b"\x42" + struct.pack(">I", 13 + len(code)) + bytes(code)


def tga_bytes(width, height, rgb):
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 24, 0)
    return header + bytes(rgb[::-1]) * (width * height)


# ---------------------------------------------------------------------------
# The demo's content
# ---------------------------------------------------------------------------

GAME_TLK = [
    ("", ""),
    ("Bad StrRef", ""),
    ("Yes.", ""),
    ("No.", ""),
    ("Guard", "vo_guard_01"),
    ("Stand where you are, stranger!", "vo_guard_02"),
    ("Longsword", ""),
    ("Captain of the guard", ""),
    ("A plain steel blade, well balanced.", ""),
    ("Caf\u00e9 \u2022 Tavern", ""),
]

APPEND_TLK = [
    ("Vey blade", ""),                        # StrRef0: new
    ("A blade forged for the demo, humming faintly.", ""),  # StrRef1: new
    ("Captain of the guard", ""),             # StrRef2: identical to game entry 7, reused
]


def appearance_2da():
    columns = ["label", "race", "modeltype", "normalhead", "walkdist"]
    rows = [
        ("0", ["Human_Male", "hm", "B", "1", "1.60"]),
        ("1", ["Human_Female", "hf", "B", "2", "1.60"]),
        ("2", ["Commoner", "cm", "S", "****", "1.50"]),
        ("3", ["Guard_Default", "gd", "F", "4", "1.55"]),
    ]
    return twoda_bytes(columns, rows)


def baseitems_2da():
    columns = ["label", "name", "equipableslots", "baseitemstatref", "modeltype"]
    rows = [
        ("0", ["shortsword", "6", "0x00030", "1000", "2"]),
        ("1", ["longsword", "6", "0x00030", "1001", "2"]),
        ("2", ["quarterstaff", "****", "0x00010", "1002", "0"]),
        ("3", ["lightshield", "****", "0x00020", "1003", "0"]),
    ]
    return twoda_bytes(columns, rows)


def blade_uti():
    return gff_bytes("UTI ", S(0xFFFFFFFF, [
        ("TemplateResRef", RESREF, "demo_blade"),
        ("BaseItem", INT, 1),
        ("LocalizedName", LOCSTRING, (6, [(0, "Longsword")])),
        ("Description", LOCSTRING, (8, [(0, "A plain steel blade, well balanced.")])),
        ("Tag", EXOSTRING, "DEMO_BLADE"),
        ("Cost", DWORD, 120),
        ("StackSize", WORD, 1),
        ("Charges", BYTE, 0),
        ("PropertiesList", LIST, [S(0, [("PropertyName", WORD, 15), ("CostValue", BYTE, 1)])]),
    ]))


def chest_utp():
    return gff_bytes("UTP ", S(0xFFFFFFFF, [
        ("TemplateResRef", RESREF, "demo_chest"),
        ("Tag", EXOSTRING, "DEMO_CHEST"),
        ("LocName", LOCSTRING, (0xFFFFFFFF, [(0, "Old chest")])),
        ("HasInventory", BYTE, 1),
        ("ItemList", LIST, []),
    ]))


def guard_utc():
    return gff_bytes("UTC ", S(0xFFFFFFFF, [
        ("TemplateResRef", RESREF, "m01_guard"),
        ("FirstName", LOCSTRING, (4, [(0, "Guard")])),
        ("Tag", EXOSTRING, "M01_GUARD"),
        ("Appearance_Type", WORD, 3),
        ("Conversation", RESREF, "m01_guard"),
        ("HitPoints", SHORT, 24),
        ("ChallengeRating", FLOAT, 1.5),
        ("Equip_ItemList", LIST, [S(16, [("EquippedRes", RESREF, "w_sword01")])]),
    ]))


def module_ifo(name, entry_area):
    return gff_bytes("IFO ", S(0xFFFFFFFF, [
        ("Mod_Name", LOCSTRING, (0xFFFFFFFF, [(0, name)])),
        ("Mod_Entry_Area", RESREF, entry_area),
        ("Mod_Entry_X", FLOAT, 10.0),
        ("Mod_Entry_Y", FLOAT, 12.5),
        ("Mod_Entry_Dir", ORIENTATION, (0.0, 0.0, 0.0, 1.0)),
        ("Mod_Area_list", LIST, [S(6, [("Area_Name", RESREF, entry_area)])]),
        ("Mod_OnEnter", RESREF, ""),
    ]))


def door_utd():
    return gff_bytes("UTD ", S(0xFFFFFFFF, [
        ("TemplateResRef", RESREF, "m02_door"),
        ("Tag", EXOSTRING, "M02_DOOR"),
        ("Locked", BYTE, 1),
        ("OpenLockDC", BYTE, 18),
        ("Position", POSITION, (3.0, 4.0, 0.0)),
    ]))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_game(game):
    write(os.path.join(game, "dialog.tlk"), tlk_bytes(GAME_TLK))
    write(os.path.join(game, "override", "appearance.2da"), appearance_2da())
    write(os.path.join(game, "override", "demo_banner.tga"), tga_bytes(4, 2, (120, 20, 20)))
    write(os.path.join(game, "modules", "demo_m01.mod"), erf_bytes("MOD ", [
        ("module.ifo", module_ifo("Demo Harbour", "m01_harbour")),
        ("m01_guard.utc", guard_utc()),
        ("m01_floor.tga", tga_bytes(8, 8, (90, 90, 80))),
        ("m01_startup.ncs", ncs_bytes([0])),
    ]))
    write(os.path.join(game, "modules", "demo_m02.rim"), rim_bytes([
        ("module.ifo", module_ifo("Demo Cellar", "m02_cellar")),
        ("m02_door.utd", door_utd()),
    ]))


def make_mod_binaries(data):
    write(os.path.join(data, "append.tlk"), tlk_bytes(APPEND_TLK))
    write(os.path.join(data, "baseitems.2da"), baseitems_2da())
    write(os.path.join(data, "demo_blade.uti"), blade_uti())
    write(os.path.join(data, "demo_chest.utp"), chest_utp())
    write(os.path.join(data, "demo_blade.ncs"), ncs_bytes([0, 0]))
    write(os.path.join(data, "demo_vo.ssf"), ssf_bytes([5, -1, -1, -1, -1, -1, 2]))
    write(os.path.join(data, "demo_cape.tga"), tga_bytes(4, 4, (30, 60, 160)))
    write(os.path.join(data, "banner_v2.tga"), tga_bytes(4, 2, (200, 160, 20)))
    write(os.path.join(data, "nwnnsscomp.exe"), windows_program_stub())


def windows_program_stub():
    """Where a mod's script compiler goes: a mod may ship only a Windows
    program there. This one is just the headers (MZ, then the PE signature
    that offset 0x3C points to); the demo names its stand-in compiler with
    --compiler, so the stub is never run."""
    head = bytearray(64)
    head[0:2] = b"MZ"
    head[0x3C:0x40] = struct.pack("<I", 64)
    return bytes(head) + b"PE\0\0"


def main(argv):
    if len(argv) != 2 or argv[1].startswith("-"):
        sys.stderr.write(__doc__)
        return 2
    out = os.path.abspath(argv[1])
    if os.path.exists(out) and os.listdir(out):
        sys.stderr.write("make_demo_game.py: %s is not empty; give a new or empty folder\n" % out)
        return 1
    os.makedirs(out, exist_ok=True)
    make_game(os.path.join(out, "game"))
    shutil.copytree(os.path.join(HERE, "mod"), os.path.join(out, "mod"))
    make_mod_binaries(os.path.join(out, "mod", "veypatchdata"))
    print("Demo game folder: %s" % os.path.join(out, "game"))
    print("Demo mod folder:  %s" % os.path.join(out, "mod"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
