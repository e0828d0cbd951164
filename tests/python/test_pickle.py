"""Pickling and copying nodes: round trips over every protocol, shared children, deep chains,
and states that are corrupted or made by hand."""

import copy
import pickle

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import plovane
from plovane import Node

from strategies import assert_same_tree, chain, node_trees

PROTOCOLS = range(2, pickle.HIGHEST_PROTOCOL + 1)


def state_of(node):
    function, (state,) = node.__reduce__()
    assert function is plovane._node_from_state
    return state


def varint(n):
    out = bytearray()
    while n >= 0x80:
        out.append(n & 0x7F | 0x80)
        n >>= 7
    return bytes(out + bytes([n]))


def encode(nodes, *, header=b"PLS\x01", count=None, trailing=b""):
    """A state written by hand: nodes are (name, text or None, [(key, value)], [child index]),
    children first; strings may be bytes to write them as they are."""
    structure, strings = bytearray(), bytearray()

    def put(text, extra=0):
        data = text if isinstance(text, bytes) else text.encode()
        structure.extend(varint(len(data) + extra))
        strings.extend(data)

    for index, (name, text, attrs, children) in enumerate(nodes):
        put(name)
        if text is None:
            structure.extend(varint(0))
        else:
            put(text, 1)  # a text's length is written one up, 0 meaning none
        structure.extend(varint(len(attrs)))
        for key, value in attrs:
            put(key)
            put(value)
        structure.extend(varint(len(children)) + b"".join(varint(index - child) for child in children))
    counted = len(nodes) if count is None else count
    return header + varint(counted) + varint(len(structure)) + bytes(structure) + bytes(strings) + trailing


@st.composite
def shared_trees(draw):
    """Nodes shared between parents and within one parent: children are drawn from earlier nodes."""
    made = []
    for _ in range(draw(st.integers(1, 12))):
        children = draw(st.lists(st.sampled_from(made), max_size=4)) if made else []
        attrs = draw(st.dictionaries(st.text(max_size=3), st.text(max_size=3), max_size=2))
        made.append(Node(draw(st.text(max_size=4)), attrs, children, draw(st.none() | st.text(max_size=4))))
    return made[-1]


LEAF = Node("leaf", {"k": "v"}, text="t")
MIDDLE = Node("m", children=[LEAF, LEAF])
SAMPLE_TREES = [
    Node("", {"": ""}, [Node("", text="")], ""),
    Node("é", {"ключ": "値", "emoji": "\U0001f600"}, [Node("ß", text="Grüße \u2028 \x00 \U0010ffff")]),
    Node("a", {f"k{i}": "v" * i for i in range(50)}),
    Node("r", children=[MIDDLE, LEAF, Node("other", children=[MIDDLE])]),
    plovane.read_string('<r a="1" b="&lt;"><c>t&amp;x</c><c/><d e="é">ü<f/></d></r>', "r"),
]


@pytest.mark.parametrize("protocol", PROTOCOLS)
@settings(max_examples=40, deadline=None)
@given(tree=node_trees | shared_trees())
def test_round_trip(tree, protocol):
    for each in [tree, *SAMPLE_TREES]:
        assert_same_tree(each, pickle.loads(pickle.dumps(each, protocol)), sharing=True)


def test_a_million_deep_chain_round_trips():
    node = pickle.loads(pickle.dumps(chain(999_999, name="deep"), pickle.HIGHEST_PROTOCOL))
    depth = 0
    while node.children:
        assert node.name == "deep" and node.text is None and len(node.children) == 1
        (node,) = node.children
        depth += 1
    assert depth == 999_999 and node.name == "deep"


def test_copies_are_the_node_itself():
    node = Node("a", {"k": "v"}, [Node("b")], "t")
    assert copy.copy(node) is node and copy.deepcopy(node) is node and copy.deepcopy(node, {}) is node
    box = [node, {"n": node}]
    copied = copy.deepcopy(box)
    assert copied is not box and copied[0] is node and copied[1]["n"] is node


B = ("b", None, [], [])

