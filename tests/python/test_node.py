"""Node construction, properties, identity and references."""

import collections.abc
import gc
import sys
import weakref
from collections import UserList

import pytest

from plovane import Node


def test_absent_and_empty_parts():
    node = Node("a", None, None, None)
    assert (node.name, node.attrs, node.children, node.text) == ("a", {}, [], None)
    node = Node("", {"": ""}, [], "")
    assert (node.name, node.attrs, node.children, node.text) == ("", {"": ""}, [], "")


def test_properties_are_fresh_copies_holding_the_children_themselves():
    a, b = Node("a"), Node("b")
    node = Node("p", {"k": "v"}, (a, b, a), "t")
    got = node.children
    assert got[0] is a and got[1] is b and got[2] is a and got is not node.children
    got.append(Node("x"))
    node.attrs["k2"] = "v2"
    assert node.children == [a, b, a] and node.attrs == {"k": "v"}


class Registered:
    """A sequence known to the abstract base class only by registration."""

    def __init__(self, items):
        self.items = items

    def __iter__(self):
        return iter(self.items)

    def __len__(self):
        return len(self.items)


collections.abc.Sequence.register(Registered)


@pytest.mark.parametrize("make", [list, tuple, UserList, Registered])
def test_any_sequence_is_accepted_for_children(make):
    c = Node("c")
    assert Node("a", children=make([])).children == []
    assert Node("a", children=make([c])).children == [c]


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


def test_nodes_are_immutable_untracked_and_compare_by_identity():
    a, b = Node("x"), Node("x")
    assert a != b and a == a and hash(a) != hash(b)
    for attr in ("name", "attrs", "children", "text", "other"):
        with pytest.raises(AttributeError):
            setattr(a, attr, None)
    assert not hasattr(a, "__dict__")
    with pytest.raises(TypeError):
        weakref.ref(a)
    assert not gc.is_tracked(Node("a", children=[Node("b")]))


def test_children_hold_one_reference_per_place_and_release_them():
    leaf = Node("leaf")
    base = sys.getrefcount(leaf)
    parent = Node("p", children=[leaf, leaf])
    assert sys.getrefcount(leaf) == base + 2
    del parent
    assert sys.getrefcount(leaf) == base
    root = Node("r", children=[Node("m", children=[leaf] * 1000) for _ in range(100)])
    assert sys.getrefcount(leaf) == base + 100_000
    del root
    assert sys.getrefcount(leaf) == base
