"""Pickling and copying nodes: round trips over every protocol, shared children, deep chains,
and states that are corrupted or made by hand."""

import copy
import pickle

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import plovane
from plovane import Node

from strategies import assert_same_tree, bottom, chain, node_trees

PROTOCOLS = range(2, pickle.HIGHEST_PROTOCOL + 1)


def state_of(node):
    function, (state,) = node.__reduce__()
    assert function is plovane._node_from_state
    return state


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
    node, levels = bottom(pickle.loads(pickle.dumps(chain(999_999, name="deep"), pickle.HIGHEST_PROTOCOL)))
    assert (levels, node.name) == (1_000_000, "deep")


def test_copies_are_the_node_itself():
    node = Node("a", {"k": "v"}, [Node("b")], "t")
    assert copy.copy(node) is node and copy.deepcopy(node) is node and copy.deepcopy(node, {}) is node
    box = [node, {"n": node}]
    copied = copy.deepcopy(box)
    assert copied is not box and copied[0] is node and copied[1]["n"] is node


# A state: "PLS\x01", the node count and the structure part's length, then the structure part
# (per node, children first: name length; text length plus one, or 0 for none; attribute count and
# the key and value lengths; child count and, per child, how many nodes back it is), then the
# strings in the same order. Every number is a LEB128 varint.
# (what is wrong, state, words of the message)
BAD_STATES = [
    ("empty", b"", "unknown header"),
    ("no counts", b"PLS\x01", "truncated header"),
    ("varint past 64 bits", b"PLS\x01" + b"\xff" * 10 + b"\x01", "truncated header"),
    ("no nodes", b"PLS\x01\x00\x00", "no nodes"),
    ("more nodes counted", b"PLS\x01\x02\x04\x01\x00\x00\x00b", "node count exceeds"),
    ("fewer nodes counted", b"PLS\x01\x02\x0e\x01\x00\x00\x00\x01\x00\x00\x00\x01\x00\x00\x02\x02\x01bba",
     "unused bytes in the structure part"),
    ("huge node count", b"PLS\x01" + b"\x80" * 8 + b"\x40\x04\x01\x00\x00\x00b", "node count exceeds"),
    ("structure past the end", b"PLS\x01\x01\x10\x00\x00\x00\x00", "runs past the end"),
    ("child before the first node", b"PLS\x01\x02\x09\x01\x00\x00\x00\x01\x00\x00\x01\x02ba", "earlier node"),
    ("child is itself", b"PLS\x01\x02\x09\x01\x00\x00\x00\x01\x00\x00\x01\x00ba", "earlier node"),
    ("string past the end", b"PLS\x01\x01\x04\x03\x00\x00\x00ab", "string runs past the end"),
    ("invalid UTF-8", b"PLS\x01\x01\x04\x01\x00\x00\x00\xff", "not valid UTF-8"),
    ("split character", b"PLS\x01\x01\x06\x01\x00\x01\x01\x01\x00a\xc3\xa9", "inside a UTF-8 character"),
    ("unused strings", b"PLS\x01\x01\x04\x01\x00\x00\x00bx", "unused bytes in the string part"),
    ("repeated key", b"PLS\x01\x01\x08\x01\x00\x02\x01\x01\x01\x01\x00ak1k2", "attribute key repeats"),
    ("attribute count too large", b"PLS\x01\x01\x05\x00\x00\xff\xff\x03", "attribute count exceeds"),
    ("child count too large", b"PLS\x01\x01\x05\x00\x00\x00\xff\x03", "child count exceeds"),
]


def header_counts(state):
    """The node count and the structure part's length at the head of a state."""
    counts, position = [], 4
    for _ in range(2):
        value = shift = 0
        while True:
            byte = state[position]
            position += 1
            value |= (byte & 0x7F) << shift
            shift += 7
            if byte < 0x80:
                break
        counts.append(value)
    return tuple(counts)


def test_counts_at_each_varint_width_round_trip():
    # The state's size is worked out before it is written, so a count whose varint is one byte
    # longer than thought (128 = 0x80, 16384) would cut the state short.
    seen = set()

    def round_trip(tree):
        state = state_of(tree)
        seen.update(header_counts(state))
        assert_same_tree(tree, plovane._node_from_state(state), sharing=True)

    for leaves in (126, 127, 128, 16382, 16383, 16384):
        round_trip(Node("r", children=[Node("c") for _ in range(leaves)]))
    for leaves in range(16, 40):  # structure parts of every length around 128 bytes
        for with_attr in range(leaves + 1):
            round_trip(Node("r", children=[Node("c", {"k": ""} if i < with_attr else {}) for i in range(leaves)]))
    assert {127, 128, 129, 16383, 16384, 16385} <= seen


@pytest.mark.parametrize("state, words", [c[1:] for c in BAD_STATES], ids=[c[0] for c in BAD_STATES])
def test_malformed_state_is_refused(state, words):
    with pytest.raises(ValueError, match=f"^invalid Node state: .*{words}"):
        plovane._node_from_state(state)


@pytest.mark.parametrize("argument", ["PLS\x01", bytearray(b"PLS\x01"), None, 3])
def test_state_must_be_bytes(argument):
    with pytest.raises(TypeError, match="must be bytes"):
        plovane._node_from_state(argument)


def test_hand_made_states_agree_with_the_writer():
    # Pickles are stored: the layout written today is the one read back later.
    tree = Node("r", {"a": "1"}, [Node("c", text="é"), Node("d", {}, [], "")])
    assert state_of(tree) == b"PLS\x01\x03\x10\x01\x03\x00\x00\x01\x01\x00\x00\x01\x00\x01\x01\x01\x02\x02\x01c\xc3\xa9dra1"
    assert len(state_of(Node("r", children=[Node("leaf", text="x" * 1000)] * 100))) < 1200  # each node once
    # Sharing, and a node no one refers to: shared(t, k=v), unused(shared), root(shared, shared).
    state = b"PLS\x01\x03\x11\x06\x02\x01\x01\x01\x00\x06\x00\x00\x01\x01\x04\x00\x00\x02\x02\x02sharedtkvunusedroot"
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


def test_every_truncation_and_bit_flip_is_refused_or_valid():
    leaf = Node("l", {"k": "v"}, text="é")
    state = state_of(Node("r", {"a": "1", "ü": "x"}, [leaf, Node("m", children=[leaf], text=""), leaf]))
    flips = [bytes(b ^ (1 << bit) if i == at else b for i, b in enumerate(state))
             for at in range(len(state)) for bit in range(8)]
    refused = sum(refused_or_valid(s) for s in [state[:end] for end in range(len(state))] + flips)
    assert refused > len(state)
