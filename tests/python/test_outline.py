"""The text outline of a node (str, __to_string) against one written from its rules."""

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from plovane import Node

from strategies import chain, node_trees, outline


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


def test_a_three_level_outline_with_and_without_spacing():
    lines = ["Name: library", "Attributes:", "id: 7", "Children:", "  Name: item", "  Text: first", "  Children:",
             "    Name: tag", "    Attributes:", "    lang: en"]
    node = Node("library", {"id": "7"}, [Node("item", children=[Node("tag", {"lang": "en"})], text="first")])
    assert str(node) == outline(node) == outline(node, None) == outline(node, 0) == "\n".join(lines)
    assert getattr(node, "__to_string")(spacing=0) == str(node)
    assert outline(node, 3) == "\n".join("   " + line for line in lines)
    assert outline(Node("a"), type("Two", (), {"__index__": lambda self: 2})()) == "  Name: a"


SHARED = Node("s", {"k": "v"}, [Node("leaf")])


# Random trees have neither shared children nor many attributes.
@pytest.mark.parametrize("node", [Node("p", children=[SHARED, Node("o"), SHARED]),
                                  Node("x", {f"k{i}": f"v{i}" for i in range(20)})])
def test_outline(node):
    assert outline(node, 4) == reference_outline(node, 4)


@settings(max_examples=120, deadline=None)
@given(node_trees, st.integers(0, 255))
def test_random_trees_match_the_level_by_level_outline(node, spacing):
    assert outline(node, spacing) == reference_outline(node, spacing)


def test_indentation_wraps_after_127_levels():
    names = [line for line in str(chain(300)).split("\n") if "Name:" in line]
    assert names == [" " * ((2 * depth) % 256) + "Name: n" for depth in range(301)]

