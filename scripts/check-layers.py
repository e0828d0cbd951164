#!/usr/bin/env python3
"""Checks that the folders of src/ only include from folders below them, and
that the core never includes the interpreter's headers.

The folders, lowest first; a file may include from its own folder and from
any folder listed before it:
    platform  operating-system and compiler specifics
    simd      per-processor vector kernels and their dispatch
    storage   strings, sources, attribute maps
    index     the structural index
    read      the document reader
    write     the serializer
    capi      shared helpers over the interpreter's C API
    entities  the Node and SearchType classes and their methods
    module    the module definition and its four functions
Exits 1 and lists every offending include otherwise.
"""
import pathlib
import re
import sys

ORDER = ["platform", "simd", "storage", "index", "read", "write", "capi", "entities", "module"]
CORE = set(ORDER[: ORDER.index("capi")])
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^">]+)[">]')

src = pathlib.Path(__file__).resolve().parent.parent / "src"
problems = []
for path in sorted(src.rglob("*")):
    if path.suffix not in (".h", ".cpp"):
        continue
    folder = path.relative_to(src).parts[0]
    if folder not in ORDER:
        problems.append(f"{path.relative_to(src)}: folder '{folder}' has no place in the order")
        continue
    for number, line in enumerate(path.read_text().splitlines(), 1):
        match = INCLUDE.match(line)
        if not match:
            continue
        target = match.group(1)
        where = f"{path.relative_to(src)}:{number}"
        if target == "Python.h" and folder in CORE:
            problems.append(f"{where}: the core includes Python.h")
        top = target.split("/")[0]
        if top in ORDER and ORDER.index(top) > ORDER.index(folder):
            problems.append(f"{where}: {folder} includes {target}, from a folder above it")

for problem in problems:
    print(problem)
print(f"layers: {'ok' if not problems else f'{len(problems)} problem(s)'}")
sys.exit(1 if problems else 0)
