#!/usr/bin/env python3
"""Writes a small game folder and a mod that uses every instruction list, for
the test command's smoke run and crash test.

    bench/make_smoke_workload.py OUTDIR [--seed N] [--size N]

OUTDIR/game       dialog.tlk and dialogf.tlk, override/ (tables, templates,
                  soundsets, compiled scripts, textures), modules/ (ERF-layout
                  modules and a RIM)
OUTDIR/mod        the installer's folder; mod/veypatchdata/ is the mod
OUTDIR/touched.txt  the game files the install rewrites ("rw PATH") and the
                  mod files it copies in ("cp SOURCE TARGET")
OUTDIR/workload.json  what was generated ("scale": "smoke")

The same seed and size always give the same bytes. --size scales the number of
talk-table entries, table rows, templates and archive members (default 1,
about 4 MB and a run of about half a second). Standard library only; the
binary writers are the demo's. OUTDIR must be empty or missing.
"""

import argparse
import importlib.util
import json
import os
import random
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def load_demo_writers():
    demo_source = importlib.util.spec_from_file_location("make_demo_game", os.path.join(ROOT, "demo", "make_demo_game.py"))
    module = importlib.util.module_from_spec(demo_source)
    demo_source.loader.exec_module(module)
    # The demo writes no tables, soundsets or scripts into archives; the workload does.
    module.TYPES.update({"2da": 2017, "ssf": 2060, "nss": 2009, "wav": 4})
    return module


D = load_demo_writers()
S = D.S

WORDS = ("ash blade cloak dawn ember frost glade harbour iron jade keep lantern mire north oath pale quarry "
         "raven salt thorn umber vale warden yarrow zephyr caf\u00e9 na\u00efve \u00e9tude").split()


