"""Every public operation on a chain a million elements deep and on an element with a million
children, each both read from a document and built from nodes; the trees are built once per
module and shared by the tests."""

import collections
import sys
import threading

import pytest

from plovane import Node, SearchType, read_file, read_string, write_file, write_string

from strategies import bottom, outline

DEPTH = WIDTH = 1_000_000  # elements in the chain (the leaf included); children of the wide root
LEAF = '<leaf id="bottom">end &amp; more</leaf>'
LEAF_DICT = {"name": "leaf", "attrs": {"id": "bottom"}, "children": [], "text": "end & more"}
HIT_DICT = {"name": "hit", "attrs": {"id": "1"}, "children": [], "text": "needle"}


def deep_text():
    """The chain as the writer lays it out with indent 0 and no declaration."""
    return "\n".join(["<n>"] * (DEPTH - 1) + [LEAF] + ["</n>"] * (DEPTH - 1))


def wide_text(indent):
    children = [" " * indent + "<c>x</c>"] * WIDTH
    children[WIDTH // 2] = " " * indent + '<hit id="1">needle</hit>'
    return "\n".join(["<r>", *children, "</r>"])


def build(kind):
    """The tree built from nodes, and its one node with an attribute and the searched text."""
    marked = Node.from_dict(LEAF_DICT if kind == "deep" else HIT_DICT)
    if kind == "deep":
        node = marked
        for _ in range(DEPTH - 1):
            node = Node("n", children=[node])
        return node, marked
    children = [Node("c", text="x") for _ in range(WIDTH)]
    children[WIDTH // 2] = marked
    return Node("r", children=children), marked


Shape = collections.namedtuple("Shape", "kind root marked canonical")


@pytest.fixture(scope="module")
def documents():
    return {"deep": deep_text(), "wide": wide_text(0)}


@pytest.fixture(scope="module", params=["deep read", "deep built", "wide read", "wide built"])
def shape(request, documents):
    kind, origin = request.param.split()
    if origin == "built":
        return Shape(kind, *build(kind), documents[kind])
    root = read_string(documents[kind], "n" if kind == "deep" else "r")
    return Shape(kind, root, bottom(root)[0] if kind == "deep" else root.children[WIDTH // 2], documents[kind])


def test_shape_searches_and_dictionaries(shape):
    root, marked, deep = shape.root, shape.marked, shape.kind == "deep"
    marked_dict = LEAF_DICT if deep else HIT_DICT
    assert marked.to_dict() == marked_dict
    if deep:
        assert bottom(root) == (marked, DEPTH)
    else:
        children = root.children
        assert len(children) == WIDTH and children[WIDTH // 2] is marked
        assert {(c.name, c.text, len(c.children)) for c in children if c is not marked} == {("c", "x", 0)}
    found = root.search_by_name("n" if deep else "c")
    assert len(found) == DEPTH - 1 and found[0] is (root if deep else root.children[0])
    assert root.search_by_name(marked.name) == root.search_by_attr("id") == [marked]
    assert root.search_by_text(marked.text) == root.search(SearchType.Text, marked.text) == [marked]
    # A depth limit stops the walk: ten levels down the chain, or the root and its children.
    if deep:
        assert len(root.search_by_name("n", depth=9)) == 10
        assert root.search_by_attr("id", depth=DEPTH - 2) == []
        assert root.search_by_attr("id", depth=DEPTH - 1) == [marked]
    else:
        assert root.search_by_attr("id", depth=0) == [] and root.search_by_attr("id", depth=1) == [marked]
    as_dict = root.to_dict()
    level = as_dict
    for _ in range(DEPTH - 1 if deep else 0):
        assert (level["name"], level["attrs"], level["text"], len(level["children"])) == ("n", {}, None, 1)
        level = level["children"][0]
    assert (level if deep else level["children"][WIDTH // 2]) == marked_dict
    rebuilt = Node.from_dict(as_dict)
    del as_dict, level
    assert write_string(rebuilt, indent=0, default_xml_def=False) == shape.canonical


def test_outline_and_representation(shape):
    root = shape.root
    text = str(root)
    assert outline(root, 0) == text and repr(root) == f"Node({root.name})"
    if shape.kind == "wide":
        assert text.count("\n  Name: c\n  Text: x") == WIDTH - 1 and text.startswith("Name: r\nChildren:\n")
        return
    # Two lines a link, four for the leaf; two more spaces a level, modulo 256.
    last = " " * ((2 * (DEPTH - 1)) % 256)
    assert text.count("\n") == 2 * (DEPTH - 1) + 3 and text.startswith("Name: n\nChildren:\n  Name: n\n")
    assert text.endswith(f"\n{last}Name: leaf\n{last}Attributes:\n{last}id: bottom\n{last}Text: end & more")


def test_write_string_and_write_file(shape, tmp_path):
    root, declaration = shape.root, '<?xml version="1.0" encoding="utf-8"?>\n'
    assert write_string(root, indent=0, default_xml_def=False) == shape.canonical
    indent = 0 if shape.kind == "deep" else 2
    assert write_string(root, indent) == declaration + (shape.canonical if indent == 0 else wide_text(indent))
    path = str(tmp_path / "out.xml")
    write_file(root, path, indent=indent)
    with open(path, encoding="utf-8") as f:
        assert f.read() == write_string(root, indent=indent)
    assert write_string(read_file(path, root.name), indent=0, default_xml_def=False) == shape.canonical


def test_a_chain_never_closed_and_a_root_a_million_levels_down(documents):
    # The open elements are let go on the error path, without recursion.
    unclosed = documents["deep"][: documents["deep"].index("<leaf")]
    with pytest.raises(ValueError, match="^unexpected end of document: <n> is never closed$"):
        read_string(unclosed, "n")
    assert read_string("<b>" * DEPTH + "<r>x</r>", "r").text == "x"


@pytest.mark.parametrize("kind", ["deep", "wide"])
def test_release_on_another_thread_gives_everything_back(kind, documents):
    document = documents[kind]
    doc_refs = sys.getrefcount(document)
    read = read_string(document, "n" if kind == "deep" else "r")
    built, marked = build(kind)
    marked_refs = sys.getrefcount(marked)
    assert sys.getrefcount(document) == doc_refs + 1
    trees = [read, built]
    del read, built
    releaser = threading.Thread(target=trees.clear)  # the last references go on another thread
    releaser.start()
    releaser.join()
    assert (sys.getrefcount(document), sys.getrefcount(marked)) == (doc_refs, marked_refs - 1)
