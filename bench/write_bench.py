"""Writing benchmark: each library writes its own tree of the same document.

- plovane.write_string(root): indented by 4 spaces, with the XML declaration (its defaults);
- lxml.etree.tostring(root, pretty_print=True, encoding="utf-8", xml_declaration=True): the
  same layout and declaration, as bytes; its tree is parsed with remove_blank_text=True so
  that pretty printing lays the elements out afresh instead of keeping the old white space;
- xml.etree.ElementTree.tostring(root, encoding="unicode"): ElementTree has no pretty
  printer, so its tree is indented once with ElementTree.indent beforehand (not timed).
Files: plovane.write_file against lxml's ElementTree.write (pretty printed, declaration) and
ElementTree's ElementTree.write (indented tree, declaration), into a temporary directory.

MB/s is output bytes per second of each library's own output; the ratios are times.
"""

from __future__ import annotations

import shutil
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

from lxml import etree

from common import (
    Plovane,
    Section,
    Settings,
    Table,
    Target,
    Work,
    compare,
    count_nodes,
    fmt,
    geomean,
    load_corpus,
    ratio,
    run_standalone,
)

PEERS = ("lxml", "ElementTree")


def lxml_tree(data: bytes):
    return etree.fromstring(data, etree.XMLParser(remove_blank_text=True))


def et_tree(text: str):
    root = ET.fromstring(text)
    ET.indent(root)
    return root


def speed_table(title: str) -> Table:
    table = Table(title, ["document", "plovane MB", "plovane MB/s", "lxml MB/s", "ET MB/s",
                          "x lxml", "x ET"])
    table.notes.append("best time of repeated rounds (the libraries take turns) after a "
                       "warm-up; MB/s of each library's own output; x lxml / x ET = peer time "
                       "/ plovane time (> 1: plovane faster)")
    return table


def add_row(table: Table, name: str, timings: dict, sizes: dict, ratios: list) -> dict:
    ours = timings.get("plovane")
    rates = {k: sizes[k] / 1e6 / t.best for k, t in timings.items()}
    row = {peer: ratio(timings[peer], ours) for peer in PEERS}
    ratios.append(row)
    table.add(name, fmt(sizes["plovane"] / 1e6 if "plovane" in sizes else None),
              fmt(rates.get("plovane"), 1), fmt(rates["lxml"], 1), fmt(rates["ElementTree"], 1),
              row["lxml"], row["ElementTree"])
    return rates


def add_geomean(table: Table, ratios: list) -> dict:
    means = {peer: geomean([r[peer] for r in ratios]) for peer in PEERS}
    table.add("geometric mean", "", "", "", "", means["lxml"], means["ElementTree"])
    return means


def run(settings: Settings, pv: Plovane) -> Section:
    docs = load_corpus(settings)
    read_string = pv.get("read_string")
    write_string = pv.get("write_string")
    write_file = pv.get("write_file")
    section = Section("write")
    string_t = speed_table("write_string vs lxml.etree.tostring vs ElementTree.tostring")
    file_t = speed_table("write_file vs lxml ElementTree.write vs ElementTree.write")
    string_r, file_r = [], []
    series = {"write_string": {}, "write_file": {}}
    budget = settings.budget(0.25)
    workdir = Path(tempfile.mkdtemp(prefix="plovane-bench-"))
    try:
        for doc in docs:
            text = doc.text()
            data = text.encode("utf-8")
            trees = {"lxml": lxml_tree(data), "ElementTree": et_tree(text)}
            writers = {
                "lxml": lambda: etree.tostring(trees["lxml"], pretty_print=True,
                                               encoding="utf-8", xml_declaration=True),
                "ElementTree": lambda: ET.tostring(trees["ElementTree"], encoding="unicode"),
            }
            sizes = {k: len(w().encode("utf-8") if k != "lxml" else w())
                     for k, w in writers.items()}
            if read_string and write_string:
                plovane_tree = round_trip(doc, text, read_string, write_string, section)
                if plovane_tree is not None:
                    trees["plovane"] = plovane_tree
                    writers["plovane"] = lambda: write_string(trees["plovane"])
                    sizes["plovane"] = len(writers["plovane"]().encode("utf-8"))
            timings = compare({k: Work(w) for k, w in writers.items()}, budget=budget)
            series["write_string"][doc.name] = add_row(string_t, doc.name, timings, sizes,
                                                       string_r)

            paths = {k: str(workdir / f"{k}.xml") for k in PEERS + ("plovane",)}
            file_writers = {
                "lxml": lambda: etree.ElementTree(trees["lxml"]).write(
                    paths["lxml"], pretty_print=True, encoding="utf-8", xml_declaration=True),
                "ElementTree": lambda: ET.ElementTree(trees["ElementTree"]).write(
                    paths["ElementTree"], encoding="utf-8", xml_declaration=True),
            }
            if write_file and "plovane" in trees and written_whole(
                    doc, lambda: write_file(trees["plovane"], paths["plovane"]),
                    paths["plovane"], sizes["plovane"], section):
                file_writers["plovane"] = lambda: write_file(trees["plovane"], paths["plovane"])
            timings = compare({k: Work(w) for k, w in file_writers.items()}, budget=budget)
            file_sizes = {k: Path(paths[k]).stat().st_size for k in file_writers}
            series["write_file"][doc.name] = add_row(file_t, doc.name, timings, file_sizes,
                                                     file_r)
            trees.clear()  # release this document's trees before reading the next
            print(f"  write: {doc.name} done", flush=True)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)

    string_m = add_geomean(string_t, string_r)
    file_m = add_geomean(file_t, file_r)
    section.tables += [string_t, file_t]
    section.targets += [
        Target("write_string vs lxml (geomean)", string_m["lxml"], 2),
        Target("write_file vs lxml (geomean)", file_m["lxml"], 1.5),
    ]
    section.series = series
    return section


def written_whole(doc, write, path: str, expected: int, section: Section) -> bool:
    """write_file must run and leave exactly the bytes of write_string's result."""
    try:
        write()
    except Exception as exc:  # noqa: BLE001 (reported, not hidden)
        section.failures.append(f"write_file on {doc.name} raised {type(exc).__name__}: {exc}")
        return False
    size = Path(path).stat().st_size
    if size != expected:
        section.failures.append(f"write_file on {doc.name}: {size} bytes, write_string "
                                f"gives {expected}")
        return False
    return True


def round_trip(doc, text: str, read_string, write_string, section: Section):
    """plovane's tree of the document, when it reads, writes, and its output reads back to
    as many elements under the same root; otherwise the failure is recorded and None
    returned, so that a wrong writer is not timed."""
    try:
        tree = read_string(text, doc.root_tag)
        again = read_string(write_string(tree), doc.root_tag)
    except Exception as exc:  # noqa: BLE001 (reported, not hidden)
        section.failures.append(f"writing {doc.name} raised {type(exc).__name__}: {exc}")
        return None
    if again.name != tree.name or count_nodes(again) != count_nodes(tree):
        section.failures.append(f"write_string on {doc.name}: the output does not read back "
                                "to the same tree shape")
        return None
    return tree


if __name__ == "__main__":
    run_standalone(run, __doc__.splitlines()[0])
