"""Memory held by a tree: the growth of the resident set size (RSS) of a fresh process.

Each library reads each document in a process of its own (no memory left over from other
work), which measures, after importing the library and one tiny warm-up read:

- "string kept": RSS with the tree alive minus RSS with only the document loaded: what the
  tree costs on top of a document the program keeps anyway;
- "string deleted": RSS with the tree alive and the document deleted minus RSS before the
  document was loaded: everything the tree needs (plovane's tree keeps the document's text,
  since its strings point into it).

plovane and ElementTree read a str, lxml reads the UTF-8 bytes. Before each RSS reading the
garbage collector runs and the C allocator returns its free memory to the system
(malloc_trim), so the figures are memory in use, not memory the allocator keeps.
"""

from __future__ import annotations

import ctypes
import gc
import json
import os
import subprocess
import sys
from pathlib import Path

from common import (
    Plovane,
    Section,
    Settings,
    Table,
    Target,
    fmt,
    geomean,
    load_corpus,
    run_standalone,
)

LIBRARIES = ("plovane", "lxml", "ElementTree")
PAGE = os.sysconf("SC_PAGE_SIZE")


# --------------------------------------------------------------------------------------------
# The child process


def resident() -> int:
    gc.collect()
    try:
        ctypes.CDLL("libc.so.6").malloc_trim(0)
    except (OSError, AttributeError):
        pass  # not glibc: the figures include free memory the allocator kept
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE


def child(library: str, path: str, root_tag: str) -> None:
    if library == "plovane":
        import plovane

        plovane.read_string("<a><b c='d'>e</b></a>", "a")
        load = lambda: Path(path).read_text(encoding="utf-8")  # noqa: E731
        parse = lambda doc: plovane.read_string(doc, root_tag)  # noqa: E731
    elif library == "lxml":
        from lxml import etree

        etree.fromstring(b"<a><b c='d'>e</b></a>")
        load = lambda: Path(path).read_bytes()  # noqa: E731
        parse = etree.fromstring
    else:
        import xml.etree.ElementTree as ET

        ET.fromstring("<a><b c='d'>e</b></a>")
        load = lambda: Path(path).read_text(encoding="utf-8")  # noqa: E731
        parse = ET.fromstring
    base = resident()
    doc = load()
    loaded = resident()
    tree = parse(doc)
    parsed = resident()
    del doc
    released = resident()
    assert tree is not None
    print(json.dumps({"document": loaded - base, "kept": parsed - loaded,
                      "deleted": released - base}))


def measure_in_child(library: str, path: Path, root_tag: str) -> dict:
    out = subprocess.run([sys.executable, __file__, "--child", library, str(path), root_tag],
                         capture_output=True, text=True, check=False)
    if out.returncode != 0:
        raise RuntimeError(f"{library} on {path.name} failed:\n{out.stderr.strip()}")
    return json.loads(out.stdout.splitlines()[-1])


# --------------------------------------------------------------------------------------------


def run(settings: Settings, pv: Plovane) -> Section:
    docs = load_corpus(settings)
    have_plovane = pv.get("read_string") is not None
    section = Section("memory")
    table = Table("memory held by a tree (RSS growth, MB)",
                  ["document", "doc MB", "plovane kept", "lxml kept", "ET kept",
                   "plovane deleted", "lxml deleted", "ET deleted", "/ET kept", "/ET deleted"])
    table.notes.append("kept: the document string is still alive; deleted: it was deleted "
                       "after reading. /ET = plovane's figure over ElementTree's (< 1: less)")
    kept_ratios, deleted_ratios = [], []
    series = {}
    for doc in docs:
        found = {}
        for library in LIBRARIES:
            if library == "plovane" and not have_plovane:
                continue
            try:
                found[library] = measure_in_child(library, doc.path, doc.root_tag)
            except RuntimeError as exc:
                section.failures.append(str(exc))
        ours, et = found.get("plovane"), found.get("ElementTree")
        kept = ours["kept"] / et["kept"] if ours and et and et["kept"] > 0 else None
        deleted = ours["deleted"] / et["deleted"] if ours and et and et["deleted"] > 0 else None
        kept_ratios.append(kept)
        deleted_ratios.append(deleted)

        def mb(library, key):
            return found[library][key] / 1e6 if library in found else None

        table.add(doc.name, f"{doc.size / 1e6:.2f}",
                  *[fmt(mb(lib, "kept"), 1) for lib in LIBRARIES],
                  *[fmt(mb(lib, "deleted"), 1) for lib in LIBRARIES], kept, deleted)
        # In multiples of the document's size, so that small and large documents share a scale.
        series[doc.name] = {lib: found[lib]["deleted"] / doc.size for lib in found}
        print(f"  memory: {doc.name} done", flush=True)
    kept_mean, deleted_mean = geomean(kept_ratios), geomean(deleted_ratios)
    table.add("geometric mean", "", "", "", "", "", "", "", kept_mean, deleted_mean)
    section.tables.append(table)
    section.targets += [
        Target("memory vs ElementTree, string deleted (geomean)", deleted_mean, 0.5,
               higher_is_better=False),
        Target("memory vs ElementTree, string kept (geomean)", kept_mean, 0.5,
               higher_is_better=False),
    ]
    section.series = {"memory_deleted": series}
    return section


if __name__ == "__main__":
    if len(sys.argv) == 5 and sys.argv[1] == "--child":
        child(*sys.argv[2:])
    else:
        run_standalone(run, __doc__.splitlines()[0])
