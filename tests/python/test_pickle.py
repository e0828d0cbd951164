"""Pickling and copying nodes: round trips over every protocol, shared children, deep chains,
states that are corrupted or made by hand, and trees sent between processes."""

import concurrent.futures
import copy
import multiprocessing
import pickle

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import plovane
from plovane import Node

from strategies import node_trees

PROTOCOLS = range(2, pickle.HIGHEST_PROTOCOL + 1)

# ---- helpers ---------------------------------------------------------------------


def assert_same_tree(original, restored):
    """Equal names, attributes, texts and children, walked without recursion; and the same
    sharing: each node of `original` maps to one node of `restored`, and distinct ones to
    distinct ones."""
    image = {}  # id of an original node -> the restored node
    preimage = {}  # id of a restored node -> the original node
    stack = [(original, restored)]
    while stack:
        a, b = stack.pop()
        if id(a) in image:
            assert image[id(a)] is b
            continue
        assert id(b) not in preimage, "two different nodes came back as one"
        image[id(a)] = b
        preimage[id(b)] = a
        assert type(b) is Node
        assert (b.name, b.attrs, b.text) == (a.name, a.attrs, a.text)
        assert len(b.children) == len(a.children)
        stack.extend(zip(a.children, b.children))


def state_of(node):
    function, (state,) = node.__reduce__()
    assert function is plovane._node_from_state
    return state


def varint(n):
    out = bytearray()
    while n >= 0x80:
        out.append(n & 0x7F | 0x80)
        n >>= 7
    out.append(n)
    return bytes(out)


def encode(nodes, *, header=b"PLS\x01", count=None, trailing=b""):
    """A state written by hand: nodes are (name, text or None, [(key, value)], [child index]),
    children first; strings may be bytes to write them as they are."""
    structure, strings = bytearray(), bytearray()

    def put(text):
        data = text if isinstance(text, bytes) else text.encode()
        structure.extend(varint(len(data)))
        strings.extend(data)

    for index, (name, text, attrs, children) in enumerate(nodes):
        put(name)
        if text is None:
            structure.extend(varint(0))
        else:
            data = text if isinstance(text, bytes) else text.encode()
            structure.extend(varint(len(data) + 1))
            strings.extend(data)
        structure.extend(varint(len(attrs)))
        for key, value in attrs:
            put(key)
            put(value)
        structure.extend(varint(len(children)))
        for child in children:
            structure.extend(varint(index - child))
    nodes_counted = len(nodes) if count is None else count
    return (header + varint(nodes_counted) + varint(len(structure)) + bytes(structure)
            + bytes(strings) + trailing)


# Trees with nodes shared between parents and within one parent: each node's children are
# drawn from the nodes made before it.
@st.composite
def shared_trees(draw):
    made = []
    for _ in range(draw(st.integers(1, 12))):
        children = draw(st.lists(st.sampled_from(made), max_size=4)) if made else []
        made.append(Node(draw(st.text(max_size=4)),
                         draw(st.dictionaries(st.text(max_size=3), st.text(max_size=3),
                                              max_size=2)),
                         children, draw(st.none() | st.text(max_size=4))))
    return made[-1]


# ---- round trips -----------------------------------------------------------------

SAMPLE_TREES = {
    "leaf": lambda: Node("a"),
    "absent text": lambda: Node("a", {"k": "v"}, [], None),
    "empty text": lambda: Node("a", {}, [Node("b", text="")], ""),
    "empty strings": lambda: Node("", {"": ""}, [Node("", text="")]),
    "unicode": lambda: Node("é", {"ключ": "値", "emoji": "\U0001f600"},
                            [Node("ß", text="Grüße \u2028 \x00 \U0010ffff")], "žćč"),
    "attributes": lambda: Node("a", {f"k{i}": "v" * i for i in range(50)}),
    "read": lambda: plovane.read_string(
        '<r a="1" b="&lt;"><c>t&amp;x</c><c/><d e="é">ü<f/></d></r>', "r"),
}


@pytest.mark.parametrize("protocol", PROTOCOLS)
@pytest.mark.parametrize("name", SAMPLE_TREES)
def test_round_trip(name, protocol):
    tree = SAMPLE_TREES[name]()
    assert_same_tree(tree, pickle.loads(pickle.dumps(tree, protocol)))


