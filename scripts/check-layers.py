#!/usr/bin/env python3
"""Fails when a source file includes a header from a layer above its own.

The layers, lowest first: platform (its interfaces and neutral helpers;
posix/ the real services, fake/ the test double), the engine's support,
format, codecs, reader and writer folders, then the front ends: cli (vzip)
and app (the window, with app/core below app and app/dialogs). The stub
(sfx) stands alone. Above the platform's neutral part only the programs'
own start-up code picks the real services: the engine and app/core include
neither posix/ nor fake/, and no product file includes fake/. Tests, fuzz
targets and benchmarks may include anything.

  check-layers.py [--root DIR]       check the tree (default: the repository)
  check-layers.py --planted          check the tree plus planted upward
                                     includes; succeeds only if each is caught
"""
import argparse
import pathlib
import re
import sys

# Each layer with the folders its files may include from (besides its own).
ALLOWED = {
    "platform": {"platform"},
    "platform/posix": {"platform"},
    "platform/fake": {"platform"},
    "engine/support": {"platform", "engine/support"},
    "engine/format": {"platform", "engine/support", "engine/format"},
    "engine/codecs": {"platform/Types.h", "engine/support", "engine/format", "engine/codecs"},
    "engine/reader": {"platform", "engine/support", "engine/format", "engine/codecs",
                      "engine/reader"},
    "engine/writer": {"platform", "engine/support", "engine/format", "engine/codecs",
                      "engine/reader", "engine/writer"},
    "cli": {"platform", "engine", "cli"},
    "app/core": {"platform", "engine", "app/core"},
    "app/dialogs": {"platform", "engine", "app/core", "app/dialogs"},
    "app": {"platform", "engine", "app"},
    "sfx": {"sfx"},
}
# Folders a layer may not include from even where ALLOWED would let it.
ENGINE_LAYERS = [layer for layer in ALLOWED if layer.startswith("engine/")]
DENIED = {
    "platform": {"platform/posix", "platform/fake"},
    "platform/posix": {"platform/fake"},
    **{layer: {"platform/posix", "platform/fake"} for layer in ENGINE_LAYERS},
    "cli": {"platform/fake"},
    "app/core": {"platform/posix", "platform/fake"},
    "app/dialogs": {"platform/fake"},
    "app": {"platform/fake"},
}
SOURCE = re.compile(r"\.(c|cc|cpp|h|hpp)$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer_of(rel: str):
    """The most specific layer a repository-relative path belongs to."""
    best = None
    for layer in ALLOWED:
        if under(rel, layer):
            if best is None or len(layer) > len(best):
                best = layer
    return best


def under(path: str, prefix: str) -> bool:
    return path == prefix or path.startswith(prefix + "/")


def allowed(layer: str, target: str) -> bool:
    if under(target, layer):
        return True
    if any(under(target, prefix) for prefix in DENIED.get(layer, ())):
        return False
    return any(under(target, prefix) for prefix in ALLOWED[layer])


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
        # One upward include of each kind the table forbids; every one must
        # be caught (the tree's own findings are the other check's business).
        plants = [
            ("engine/codecs/Planted.cpp", "engine/reader/UnZipEngine.h"),
            ("engine/support/Planted.cpp", "engine/format/ZipNames.h"),
            ("engine/writer/Planted.cpp", "platform/posix/PosixDrives.h"),
            ("cli/Planted.cpp", "app/core/Helpers.h"),
            ("platform/Planted.cpp", "engine/support/Stream.h"),
            ("sfx/Planted.cpp", "platform/Types.h"),
        ]
        extra = [(name, f'#include "{target}"\n') for name, target in plants]
        found = violations(root, extra)
        ok = True
        for name, target in plants:
            caught = any(line.startswith(name + ":") for line in found)
            print(f"planted {name} -> {target}: " + ("caught" if caught else "NOT caught"))
            ok = ok and caught
        return 0 if ok else 1
    found = violations(root)
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