class Workload:
    def __init__(self, out, seed, size):
        self.out = out
        self.rng = random.Random(seed)
        self.size = size
        self.game = os.path.join(out, "game")
        self.mod = os.path.join(out, "mod")
        self.data = os.path.join(self.mod, "veypatchdata")
        self.ini = []           # (section, [(key, value)]) in file order
        self.rewritten = set()  # game files the install rewrites in place
        self.copied = {}        # game target -> mod source, for files new to the game

    # --- small helpers -----------------------------------------------------
    def words(self, n):
        return " ".join(self.rng.choice(WORDS) for _ in range(n)).capitalize()

    def write(self, rel_top, rel, data):
        path = os.path.join(self.out, rel_top, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def section(self, name, pairs):
        self.ini.append((name, list(pairs)))

    def blob(self, n):
        return bytes(self.rng.getrandbits(8) for _ in range(n))

    # --- the game ----------------------------------------------------------
    def make_talk_tables(self):
        count = 3000 * self.size
        self.game_tlk = [("", "")] + [(self.words(self.rng.randint(2, 12)),
                                        "vo_%05d" % i if i % 3 == 0 else "") for i in range(1, count)]
        self.write("game", "dialog.tlk", D.tlk_bytes(self.game_tlk))
        self.write("game", "dialogf.tlk", D.tlk_bytes([(t + " (f)", s) for t, s in self.game_tlk]))
        self.rewritten |= {"game/dialog.tlk", "game/dialogf.tlk"}
        # The mod's strings: most new, a few identical to game entries (reused, not appended).
        appended = []
        for i in range(40 * self.size):
            appended.append(self.rng.choice(self.game_tlk[1:]) if i % 7 == 3 else (self.words(6) + " %d" % i, ""))
        self.write("mod", "veypatchdata/append.tlk", D.tlk_bytes(appended))
        self.write("mod", "veypatchdata/appendf.tlk", D.tlk_bytes([(t + " (f)", s) for t, s in appended]))
        self.strrefs = min(len(appended), 24)
        self.section("TLKList", [("StrRef%d" % i, str(i)) for i in range(len(appended))])

    def make_tables(self):
        columns = ["label", "name", "race", "walkdist", "cost"]
        self.tables = []
        for t in range(3):
            rows = [(str(r), ["row_%d_%d" % (t, r), str(self.rng.randint(0, 3000)), "r%d" % (r % 5),
                              "%.2f" % self.rng.uniform(1, 2), "****" if r % 4 == 0 else str(r * 10)])
                    for r in range(60 * self.size)]
            name = "table%d.2da" % t
            self.write("game", "override/" + name, D.twoda_bytes(columns, rows))
            self.rewritten.add("game/override/" + name)
            self.tables.append((name, len(rows)))
        # One table only the mod ships.
        self.write("mod", "veypatchdata/modtable.2da",
                   D.twoda_bytes(["label", "value"], [(str(r), ["m%d" % r, str(r)]) for r in range(10)]))
        self.copied["game/override/modtable.2da"] = "mod/veypatchdata/modtable.2da"

    def template(self, n):
        return D.gff_bytes("UTI ", S(0xFFFFFFFF, [
            ("TemplateResRef", D.RESREF, "item_%03d" % n),
            ("LocalizedName", D.LOCSTRING, (self.rng.randint(1, 2000), [(0, self.words(2))])),
            ("Tag", D.EXOSTRING, "ITEM_%03d" % n),
            ("Cost", D.DWORD, self.rng.randint(1, 5000)),
            ("BaseItem", D.INT, n % 10),
            ("Weight", D.FLOAT, 1.5),
            ("PropertiesList", D.LIST, [S(0, [("PropertyName", D.WORD, p), ("CostValue", D.BYTE, 1)])
                                        for p in range(n % 4)]),
        ]))

    def make_override(self):
        self.templates = []
        for n in range(8 * self.size):
            name = "item_%03d.uti" % n
            self.write("game", "override/" + name, self.template(n))
            self.templates.append(name)
        for n in range(3):
            self.write("game", "override/vo_%d.ssf" % n, D.ssf_bytes([self.rng.randint(0, 2000) for _ in range(20)]))
            self.write("game", "override/tex_%d.tga" % n, D.tga_bytes(16, 16, (n * 40, 80, 120)))

    def make_modules(self):
        self.modules = []
        for m in range(2):
            members = [("module.ifo", D.module_ifo("Area %d" % m, "area_%d" % m))]
            members += [("npc_%d_%02d.utc" % (m, i), D.guard_utc()) for i in range(6 * self.size)]
            members += [("blob_%d_%02d.tga" % (m, i), self.blob(self.rng.randint(100_000, 400_000)))
                        for i in range(4 * self.size)]
            name = "modules/area_%d.mod" % m
            self.write("game", name, D.erf_bytes("MOD ", members))
            self.modules.append((name, members))
        rim_members = [("module.ifo", D.module_ifo("Cellar", "cellar")), ("cellar_door.utd", D.door_utd())]
        self.write("game", "modules/cellar.rim", D.rim_bytes(rim_members))

    # --- the mod's instructions --------------------------------------------
    def make_install_list(self):
        files = []
        for i in range(10 * self.size):
            name = "new_tex_%02d.tga" % i
            self.write("mod", "veypatchdata/" + name, D.tga_bytes(8, 8, (i, 2 * i % 256, 90)))
            files.append(name)
            self.copied["game/override/" + name] = "mod/veypatchdata/" + name
        self.write("mod", "veypatchdata/theme.wav", self.blob(5000))
        self.copied["game/streammusic/theme.wav"] = "mod/veypatchdata/theme.wav"
        self.write("mod", "veypatchdata/sign.tga", D.tga_bytes(4, 4, (1, 2, 3)))
        self.rewritten.add("game/" + self.modules[0][0])
        self.section("InstallList", [("install_folder0", "override"), ("install_folder1", "streammusic"),
                                     ("install_folder2", self.modules[0][0].replace("/", "\\"))])
        self.section("install_folder0", [("File%d" % i, n) for i, n in enumerate(files)])
        self.section("install_folder1", [("File0", "theme.wav")])
        self.section("install_folder2", [("File0", "sign.tga")])

    def make_2da_list(self):
        keys = [("Table%d" % i, name) for i, (name, _) in enumerate(self.tables)]
        keys.append(("Table%d" % len(self.tables), "modtable.2da"))
        self.section("2DAList", keys)
        for t, (name, rows) in enumerate(self.tables):
            pairs, subs = [], []
            for i in range(4 * self.size):
                sec = "add_%d_%d" % (t, i)
                pairs.append(("AddRow%d" % i, sec))
                subs.append((sec, [("ExclusiveColumn", "label"), ("label", "new_%d_%d" % (t, i)),
                                   ("name", "StrRef%d" % (i % self.strrefs)), ("cost", "high()"),
                                   ("2DAMEMORY%d" % (t + 1), "RowIndex")]))
            for i in range(6 * self.size):
                sec = "change_%d_%d" % (t, i)
                pairs.append(("ChangeRow%d" % i, sec))
                how = ("RowIndex", str(self.rng.randrange(rows))) if i % 2 else ("RowLabel", str(self.rng.randrange(rows)))
                subs.append((sec, [how, ("walkdist", "%.2f" % self.rng.uniform(1, 3))]))
            pairs.append(("CopyRow0", "copy_%d" % t))
            subs.append(("copy_%d" % t, [("RowIndex", "1"), ("NewRowLabel", "high()"), ("label", "copied_%d" % t), ("cost", "inc(5)")]))
            pairs.append(("AddColumn0", "column_%d" % t))
            subs.append(("column_%d" % t, [("ColumnLabel", "flag_%d" % t), ("DefaultValue", "0"),
                                            ("I0", "1"), ("L2", "2DAMEMORY%d" % (t + 1))]))
            self.section(name, pairs)
            for sec, kv in subs:
                self.section(sec, kv)
        self.section("modtable.2da", [("ChangeRow0", "modtable_change")])
        self.section("modtable_change", [("RowIndex", "3"), ("value", "2DAMEMORY1")])

    def make_gff_list(self):
        entries = [("File%d" % i, n) for i, n in enumerate(self.templates)]
        self.rewritten |= {"game/override/" + n for n in self.templates}
        # Documents inside the second module, changed in place there.
        module, members = self.modules[1]
        in_archive = [n for n, _ in members if n.endswith(".utc")][:3 * self.size]
        entries += [("File%d" % (len(entries) + i), n) for i, n in enumerate(in_archive)]
        self.rewritten.add("game/" + module)
        self.section("GFFList", entries)
        for i, name in enumerate(self.templates):
            pairs = [("Cost", str(self.rng.randint(10, 900))), ("LocalizedName(strref)", "StrRef%d" % (i % self.strrefs)),
                     ("BaseItem", "2DAMEMORY1"), ("Weight", "2.25")]
            if i % 2 == 0:
                pairs.append(("AddField0", "prop_%d" % i))
                self.section(name, pairs)
                self.section("prop_%d" % i, [("FieldType", "Struct"), ("Path", "PropertiesList"),
                                             ("TypeId", "listindex"), ("AddField0", "prop_%d_name" % i)])
                self.section("prop_%d_name" % i, [("FieldType", "Word"), ("Label", "PropertyName"), ("Value", "7")])
            else:
                self.section(name, pairs)
        for i, name in enumerate(in_archive):
            self.section(name, [("!Destination", module.replace("/", "\\")), ("HitPoints", str(30 + i)),
                                ("FirstName(strref)", "StrRef%d" % (i % self.strrefs))])

    def make_hack_list(self):
        self.section("HACKList", [("File%d" % n, "script_%d.ncs" % n) for n in range(3)])
        for n in range(3):
            # Shipped by the mod: copied into override, then patched there.
            self.write("mod", "veypatchdata/script_%d.ncs" % n, D.ncs_bytes([n, n + 1, n + 2]))
            self.section("script_%d.ncs" % n, [("15", "StrRef%d" % n), ("21", "2DAMEMORY1")])
            self.copied["game/override/script_%d.ncs" % n] = "mod/veypatchdata/script_%d.ncs" % n

    def make_compile_list(self):
        scripts = ["spell_%d.nss" % i for i in range(2)] + ["area_start.nss"]
        for i, name in enumerate(scripts):
            body = ("// generated\nvoid main()\n{\n    int nName = #StrRef%d#;\n    int nRow = #2DAMEMORY1#;\n}\n" % i)
            self.write("mod", "veypatchdata/" + name, body.encode())
        for name in scripts[:2]:
            self.copied["game/override/" + name[:-4] + ".ncs"] = "mod/veypatchdata/" + name
        self.section("CompileList", [("!DefaultDestination", "override")] +
                     [("Script%d" % i, n) for i, n in enumerate(scripts)])
        self.section("area_start.nss", [("!Destination", self.modules[0][0].replace("/", "\\"))])
        with open(os.path.join(ROOT, "demo", "standin-compiler"), "rb") as f:
            self.write("mod", "veypatchdata/nwnnsscomp.exe", f.read())
        os.chmod(os.path.join(self.data, "nwnnsscomp.exe"), 0o755)

    def make_ssf_list(self):
        self.section("SSFList", [("File%d" % n, "vo_%d.ssf" % n) for n in range(3)])
        for n in range(3):
            self.section("vo_%d.ssf" % n, [("Battlecry 1", "StrRef%d" % n), ("Selected 1", "StrRef%d" % (n + 1)),
                                           ("Death", "2DAMEMORY2")])
            self.rewritten.add("game/override/vo_%d.ssf" % n)

    # --- output ------------------------------------------------------------
    def write_instructions(self):
        lines = ["; Generated smoke workload: every instruction list, a few of each kind.",
                 "[Settings]", "FileExists=1", "InstallerMode=1", "LogLevel=4", "BackupFiles=1",
                 "WindowCaption=Smoke workload", ""]
        order = ["TLKList", "InstallList", "2DAList", "GFFList", "HACKList", "CompileList", "SSFList"]
        lists = sorted((s for s in self.ini if s[0] in order), key=lambda s: order.index(s[0]))
        for name, pairs in lists + [s for s in self.ini if s[0] not in order]:
            lines.append("[%s]" % name)
            lines += ["%s=%s" % kv for kv in pairs]
            lines.append("")
        self.write("mod", "veypatchdata/changes.ini", "\r\n".join(lines).encode("cp1252"))
        self.write("mod", "veypatchdata/info.rtf", b"{\\rtf1\\ansi Smoke workload.\\par}")

    def write_manifest(self, seed):
        lines = ["# rw GAMEFILE: rewritten in place; cp SOURCE TARGET: copied from the mod into the game"]
        lines += ["rw\t" + p for p in sorted(self.rewritten)]
        lines += ["cp\t%s\t%s" % (src, dst) for dst, src in sorted(self.copied.items())]
        with open(os.path.join(self.out, "touched.txt"), "w") as f:
            f.write("\n".join(lines) + "\n")
        with open(os.path.join(self.out, "workload.json"), "w") as f:
            json.dump({"scale": "smoke", "seed": seed, "size": self.size,
                       "rewritten": len(self.rewritten), "copied": len(self.copied)}, f, indent=1)

    def make(self, seed):
        self.make_talk_tables()
        self.make_tables()
        self.make_override()
        self.make_modules()
        self.make_install_list()
        self.make_2da_list()
        self.make_gff_list()
        self.make_hack_list()
        self.make_compile_list()
        self.make_ssf_list()
        self.write_instructions()
        self.write_manifest(seed)


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("outdir")
    p.add_argument("--seed", type=int, default=20261208)
    p.add_argument("--size", type=int, default=1)
    args = p.parse_args(argv[1:])
    out = os.path.abspath(args.outdir)
    if os.path.exists(out) and os.listdir(out):
        sys.stderr.write("make_smoke_workload.py: %s is not empty; give a new or empty folder\n" % out)
        return 1
    if args.size < 1:
        sys.stderr.write("make_smoke_workload.py: --size must be at least 1\n")
        return 2
    os.makedirs(out, exist_ok=True)
    Workload(out, args.seed, args.size).make(args.seed)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
