#!/usr/bin/env python3
"""Fails when an #include line runs against the floors of src/.

Each folder of src/ may include its own headers and those of folders on lower
floors, never one above it or beside it, so no two folders depend on each
other. Tools and benchmarks sit above the core and may use any folder but the
C boundary, which serves hosts alone: they reach the exports through the
public header like any host.
"""
import pathlib
import re
import sys

# Bottom to top.
FLOORS = ["model", "stream", "serialize", "records", "module", "friction", "solver", "io", "api"]
LEVEL = {name: level for level, name in enumerate(FLOORS)}
SOURCES = (".h", ".hpp", ".cpp", ".c")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')


def violations(root):
    for top in ("src", "tools", "bench"):
        for path in sorted((root / top).rglob("*")):
            if path.suffix not in SOURCES:
                continue
            rel = path.relative_to(root)
            if top == "src":
                folder = rel.parts[1]
                if folder not in LEVEL:
                    yield f"{rel}: folder '{folder}' has no floor; add it to FLOORS"
                    continue
                highest = LEVEL[folder] - 1
            else:
                folder, highest = top, LEVEL["api"] - 1
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match or match.group(1) not in LEVEL:
                    continue
                target = match.group(1)
                if target != folder and LEVEL[target] > highest:
                    yield f"{rel}:{number}: {folder} includes {target}, which is not below it"


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    found = list(violations(root))
    for line in found:
        print(line)
    print(f"include floors: {len(found)} violation(s)")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
