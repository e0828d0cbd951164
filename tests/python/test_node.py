"""Node construction, properties and identity."""

import sys
from collections import UserList

import pytest

from plovane import Node


def test_a_name_alone_gives_an_empty_node():
    node = Node("a")
    assert (node.name, node.attrs, node.children, node.text) == ("a", {}, [], None)


def test_empty_strings_are_kept_and_empty_text_is_not_none():
    node = Node("", {"": ""}, [], "")
    assert node.name == "" and node.attrs == {"": ""} and node.text == ""


def test_properties_are_fresh_copies_that_do_not_change_the_node():
    child = Node("c")
    node = Node("a", {"k": "v"}, [child], "t")
    node.children.append(Node("x"))
    node.attrs["k2"] = "v2"
    assert node.children == [child] and node.attrs == {"k": "v"}
    assert node.children is not node.children


def test_children_are_the_same_objects_in_order_even_when_repeated():
    a, b = Node("a"), Node("b")
    node = Node("p", children=(a, b, a))
    got = node.children
    assert got[0] is a and got[1] is b and got[2] is a


@pytest.mark.parametrize("children", [[], (), UserList([])])
def test_any_sequence_is_accepted_for_children(children):
    assert Node("a", children=children).children == []


def test_a_sequence_registered_with_the_abc_is_accepted():
    import collections.abc

    class Seq:
        def __init__(self, items):
            self.items = items

        def __iter__(self):
            return iter(self.items)

        def __len__(self):
            return len(self.items)

    collections.abc.Sequence.register(Seq)
    c = Node("c")
    assert Node("a", children=Seq([c])).children == [c]


@pytest.mark.parametrize(
    "kwargs, message, param",
    [
        ({"attrs": [("k", "v")]}, "'list' object is not an instance of 'dict'", "attrs"),
        ({"attrs": {"k": 1}}, "'int' object is not an instance of 'str'", "attrs"),
        ({"attrs": {1: "v"}}, "'int' object is not an instance of 'str'", "attrs"),
        ({"children": "ab"}, "Can't extract `str` to `Vec`", "children"),
        ({"children": ("x",)}, "'str' object is not an instance of 'Node'", "children"),
        ({"children": {}}, "'dict' object is not an instance of 'Sequence'", "children"),
        ({"children": {1, 2}}, "'set' object is not an instance of 'Sequence'", "children"),
        ({"children": 3}, "'int' object is not an instance of 'Sequence'", "children"),
        ({"text": b"t"}, "'bytes' object is not an instance of 'str'", "text"),
    ],
)
def test_constructor_argument_errors(kwargs, message, param):
    with pytest.raises(TypeError) as info:
        Node("a", **kwargs)
    assert str(info.value) == message
    assert info.value.__notes__ == [f"while processing '{param}'"]


def test_none_means_absent_for_optional_arguments():
    node = Node("a", None, None, None)
    assert node.attrs == {} and node.children == [] and node.text is None


def test_nodes_are_immutable_and_compare_by_identity():
    a, b = Node("x"), Node("x")
    assert a != b and a == a
    assert hash(a) != hash(b)
    for attr in ("name", "attrs", "children", "text"):
        with pytest.raises(AttributeError):
            setattr(a, attr, None)
    with pytest.raises(AttributeError):
        a.other = 1
    assert not hasattr(a, "__dict__")
    import weakref

    with pytest.raises(TypeError):
        weakref.ref(a)


def test_node_is_not_tracked_by_the_cycle_collector():
    import gc

    assert not gc.is_tracked(Node("a", children=[Node("b")]))


def test_children_hold_references_and_release_them():
    child = Node("c")
    base = sys.getrefcount(child)
    parent = Node("p", children=[child, child])
    assert sys.getrefcount(child) == base + 2
    del parent
    assert sys.getrefcount(child) == base


def test_a_million_deep_chain_is_built_searched_and_released(chain):
    root = chain(1_000_000)
    assert len(root.search_by_name("n")) == 1_000_001
    del root  # must not overflow the native stack


def test_releasing_a_wide_tree_of_shared_children():
    leaf = Node("leaf")
    base = sys.getrefcount(leaf)
    root = Node("r", children=[Node("m", children=[leaf] * 1000) for _ in range(100)])
    assert sys.getrefcount(leaf) == base + 100_000
    del root
    assert sys.getrefcount(leaf) == base