@pytest.mark.parametrize("protocol", PROTOCOLS)
@settings(max_examples=20, deadline=None)
@given(tree=node_trees)
def test_round_trip_of_any_tree(tree, protocol):
    assert_same_tree(tree, pickle.loads(pickle.dumps(tree, protocol)))


@pytest.mark.parametrize("protocol", PROTOCOLS)
@settings(max_examples=40, deadline=None)
@given(tree=shared_trees())
def test_shared_children_stay_shared(tree, protocol):
    assert_same_tree(tree, pickle.loads(pickle.dumps(tree, protocol)))


@pytest.mark.parametrize("protocol", PROTOCOLS)
def test_child_shared_by_parents_is_one_node(protocol):
    leaf = Node("leaf", {"k": "v"}, text="t")
    middle = Node("m", children=[leaf, leaf])
    root = Node("r", children=[middle, leaf, Node("other", children=[middle])])
    restored = pickle.loads(pickle.dumps(root, protocol))
    m, l, other = restored.children
    assert m.children[0] is l and m.children[1] is l
    assert other.children[0] is m
    assert_same_tree(root, restored)


def test_each_distinct_node_is_written_once():
    leaf = Node("leaf", text="x" * 1000)
    many = Node("r", children=[leaf] * 100)
    assert len(state_of(many)) < 1200


@pytest.mark.parametrize("protocol", PROTOCOLS)
def test_nodes_pickled_together_keep_their_identity(protocol):
    node = Node("a", children=[Node("b")])
    first, second = pickle.loads(pickle.dumps([node, node], protocol))
    assert first is second


def test_a_million_deep_chain_round_trips(chain):
    deep = chain(999_999, name="deep")
    restored = pickle.loads(pickle.dumps(deep, pickle.HIGHEST_PROTOCOL))
    depth = 0
    node = restored
    while node.children:
        assert node.name == "deep" and node.text is None and len(node.children) == 1
        (node,) = node.children
        depth += 1
    assert depth == 999_999 and node.name == "deep"


# ---- copies ----------------------------------------------------------------------


@pytest.mark.parametrize("make_copy", [copy.copy, copy.deepcopy, lambda n: copy.deepcopy(n, {})])
def test_copies_are_the_node_itself(make_copy):
    node = Node("a", {"k": "v"}, [Node("b")], "t")
    assert make_copy(node) is node


def test_deep_copy_of_a_container_shares_the_nodes():
    node = Node("a", children=[Node("b")])
    box = [node, {"n": node}]
    copied = copy.deepcopy(box)
    assert copied is not box and copied[0] is node and copied[1]["n"] is node


def test_the_reconstructor_is_private():
    assert plovane.__all__ == ["SearchType", "Node", "read_file", "read_string", "write_file",
                               "write_string"]
    assert plovane._node_from_state.__module__ == "plovane"
    assert Node.__module__ == "builtins"


# ---- states made by hand and corrupted states ------------------------------------

LEAF = ("b", None, [], [])

# (what is wrong, state, words of the message)
BAD_STATES = [
    ("empty", b"", "unknown header"),
    ("other header", encode([LEAF], header=b"PLS\x02"), "unknown header"),
    ("no counts", b"PLS\x01", "truncated header"),
    ("varint past 64 bits", b"PLS\x01" + b"\xff" * 10 + b"\x01", "truncated header"),
    ("no nodes", encode([], count=0), "no nodes"),
    ("more nodes counted", encode([LEAF], count=2), "node count exceeds"),
    ("fewer nodes counted", encode([LEAF, LEAF, ("a", None, [], [0, 1])], count=2),
     "unused bytes in the structure part"),
    ("huge node count", encode([LEAF], count=2**62), "node count exceeds"),
    ("structure past the end", b"PLS\x01\x01\x10\x00\x00\x00\x00", "runs past the end"),
    ("child before the first node", encode([LEAF, ("a", None, [], [-1])]), "earlier node"),
    ("child is itself", encode([LEAF, ("a", None, [], [1])]), "earlier node"),
    ("string past the end", encode([("abc", None, [], [])])[:-1], "string runs past the end"),
    ("text past the end", encode([("a", "text", [], [])])[:-2], "string runs past the end"),
    ("invalid UTF-8", encode([(b"\xff", None, [], [])]), "not valid UTF-8"),
    ("surrogate", encode([(b"\xed\xa0\x80", None, [], [])]), "not valid UTF-8"),
    ("split character", encode([("a", None, [(b"\xc3", b"\xa9")], [])]),
     "inside a UTF-8 character"),
    ("unused strings", encode([LEAF], trailing=b"x"), "unused bytes in the string part"),
    ("repeated key", encode([("a", None, [("k", "1"), ("k", "2")], [])]),
     "attribute key repeats"),
    ("attribute count too large",
     b"PLS\x01\x01\x05\x00\x00\xff\xff\x03", "attribute count exceeds"),
    ("child count too large", b"PLS\x01\x01\x05\x00\x00\x00\xff\x03", "child count exceeds"),
]


