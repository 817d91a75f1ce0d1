#!/usr/bin/env python3
"""Fails when a source file includes a header from a layer above its own.

The layers, lowest first: platform, the engine's support, format, codecs,
reader and writer folders, then the two front ends (cli and app/core), then
the windowed program (app and app/dialogs). The stub (sfx) stands alone.
Tests, fuzz targets and benchmarks may include anything.

  check-layers.py [--root DIR]       check the tree (default: the repository)
  check-layers.py --planted          check the tree plus one planted upward
                                     include; succeeds only if that is caught
"""
import argparse
import pathlib
import re
import sys

# Each layer with the folders its files may include from (besides its own).
ALLOWED = {
    "platform": {"platform"},
    "engine/support": {"platform", "engine/support"},
    "engine/format": {"platform", "engine/support", "engine/format"},
    "engine/codecs": {"platform/Types.h", "engine/support", "engine/format", "engine/codecs"},
    "engine/reader": {"platform", "engine/support", "engine/format", "engine/codecs",
                      "engine/reader"},
    "engine/writer": {"platform", "engine/support", "engine/format", "engine/codecs",
                      "engine/reader", "engine/writer"},
    "cli": {"platform", "engine", "cli"},
    "app/core": {"platform", "engine", "app/core"},
    "app": {"platform", "engine", "app"},
    "sfx": {"sfx"},
}
SOURCE = re.compile(r"\.(c|cc|cpp|h|hpp)$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer_of(rel: str):
    """The most specific layer a repository-relative path belongs to."""
    best = None
    for layer in ALLOWED:
        if rel == layer or rel.startswith(layer + "/"):
            if best is None or len(layer) > len(best):
                best = layer
    return best


def allowed(layer: str, target: str) -> bool:
    for prefix in ALLOWED[layer]:
        if target == prefix or target.startswith(prefix + "/"):
            return True
    return False


def violations(root: pathlib.Path, extra=()):
    tops = sorted({layer.split("/")[0] for layer in ALLOWED})
    files = [(p.relative_to(root).as_posix(), p.read_text(errors="replace"))
             for top in tops for p in (root / top).rglob("*")
             if p.is_file() and SOURCE.search(p.name)]
    found = []
    for rel, text in list(files) + list(extra):
        layer = layer_of(rel)
        if layer is None:
            continue  # tests, fuzz, bench, build output
        for target in INCLUDE.findall(text):
            if "/" not in target:
                # A bare name is a sibling in the stub, or a generated file.
                continue
            if not allowed(layer, target):
                found.append(f"{rel}: includes {target}, above its layer {layer}")
    return found


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", default=pathlib.Path(__file__).resolve().parent.parent)
    parser.add_argument("--planted", action="store_true")
    args = parser.parse_args()
    root = pathlib.Path(args.root)
    if args.planted:
        plant = ("engine/codecs/Planted.cpp", '#include "engine/reader/UnZipEngine.h"\n')
        found = violations(root, [plant])
        caught = any(line.startswith(plant[0]) for line in found)
        print("planted upward include " + ("caught" if caught else "NOT caught"))
        return 0 if caught else 1
    found = violations(root)
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
