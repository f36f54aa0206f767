#!/usr/bin/env python3
"""Fails when a source file includes a layer above its own.

The layers build on each other in one direction: common, formats, platform,
engine, the mod-list layer (lists and build files), then cli and app. Inside the engine the same holds for its folders:
support, run, lists, validate. A header included against that direction
would compile today and tie the layers into a circle tomorrow.
"""
import pathlib
import re
import sys

LAYERS = {"common": 0, "formats": 1, "platform": 2, "engine": 3, "modlist": 4, "cli": 5, "app": 5}
ENGINE = {"support": 0, "run": 1, "lists": 2, "validate": 3}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def rank(path):
    """(layer rank, engine folder rank) of a project path, or None."""
    parts = pathlib.PurePosixPath(path).parts
    if not parts or parts[0] not in LAYERS:
        return None
    inner = ENGINE.get(parts[1], -1) if parts[0] == "engine" and len(parts) > 2 else -1
    return LAYERS[parts[0]], inner


def main(root):
    root = pathlib.Path(root)
    faults = []
    for layer in LAYERS:
        for src in sorted((root / layer).rglob("*")):
            if src.suffix not in (".h", ".cpp"):
                continue
            rel = src.relative_to(root).as_posix()
            mine = rank(rel)
            if rel.startswith("engine/") and mine[1] < 0:
                faults.append(f"{rel}: an engine unit belongs in one of {', '.join(ENGINE)}")
            for inc in INCLUDE.findall(src.read_text(encoding="utf-8", errors="replace")):
                theirs = rank(inc)
                if theirs is None:
                    continue
                same_layer = theirs[0] == mine[0]
                if theirs[0] > mine[0] or (same_layer and inc.split("/")[0] != rel.split("/")[0]):
                    faults.append(f"{rel}: includes {inc} from a layer above")
                elif same_layer and rel.startswith("engine/") and theirs[1] > mine[1]:
                    faults.append(f"{rel}: includes {inc} from an engine folder above")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2]))
