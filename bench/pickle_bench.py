"""Pickling benchmark: pickle.dumps then pickle.loads of a plovane tree against the same for
ElementTree's tree of the same document (xml.etree.ElementTree, its C accelerator).

The tree: a document is read with read_string and cut to 100,000 elements as the dict
benchmark does (a new root with the document root's name and attributes gets the first of its
children, whole, until the tree holds 100,000 elements); ElementTree's tree is built from that
very tree (same names, attributes and texts). Documents come from the corpus when it has been
gathered (scripts/bench-corpus.sh), or else are generated here by bench/generate.py.
Both libraries are pickled with pickle.HIGHEST_PROTOCOL.
"""

from __future__ import annotations

import pickle
import xml.etree.ElementTree as ET

from common import (
    DATA_DIR,
    Plovane,
    Section,
    Settings,
    Table,
    Target,
    Work,
    compare,
    count_nodes,
    load_corpus,
    ratio,
    run_standalone,
)
from dict_bench import tree_of

TREE_ELEMENTS = 100_000
# (corpus name, generator family, MiB, root tag): the target is checked on the first.
SOURCES = (("gen-attrs-8m", "attrs", 8, "osm"), ("gen-text-32m", "text", 32, "book"))


def documents(settings: Settings) -> list[tuple[str, str, str]]:
    """(name, text, root tag) of each source document, from the corpus or generated."""
    chosen = SOURCES[:1] if settings.quick else SOURCES
    corpus = {}
    if (DATA_DIR / "real.json").exists() and (DATA_DIR / "generated.json").exists():
        corpus = {d.name: d for d in load_corpus()}
    out = []
    for name, family, mib, root in chosen:
        if name in corpus:
            out.append((name, corpus[name].text(), root))
        else:
            from generate import generate  # noqa: PLC0415 (only without the corpus)

            out.append((name, generate(family, mib), root))
    return out


def element_tree(root):
    """ElementTree's element tree with the names, attributes and texts of a plovane tree."""
    top = ET.Element(root.name, root.attrs)
    top.text = root.text
    stack = [(root, top)]
    while stack:
        node, element = stack.pop()
        for child in node.children:
            sub = ET.SubElement(element, child.name, child.attrs)
            sub.text = child.text
            stack.append((child, sub))
    return top


def round_trip(tree):
    return pickle.loads(pickle.dumps(tree, pickle.HIGHEST_PROTOCOL))


def run(settings: Settings, pv: Plovane) -> Section:
    read_string = pv.get("read_string")
    node_class = pv.get("Node")
    section = Section("pickle")
    table = Table("pickle.dumps + pickle.loads of a 100,000-element tree",
                  ["tree from", "elements", "pickle KB", "plovane ms", "ET pickle KB", "ET ms",
                   "x ET"])
    table.notes.append("best time of repeated rounds (the two take turns) after a warm-up; "
                       "x ET = ElementTree time / plovane time (> 1: plovane faster)")
    first = None
    for name, text, root_tag in documents(settings):
        if not (read_string and node_class):
            table.add(name, "n/a", "n/a", "n/a", "n/a", "n/a", "n/a")
            continue
        tree = tree_of(node_class, read_string(text, root_tag), TREE_ELEMENTS)
        elements = count_nodes(tree)
        et_root = element_tree(tree)
        if round_trip(tree).to_dict() != tree.to_dict():
            section.failures.append(f"a pickled tree of {name} comes back different")
        timings = compare({"plovane": Work(lambda: round_trip(tree)),
                           "ElementTree": Work(lambda: round_trip(et_root))},
                          budget=settings.budget(1.0))
        ours, et = timings["plovane"], timings["ElementTree"]
        r = ratio(et, ours)
        first = r if first is None else first
        table.add(name, str(elements),
                  f"{len(pickle.dumps(tree, pickle.HIGHEST_PROTOCOL)) / 1e3:.0f}",
                  ours.best * 1e3,
                  f"{len(pickle.dumps(et_root, pickle.HIGHEST_PROTOCOL)) / 1e3:.0f}",
                  et.best * 1e3, r)
        print(f"  pickle: {name} done", flush=True)
    section.tables.append(table)
    section.targets.append(Target(f"pickle round trip vs ElementTree on {SOURCES[0][0]}", first,
                                  1))
    return section


if __name__ == "__main__":
    run_standalone(run, __doc__.splitlines()[0])