@pytest.mark.parametrize("state, words", [c[1:] for c in BAD_STATES],
                         ids=[c[0] for c in BAD_STATES])
def test_malformed_state_is_refused(state, words):
    with pytest.raises(ValueError, match=f"^invalid Node state: .*{words}"):
        plovane._node_from_state(state)


@pytest.mark.parametrize("argument", ["PLS\x01", bytearray(b"PLS\x01"), None, 3])
def test_state_must_be_bytes(argument):
    with pytest.raises(TypeError, match="must be bytes"):
        plovane._node_from_state(argument)


def test_hand_made_state_with_sharing_and_an_unreferenced_node():
    state = encode([("shared", "t", [("k", "v")], []), ("unused", None, [], [0]),
                    ("root", None, [], [0, 0])])
    root = plovane._node_from_state(state)
    first, second = root.children
    assert first is second and (first.name, first.text, first.attrs) == ("shared", "t", {"k": "v"})


def test_writer_and_hand_encoding_agree():
    tree = Node("r", {"a": "1"}, [Node("c", text="é"), Node("d", {}, [], "")])
    state = state_of(tree)
    assert state == encode([("c", "é", [], []), ("d", "", [], []), ("r", None, [("a", "1")], [0, 1])])


def corruptions(state):
    for end in range(len(state)):
        yield state[:end]
    for position in range(len(state)):
        for bit in range(8):
            flipped = bytearray(state)
            flipped[position] ^= 1 << bit
            yield bytes(flipped)


def test_every_truncation_and_bit_flip_is_refused_or_valid():
    leaf = Node("l", {"k": "v"}, text="é")
    tree = Node("r", {"a": "1", "ü": "x"}, [leaf, Node("m", children=[leaf], text=""), leaf])
    refused = 0
    for state in corruptions(state_of(tree)):
        try:
            node = plovane._node_from_state(state)
        except ValueError as error:
            assert str(error).startswith("invalid Node state: ")
            refused += 1
        else:
            # A flip that leaves a valid state gives a tree that works all the way down.
            node.to_dict()
            plovane.write_string(node)
    assert refused > len(state_of(tree))


@settings(max_examples=300, deadline=None)
@given(body=st.binary(max_size=64))
def test_random_states_are_refused_or_valid(body):
    try:
        node = plovane._node_from_state(b"PLS\x01" + body)
    except ValueError as error:
        assert str(error).startswith("invalid Node state: ")
    else:
        node.to_dict()


# ---- between processes -----------------------------------------------------------

DOCUMENTS = [
    '<doc n="0"><item id="1">one</item><item id="2"/></doc>',
    '<doc n="1">text<inner><leaf>é</leaf></inner></doc>',
    '<doc n="2"/>',
]


@pytest.fixture
def document_files(tmp_path):
    paths = []
    for index, text in enumerate(DOCUMENTS):
        path = tmp_path / f"doc{index}.xml"
        path.write_text(text, encoding="utf-8")
        paths.append(str(path))
    return paths


def test_process_pool_workers_return_trees(document_files):
    context = multiprocessing.get_context("spawn")
    with concurrent.futures.ProcessPoolExecutor(max_workers=2, mp_context=context) as pool:
        trees = list(pool.map(plovane.read_file, document_files, ["doc"] * len(document_files)))
    for tree, text in zip(trees, DOCUMENTS):
        assert_same_tree(plovane.read_string(text, "doc"), tree)


def test_dask_bag_over_files(document_files):
    bag = pytest.importorskip("dask.bag")
    trees = (bag.from_sequence(document_files, npartitions=2)
             .map(plovane.read_file, "doc")
             .compute(scheduler="processes", num_workers=2))
    for tree, text in zip(trees, DOCUMENTS):
        assert_same_tree(plovane.read_string(text, "doc"), tree)
