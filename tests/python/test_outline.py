"""The text outline of a node (str, __to_string) and its representation."""

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from plovane import Node

from strategies import node_trees


def outline(node, spacing=None):
    # Inside a class body the name would be mangled, so always go through getattr.
    if spacing is None:
        return getattr(node, "__to_string")()
    return getattr(node, "__to_string")(spacing)


def reference_outline(node, indent=0):
    """The outline written straight from its definition, one level per call."""
    pad = " " * indent
    parts = [pad + "Name: " + node.name]
    attrs = node.attrs
    if attrs:
        parts.append(pad + "Attributes:")
        parts.extend(pad + k + ": " + v for k, v in attrs.items())
    if node.text is not None:
        parts.append(pad + "Text: " + node.text)
    if node.children:
        parts.append(pad + "Children:")
        parts.extend(reference_outline(c, (indent + 2) % 256) for c in node.children)
    return "\n".join(parts)


def library():
    tag = Node("tag", {"lang": "en"})
    item = Node("item", children=[tag], text="first")
    return Node("library", {"id": "7"}, [item])


LIBRARY_LINES = [
    "Name: library",
    "Attributes:",
    "id: 7",
    "Children:",
    "  Name: item",
    "  Text: first",
    "  Children:",
    "    Name: tag",
    "    Attributes:",
    "    lang: en",
]


# ---- the worked example ----------------------------------------------------


def test_worked_example_renders_as_its_ten_lines():
    assert str(library()) == "\n".join(LIBRARY_LINES)


def test_worked_example_with_spacing_three_indents_every_line():
    assert outline(library(), 3) == "\n".join("   " + line for line in LIBRARY_LINES)


def test_no_spacing_none_zero_and_str_agree():
    node = library()
    assert outline(node) == outline(node, None) == outline(node, 0) == str(node)
    assert getattr(node, "__to_string")(spacing=0) == str(node)


# ---- what each part of a node contributes ----------------------------------


def test_a_bare_node_is_one_line_without_a_newline():
    assert str(Node("x")) == "Name: x"
    assert str(Node("")) == "Name: "


def test_empty_text_has_its_line_and_absent_text_has_none():
    assert str(Node("x", text="")) == "Name: x\nText: "
    assert "Text:" not in str(Node("x"))


def test_headers_appear_only_when_there_is_something_under_them():
    assert str(Node("x", {}, [])) == "Name: x"
    assert str(Node("x", {"k": "v"})) == "Name: x\nAttributes:\nk: v"
    assert str(Node("x", children=[Node("c")])) == "Name: x\nChildren:\n  Name: c"


def test_attributes_follow_the_maps_iteration_order_at_the_nodes_indentation():
    attrs = {f"k{i}": f"v{i}" for i in range(20)}
    node = Node("x", attrs)
    lines = outline(node, 4).split("\n")
    assert lines[:2] == ["    Name: x", "    Attributes:"]
    assert lines[2:] == [f"    {k}: {v}" for k, v in node.attrs.items()]


def test_text_attributes_and_children_come_in_that_order():
    node = Node("p", {"a": "1"}, [Node("c")], "t")
    assert str(node) == "Name: p\nAttributes:\na: 1\nText: t\nChildren:\n  Name: c"


def test_values_are_inserted_as_they_are_without_escaping_or_reindenting():
    node = Node("a<b", {"k\n2": "v'\"&"}, [Node("c", text="line1\nline2")], "x\ny")
    assert str(node) == (
        "Name: a<b\nAttributes:\nk\n2: v'\"&\nText: x\ny\nChildren:\n  Name: c\n  Text: line1\nline2"
    )


def test_non_ascii_text_passes_through():
    node = Node("ñame", {"ключ": "值"}, [Node("😀", text="é")])
    assert str(node) == "Name: ñame\nAttributes:\nключ: 值\nChildren:\n  Name: 😀\n  Text: é"


def test_a_shared_child_is_rendered_at_each_place():
    shared = Node("s", {"k": "v"}, [Node("leaf")])
    node = Node("p", children=[shared, Node("o"), shared])
    block = "  Name: s\n  Attributes:\n  k: v\n  Children:\n    Name: leaf"
    assert str(node) == f"Name: p\nChildren:\n{block}\n  Name: o\n{block}"


# ---- indentation arithmetic -------------------------------------------------


def test_spacing_255_wraps_the_children_to_one_space():
    node = Node("a", children=[Node("b", children=[Node("c")])])
    assert outline(node, 255).split("\n") == [
        " " * 255 + "Name: a",
        " " * 255 + "Children:",
        " Name: b",
        " Children:",
        "   Name: c",
    ]


def test_indentation_wraps_after_127_levels():
    node = Node("n")
    for _ in range(300):
        node = Node("n", children=[node])
    names = [line for line in str(node).split("\n") if line.lstrip().startswith("Name:")]
    assert len(names) == 301
    for depth, line in enumerate(names):
        assert line == " " * ((2 * depth) % 256) + "Name: n"


@settings(max_examples=120, deadline=None)
@given(node_trees, st.integers(0, 255))
def test_random_trees_match_the_level_by_level_definition(node, spacing):
    assert outline(node, spacing) == reference_outline(node, spacing)


# ---- the spacing argument ----------------------------------------------------


@pytest.mark.parametrize("spacing", [256, -1, 2**64])
def test_spacing_outside_a_byte_overflows(spacing):
    with pytest.raises(OverflowError) as info:
        outline(Node("a"), spacing)
    assert str(info.value) == "out of range integral type conversion attempted"
    assert info.value.__notes__ == ["while processing 'spacing'"]


@pytest.mark.parametrize("spacing", ["1", 1.0, [1]])
def test_spacing_that_is_not_an_integer_is_a_type_error(spacing):
    with pytest.raises(TypeError) as info:
        outline(Node("a"), spacing)
    assert "cannot be interpreted as an integer" in str(info.value)
    assert info.value.__notes__ == ["while processing 'spacing'"]


def test_spacing_accepts_objects_with_index():
    class Two:
        def __index__(self):
            return 2

    assert outline(Node("a"), Two()) == "  Name: a"


def test_to_string_call_shape_errors():
    to_string = getattr(Node("a"), "__to_string")
    with pytest.raises(TypeError, match="takes from 0 to 1 positional arguments but 2 were given"):
        to_string(1, 2)
    with pytest.raises(TypeError, match="unexpected keyword argument 'indent'"):
        to_string(indent=1)
    assert getattr(Node, "__to_string").__text_signature__ == "($self, spacing=None)"


# ---- representation -----------------------------------------------------------


def test_representation_is_the_name_only_unquoted():
    node = Node("x", {"k": "v"}, [Node("c")], "t")
    assert repr(node) == "Node(x)"
    assert repr(Node("a b")) == "Node(a b)"
    assert repr(Node("")) == "Node()"
    assert repr([Node("q")]) == "[Node(q)]"


# ---- depth ------------------------------------------------------------------------


def test_a_million_deep_chain_renders():
    depth = 1_000_000
    node = Node("n")
    for _ in range(depth):
        node = Node("n", children=[node])
    text = str(node)
    expected = 0
    for level in range(depth + 1):
        indent = (2 * level) % 256
        expected += indent + len("Name: n")
        if level < depth:
            expected += 1 + indent + len("Children:") + 1
    assert len(text) == expected
    assert text.startswith("Name: n\nChildren:\n  Name: n\n")
    tail = text[-400:].split("\n")
    last_indent = (2 * depth) % 256
    assert tail[-1] == " " * last_indent + "Name: n"
    assert tail[-2] == " " * ((2 * (depth - 1)) % 256) + "Children:"
