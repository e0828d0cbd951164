"""Every public operation on a chain a million elements deep and on an
element with a million children, each both read from a document and built
from nodes. The trees are built once per module and shared by the tests.
"""

import collections
import sys
import threading

import pytest

from plovane import Node, SearchType, read_file, read_string, write_file, write_string

from strategies import outline

DEPTH = 1_000_000  # elements in the chain, the leaf included
WIDTH = 1_000_000  # children of the wide root
LEAF = '<leaf id="bottom">end &amp; more</leaf>'
DECLARATION = '<?xml version="1.0" encoding="utf-8"?>\n'


def deep_text():
    """The chain as the writer lays it out with indent 0 and no declaration."""
    return "\n".join(["<n>"] * (DEPTH - 1) + [LEAF] + ["</n>"] * (DEPTH - 1))


def wide_text(indent):
    pad = " " * indent
    children = [f"{pad}<c>x</c>"] * WIDTH
    children[WIDTH // 2] = f'{pad}<hit id="1">needle</hit>'
    return "\n".join(["<r>", *children, "</r>"])


def build_deep():
    leaf = Node("leaf", {"id": "bottom"}, text="end & more")
    node = leaf
    for _ in range(DEPTH - 1):
        node = Node("n", children=[node])
    return node, leaf


def build_wide():
    hit = Node("hit", {"id": "1"}, text="needle")
    children = [Node("c", text="x") for _ in range(WIDTH)]
    children[WIDTH // 2] = hit
    return Node("r", children=children), hit


def bottom(node):
    """Walks down first children; returns the last node and the levels passed."""
    levels = 1
    while True:
        children = node.children
        if not children:
            return node, levels
        assert len(children) == 1
        node, levels = children[0], levels + 1


# One tree under test; `marked` is its one node with an attribute and the searched text.
Shape = collections.namedtuple("Shape", "kind root marked")


@pytest.fixture(scope="module")
def deep_document():
    return deep_text()


@pytest.fixture(scope="module")
def wide_document():
    return wide_text(0)


@pytest.fixture(scope="module", params=["deep read", "deep built", "wide read", "wide built"])
def shape(request, deep_document, wide_document):
    kind, origin = request.param.split()
    if kind == "deep":
        if origin == "read":
            root = read_string(deep_document, "n")
            return Shape(kind, root, bottom(root)[0])
        return Shape(kind, *build_deep())
    if origin == "read":
        root = read_string(wide_document, "r")
        return Shape(kind, root, root.children[WIDTH // 2])
    return Shape(kind, *build_wide())


def canonical(shape):
    """What write_string gives with indent 0 and no declaration."""
    return deep_text() if shape.kind == "deep" else wide_text(0)


def test_the_tree_has_the_documents_shape(shape):
    root, marked = shape.root, shape.marked
    if shape.kind == "deep":
        leaf, levels = bottom(root)
        assert levels == DEPTH and leaf is marked
        assert (leaf.name, leaf.attrs, leaf.text) == ("leaf", {"id": "bottom"}, "end & more")
    else:
        children = root.children
        assert len(children) == WIDTH and children[WIDTH // 2] is marked
        assert (marked.name, marked.attrs, marked.text) == ("hit", {"id": "1"}, "needle")
        others = children[: WIDTH // 2] + children[WIDTH // 2 + 1 :]
        assert {(c.name, c.text, len(c.children)) for c in others} == {("c", "x", 0)}


def test_searches(shape):
    root, marked = shape.root, shape.marked
    many = "n" if shape.kind == "deep" else "c"
    found = root.search_by_name(many)
    assert len(found) == (DEPTH - 1 if shape.kind == "deep" else WIDTH - 1)
    assert found[0] is (root if shape.kind == "deep" else root.children[0])
    assert root.search_by_name(marked.name) == [marked]
    assert root.search_by_attr("id") == [marked]
    assert root.search_by_text(marked.text) == [marked]
    assert root.search(SearchType.Text, marked.text) == [marked]
    assert root.search(SearchType.Attr, "id") == root.search_by_attr("id")
    # A depth limit stops the walk: ten levels down the chain, or only the
    # root and its children across the wide tree.
    if shape.kind == "deep":
        assert len(root.search_by_name("n", depth=9)) == 10
        assert root.search_by_attr("id", depth=DEPTH - 2) == []
        assert root.search_by_attr("id", depth=DEPTH - 1) == [marked]
    else:
        assert root.search_by_attr("id", depth=0) == []
        assert root.search_by_attr("id", depth=1) == [marked]


def deep_outline_length(spacing):
    """The length of the chain's outline, line by line from its definition."""
    total = 0
    for level in range(DEPTH - 1):
        pad = (spacing + 2 * level) % 256
        total += pad + len("Name: n") + 1 + pad + len("Children:") + 1
    pad = (spacing + 2 * (DEPTH - 1)) % 256
    return total + 4 * pad + len("Name: leaf\nAttributes:\nid: bottom\nText: end & more")


def wide_outline(spacing):
    own, pad = " " * spacing, "\n" + " " * (spacing + 2)
    children = [f"{pad}Name: c{pad}Text: x"] * WIDTH
    children[WIDTH // 2] = f"{pad}Name: hit{pad}Attributes:{pad}id: 1{pad}Text: needle"
    return f"{own}Name: r\n{own}Children:" + "".join(children)


def test_outline_and_representation(shape):
    root = shape.root
    text = str(root)
    assert outline(root, 0) == text
    assert repr(root) == f"Node({root.name})"
    if shape.kind == "wide":
        assert text == wide_outline(0)
        assert outline(root, 3) == wide_outline(3)
        return
    for spacing, rendered in [(0, text), (1, outline(root, 1))]:
        # Two lines a link, four for the leaf; two more spaces a level, modulo 256.
        assert len(rendered) == deep_outline_length(spacing)
        assert rendered.count("\n") == 2 * (DEPTH - 1) + 3
        first, second = " " * spacing, " " * (spacing + 2)
        assert rendered.startswith(f"{first}Name: n\n{first}Children:\n{second}Name: n\n")
        pad = " " * ((spacing + 2 * (DEPTH - 1)) % 256)
        assert rendered.endswith(f"\n{pad}Name: leaf\n{pad}Attributes:\n{pad}id: bottom\n{pad}Text: end & more")


def test_dictionary_conversion_both_ways(shape):
    as_dict = shape.root.to_dict()
    if shape.kind == "deep":
        level, levels = as_dict, 1
        while level["children"]:
            assert (level["name"], level["attrs"], level["text"], len(level["children"])) == ("n", {}, None, 1)
            level, levels = level["children"][0], levels + 1
        assert levels == DEPTH
        assert level == {"name": "leaf", "attrs": {"id": "bottom"}, "children": [], "text": "end & more"}
    else:
        children = as_dict["children"]
        assert len(children) == WIDTH
        assert children[WIDTH // 2] == {"name": "hit", "attrs": {"id": "1"}, "children": [], "text": "needle"}
        assert children[0] == {"name": "c", "attrs": {}, "children": [], "text": "x"}
    rebuilt = Node.from_dict(as_dict)
    del as_dict
    assert write_string(rebuilt, indent=0, default_xml_def=False) == canonical(shape)


def test_write_string_and_write_file(shape, tmp_path):
    root = shape.root
    assert write_string(root, indent=0, default_xml_def=False) == canonical(shape)
    if shape.kind == "deep":
        assert write_string(root, 0) == DECLARATION + canonical(shape)
        # Four spaces a level down a million levels would be terabytes of
        # indentation, more than memory holds: refused up front, and the
        # indent the caller did not pass is not blamed.
        with pytest.raises(MemoryError) as caught:
            write_string(root)
        assert not hasattr(caught.value, "__notes__")
    else:
        assert write_string(root) == DECLARATION + wide_text(4)
    path = str(tmp_path / "out.xml")
    indent = 0 if shape.kind == "deep" else 2
    write_file(root, path, indent=indent)
    with open(path, encoding="utf-8") as f:
        assert f.read() == write_string(root, indent=indent)
    again = read_file(path, root.name)
    assert write_string(again, indent=0, default_xml_def=False) == canonical(shape)


@pytest.mark.parametrize("kind", ["deep", "wide"])
def test_release_on_another_thread_gives_everything_back(kind, deep_document, wide_document):
    document = deep_document if kind == "deep" else wide_document
    root_tag = "n" if kind == "deep" else "r"
    doc_refs = sys.getrefcount(document)
    read = read_string(document, root_tag)
    built, marked = build_deep() if kind == "deep" else build_wide()
    marked_refs = sys.getrefcount(marked)
    assert sys.getrefcount(document) == doc_refs + 1
    trees = [read, built]
    del read, built

    # The last references go on a thread that did not build the trees.
    releaser = threading.Thread(target=trees.clear)
    releaser.start()
    releaser.join()
    assert sys.getrefcount(document) == doc_refs
    assert sys.getrefcount(marked) == marked_refs - 1
