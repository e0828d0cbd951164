"""The text outline of a node (str, __to_string) and its representation."""

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from plovane import Node

from strategies import node_trees, outline


def reference_outline(node, indent=0):
    """The outline written straight from its rules, one level per call."""
    pad = " " * indent
    parts = [pad + "Name: " + node.name]
    if node.attrs:
        parts.append(pad + "Attributes:")
        parts.extend(pad + k + ": " + v for k, v in node.attrs.items())
    if node.text is not None:
        parts.append(pad + "Text: " + node.text)
    if node.children:
        parts.append(pad + "Children:")
        parts.extend(reference_outline(c, (indent + 2) % 256) for c in node.children)
    return "\n".join(parts)


LIBRARY_LINES = ["Name: library", "Attributes:", "id: 7", "Children:", "  Name: item", "  Text: first",
                 "  Children:", "    Name: tag", "    Attributes:", "    lang: en"]


def test_a_three_level_outline_with_and_without_spacing():
    node = Node("library", {"id": "7"}, [Node("item", children=[Node("tag", {"lang": "en"})], text="first")])
    assert str(node) == "\n".join(LIBRARY_LINES)
    assert outline(node) == outline(node, None) == outline(node, 0) == str(node)
    assert getattr(node, "__to_string")(spacing=0) == str(node)
    assert outline(node, 3) == "\n".join("   " + line for line in LIBRARY_LINES)


SHARED = Node("s", {"k": "v"}, [Node("leaf")])
SHARED_BLOCK = "  Name: s\n  Attributes:\n  k: v\n  Children:\n    Name: leaf"


@pytest.mark.parametrize(
    "node, spacing, expected",
    [
        (Node("x"), 0, "Name: x"),
        (Node(""), 0, "Name: "),
        (Node("x", text=""), 0, "Name: x\nText: "),
        (Node("x", {}, []), 0, "Name: x"),  # headers only over something
        (Node("x", {"k": "v"}), 0, "Name: x\nAttributes:\nk: v"),
        (Node("x", children=[Node("c")]), 0, "Name: x\nChildren:\n  Name: c"),
        (Node("p", {"a": "1"}, [Node("c")], "t"), 0, "Name: p\nAttributes:\na: 1\nText: t\nChildren:\n  Name: c"),
        # Values go in as they are: no escaping, no re-indenting.
        (Node("a<b", {"k\n2": "v'\"&"}, [Node("c", text="l1\nl2")], "x\ny"), 0,
         "Name: a<b\nAttributes:\nk\n2: v'\"&\nText: x\ny\nChildren:\n  Name: c\n  Text: l1\nl2"),
        (Node("ñame", {"ключ": "值"}, [Node("😀", text="é")]), 0,
         "Name: ñame\nAttributes:\nключ: 值\nChildren:\n  Name: 😀\n  Text: é"),
        (Node("p", children=[SHARED, Node("o"), SHARED]), 0,
         f"Name: p\nChildren:\n{SHARED_BLOCK}\n  Name: o\n{SHARED_BLOCK}"),
        # Indentation is a byte: 255 + 2 wraps to one space.
        (Node("a", children=[Node("b", children=[Node("c")])]), 255,
         "\n".join([" " * 255 + "Name: a", " " * 255 + "Children:", " Name: b", " Children:", "   Name: c"])),
    ],
)
def test_outline(node, spacing, expected):
    assert outline(node, spacing) == expected


def test_indentation_wraps_after_127_levels(chain):
    names = [line for line in str(chain(300)).split("\n") if "Name:" in line]
    assert names == [" " * ((2 * depth) % 256) + "Name: n" for depth in range(301)]


def test_many_attributes_follow_the_maps_iteration_order():
    node = Node("x", {f"k{i}": f"v{i}" for i in range(20)})
    assert outline(node, 4) == reference_outline(node, 4)


@settings(max_examples=120, deadline=None)
@given(node_trees, st.integers(0, 255))
def test_random_trees_match_the_level_by_level_outline(node, spacing):
    assert outline(node, spacing) == reference_outline(node, spacing)


class Two:
    def __index__(self):
        return 2


def test_spacing_accepts_objects_with_index():
    assert outline(Node("a"), Two()) == "  Name: a"


def test_representation_is_the_name_only_unquoted():
    assert repr(Node("x", {"k": "v"}, [Node("c")], "t")) == "Node(x)"
    assert repr(Node("a b")) == "Node(a b)"
    assert repr(Node("")) == "Node()"
    assert repr([Node("q")]) == "[Node(q)]"
