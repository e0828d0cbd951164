"""Threads share trees and the very containers passed to Node(...) and Node.from_dict, while
other threads change those containers.

Eight workers read, write, search, convert, render and drop trees, some shared by all of them
and some handed from one thread to the next to be dropped there. Two more threads keep changing
a dict of attributes, a list of children, a keyword dict and a nested node dictionary that the
workers pass in at the same moment. No call may crash or raise anything but the error its input
calls for, and every result must be one the input really had: each container is read as a whole
at one moment (a dict is cleared and refilled, a list replaced by slice assignment, each one
atomic step). The run lasts PLOVANE_CONCURRENCY_SECONDS (default 2); `make tsan` runs it
against a ThreadSanitizer build.
"""

import os
import random
import sys

import pytest

from plovane import Node, SearchType, read_string, write_string

from ring import run_ring

SECONDS = float(os.environ.get("PLOVANE_CONCURRENCY_SECONDS", "2"))
DOCUMENT = '<?xml version="1.0"?><catalog>' + "".join(
    f'<item id="{i}"><name>n{i}</name><note>x &amp; y</note><tag k="é{i}">données ☃</tag></item>'
    for i in range(200)) + "</catalog>"

# The states the changing containers go through (a reader may also see a dict empty between
# two); the last of each is one the module must refuse.
ATTR_STATES = [{"a": "1", "b": "2"}, {"c": "3"}, {"a": "x", "d": "é ☃"}, {"bad": 1}]
KEYWORD_STATES = [{"name": "k1", "text": "t"}, {"name": "k2", "attrs": {"z": "1"}}]
TEXT_STATES = [None, "t1", "t2"]
CHILD_NAMES = ["c1", "c2", "c3"]
POOL = [Node("p0"), Node("p1", {"k": "v"}), Node("p2", text="t")]
CHILD_STATES = [[POOL[0], POOL[1]], [POOL[2]], [], [POOL[0], 5]]


class Shared:
    """The shared containers, and the changes made to them."""

    def __init__(self):
        self.attrs, self.children, self.keywords = dict(ATTR_STATES[0]), list(CHILD_STATES[0]), dict(KEYWORD_STATES[0])
        # A node dictionary whose root text, attrs, children list and child names change.
        self.child_dicts = [{"name": CHILD_NAMES[0], "attrs": {}, "children": [], "text": None} for _ in range(3)]
        self.tree_attrs, self.tree_children = dict(ATTR_STATES[0]), list(self.child_dicts)
        self.tree = {"name": "root", "attrs": self.tree_attrs, "children": self.tree_children, "text": None}
        self.changes = 0

    def change_forever(self, stop, seed):
        rng = random.Random(seed)
        changes = [
            lambda: refill(self.attrs, rng.choice(ATTR_STATES)),
            lambda: self.children.__setitem__(slice(None), rng.choice(CHILD_STATES)),
            lambda: refill(self.keywords, rng.choice(KEYWORD_STATES)),
            lambda: self.tree.__setitem__("text", rng.choice(TEXT_STATES)),
            lambda: refill(self.tree_attrs, rng.choice(ATTR_STATES)),
            lambda: self.tree_children.__setitem__(slice(None), self.child_dicts[: rng.randrange(4)]),
            lambda: rng.choice(self.child_dicts).__setitem__("name", rng.choice(CHILD_NAMES)),
        ]
        while not stop.is_set():
            rng.choice(changes)()
            self.changes += 1


def refill(target, state):
    target.clear()
    target.update(state)


def refused(call, message, note):
    """The result of call(), or None when it raised the TypeError an observed state calls for."""
    try:
        return call()
    except TypeError as error:
        assert str(error).startswith(message), repr(error)
        assert note is None or error.__notes__ == [f"while processing '{note}'"]


def check_node_from_containers(shared):
    node = refused(lambda: Node("n", shared.attrs, text="t"), "'int' object is not an instance of 'str'", "attrs")
    assert node is None or node.attrs == {} or node.attrs in ATTR_STATES[:-1], node.attrs
    node = refused(lambda: Node("n", children=shared.children), "'int' object is not an instance of 'Node'",
                   "children")
    if node is not None:
        got = node.children
        assert any(len(got) == len(s) and all(a is b for a, b in zip(got, s)) for s in CHILD_STATES[:-1]), got
    node = refused(lambda: Node(**shared.keywords), "Node() missing 1 required positional argument: 'name'", None)
    if node is not None:
        seen = {"name": node.name, "text": node.text, "attrs": node.attrs}
        assert {k: v for k, v in seen.items() if v} in KEYWORD_STATES, seen


def check_node_from_dict(shared):
    node = refused(lambda: Node.from_dict(shared.tree), "failed to extract enum HashmapTypes", "dict_")
    if node is not None:
        assert node.name == "root" and node.text in TEXT_STATES and len(node.children) <= 3
        assert node.attrs == {} or node.attrs in ATTR_STATES[:-1], node.attrs
        for child in node.children:
            assert (child.name in CHILD_NAMES, child.attrs, child.children, child.text) == (True, {}, [], None)


@pytest.fixture
def frequent_switches():
    # With the global lock, threads take turns far more often than by default, so calls
    # interleave with the changes wherever the lock can be let go.
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)
    yield
    sys.setswitchinterval(interval)


def test_workers_and_changers_share_trees_and_containers(frequent_switches):
    tree = read_string(DOCUMENT, "catalog")
    canonical, pretty = write_string(tree, indent=0, default_xml_def=False), write_string(tree)
    as_dict, outline = tree.to_dict(), str(tree)
    counts = [len(tree.search_by_name("item")), len(tree.search_by_attr("id")), len(tree.search_by_text("x & y"))]
    shared = Shared()

    def one_round(t, rng):
        match rng.randrange(8):
            case 0:
                mine = read_string(DOCUMENT, "catalog")
                assert write_string(mine, indent=0, default_xml_def=False) == canonical
                return mine  # dropped by the next thread
            case 1:
                assert write_string(tree) == pretty
            case 2:
                assert [len(tree.search_by_name("item")), len(tree.search(SearchType.Attr, "id")),
                        len(tree.search_by_text("x & y", depth=2))] == counts
            case 3:
                assert tree.to_dict() == as_dict
                return Node.from_dict(as_dict)
            case 4:
                assert str(tree) == outline and tree.__to_string(2).startswith("  Name: catalog")
            case 5:
                mixed = Node("mixed", {"t": str(t)}, [tree, tree.children[t]])
                assert mixed.search_by_name("catalog") == [tree]
                return mixed
            case 6:
                check_node_from_containers(shared)
            case 7:
                check_node_from_dict(shared)

    changers = [lambda stop, seed=seed: shared.change_forever(stop, seed) for seed in (101, 102)]
    errors, rounds = run_ring(8, SECONDS, one_round, others=changers)
    assert not errors, "\n".join(errors)
    assert all(rounds) and shared.changes > 0, rounds