# (what is wrong, state, words of the message)
BAD_STATES = [
    ("empty", b"", "unknown header"),
    ("other header", encode([B], header=b"PLS\x02"), "unknown header"),
    ("no counts", b"PLS\x01", "truncated header"),
    ("varint past 64 bits", b"PLS\x01" + b"\xff" * 10 + b"\x01", "truncated header"),
    ("no nodes", encode([], count=0), "no nodes"),
    ("more nodes counted", encode([B], count=2), "node count exceeds"),
    ("fewer nodes counted", encode([B, B, ("a", None, [], [0, 1])], count=2), "unused bytes in the structure part"),
    ("huge node count", encode([B], count=2**62), "node count exceeds"),
    ("structure past the end", b"PLS\x01\x01\x10\x00\x00\x00\x00", "runs past the end"),
    ("child before the first node", encode([B, ("a", None, [], [-1])]), "earlier node"),
    ("child is itself", encode([B, ("a", None, [], [1])]), "earlier node"),
    ("string past the end", encode([("abc", None, [], [])])[:-1], "string runs past the end"),
    ("text past the end", encode([("a", "text", [], [])])[:-2], "string runs past the end"),
    ("invalid UTF-8", encode([(b"\xff", None, [], [])]), "not valid UTF-8"),
    ("surrogate", encode([(b"\xed\xa0\x80", None, [], [])]), "not valid UTF-8"),
    ("split character", encode([("a", None, [(b"\xc3", b"\xa9")], [])]), "inside a UTF-8 character"),
    ("unused strings", encode([B], trailing=b"x"), "unused bytes in the string part"),
    ("repeated key", encode([("a", None, [("k", "1"), ("k", "2")], [])]), "attribute key repeats"),
    ("attribute count too large", b"PLS\x01\x01\x05\x00\x00\xff\xff\x03", "attribute count exceeds"),
    ("child count too large", b"PLS\x01\x01\x05\x00\x00\x00\xff\x03", "child count exceeds"),
]


@pytest.mark.parametrize("state, words", [c[1:] for c in BAD_STATES], ids=[c[0] for c in BAD_STATES])
def test_malformed_state_is_refused(state, words):
    with pytest.raises(ValueError, match=f"^invalid Node state: .*{words}"):
        plovane._node_from_state(state)


@pytest.mark.parametrize("argument", ["PLS\x01", bytearray(b"PLS\x01"), None, 3])
def test_state_must_be_bytes(argument):
    with pytest.raises(TypeError, match="must be bytes"):
        plovane._node_from_state(argument)


def test_hand_made_states_agree_with_the_writer():
    tree = Node("r", {"a": "1"}, [Node("c", text="é"), Node("d", {}, [], "")])
    assert state_of(tree) == encode([("c", "é", [], []), ("d", "", [], []), ("r", None, [("a", "1")], [0, 1])])
    assert len(state_of(Node("r", children=[Node("leaf", text="x" * 1000)] * 100))) < 1200  # each node once
    # Sharing, and a node no one refers to.
    state = encode([("shared", "t", [("k", "v")], []), ("unused", None, [], [0]), ("root", None, [], [0, 0])])
    first, second = plovane._node_from_state(state).children
    assert first is second and (first.name, first.text, first.attrs) == ("shared", "t", {"k": "v"})


def refused_or_valid(state):
    """A damaged state is refused with the module's message, or makes a tree that works all the way down."""
    try:
        node = plovane._node_from_state(state)
    except ValueError as error:
        assert str(error).startswith("invalid Node state: ")
        return True
    node.to_dict()
    plovane.write_string(node)
    return False


@settings(max_examples=300, deadline=None)
@given(body=st.binary(max_size=64))
def test_random_states_are_refused_or_valid(body):
    refused_or_valid(b"PLS\x01" + body)


def test_every_truncation_and_bit_flip_is_refused_or_valid():
    leaf = Node("l", {"k": "v"}, text="é")
    state = state_of(Node("r", {"a": "1", "ü": "x"}, [leaf, Node("m", children=[leaf], text=""), leaf]))
    flips = [bytes(b ^ (1 << bit) if i == at else b for i, b in enumerate(state))
             for at in range(len(state)) for bit in range(8)]
    refused = sum(refused_or_valid(s) for s in [state[:end] for end in range(len(state))] + flips)
    assert refused > len(state)
