"""Dictionary conversion benchmark: Node.to_dict against the same nested dicts built in pure
Python from the tree's properties:

    {"name": n.name, "attrs": n.attrs, "children": [...], "text": n.text}

The tree: a document of the corpus is read with read_string, and a new root with the
document root's name and attributes gets the first of its children, whole, until the tree
holds 100,000 elements (the children are the read nodes themselves, shared, not copies).
"""

from __future__ import annotations

from common import (
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

TREE_ELEMENTS = 100_000
# Documents the trees are taken from (those present in the corpus), the target on the first.
SOURCES = ("gen-attrs-8m", "gen-text-32m", "gir:Gio-2.0")


def python_to_dict(node) -> dict:
    return {"name": node.name, "attrs": node.attrs,
            "children": [python_to_dict(child) for child in node.children], "text": node.text}


def tree_of(node_class, root, elements: int):
    """A tree of exactly `elements` elements (or all the root's), sharing read subtrees."""
    children, total = [], 1
    for child in root.children:
        size = count_nodes(child)
        if total + size > elements:
            # Too big to take whole: take the part of it that fits.
            if elements - total > 0:
                children.append(tree_of(node_class, child, elements - total))
                total = elements
            break
        children.append(child)
        total += size
    return node_class(root.name, root.attrs, children, root.text)


def run(settings: Settings, pv: Plovane) -> Section:
    docs = load_corpus(settings)
    read_string = pv.get("read_string")
    node_class = pv.get("Node")
    to_dict = pv.get("Node.to_dict")
    section = Section("dict")
    table = Table("to_dict vs the same dicts built in Python from the properties",
                  ["tree from", "elements", "to_dict ms", "Python ms", "x Python"])
    table.notes.append("best time of repeated rounds (the two take turns) after a warm-up; "
                       "x Python = Python time / to_dict time (> 1: to_dict faster)")
    chosen = [d for name in SOURCES for d in docs if d.name == name]
    if settings.quick:
        chosen = chosen[:1] or docs[:1]
    if not chosen:
        chosen = [max(docs, key=lambda d: d.size)]
    first = None
    for doc in chosen:
        if not (read_string and node_class and to_dict):
            table.add(doc.name, "n/a", "n/a", "n/a", "n/a")
            continue
        tree = tree_of(node_class, read_string(doc.text(), doc.root_tag), TREE_ELEMENTS)
        elements = count_nodes(tree)
        if tree.to_dict() != python_to_dict(tree):
            section.failures.append(f"to_dict on {doc.name} differs from the Python dicts")
        budget = settings.budget(1.0)
        timings = compare({"to_dict": Work(tree.to_dict),
                           "python": Work(lambda: python_to_dict(tree))}, budget=budget)
        ours, python = timings["to_dict"], timings["python"]
        r = ratio(python, ours)
        first = r if first is None else first
        table.add(doc.name, str(elements), ours.best * 1e3, python.best * 1e3, r)
        print(f"  dict: {doc.name} done", flush=True)
    section.tables.append(table)
    section.targets.append(Target(f"to_dict vs Python on {chosen[0].name}", first, 1))
    return section


if __name__ == "__main__":
    run_standalone(run, __doc__.splitlines()[0])
