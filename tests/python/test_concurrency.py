"""Threads share trees and the very containers passed to Node(...) and
Node.from_dict, while other threads change those containers.

Eight workers read, write, search, convert, render and drop trees, some
shared by all of them and some handed from one thread to the next to be
dropped there. Two more threads keep changing a dict of attributes, a list
of children, a keyword dict and a nested node dictionary that the workers
pass in at the same moment. No call may crash or raise anything but the
error its input calls for, and every result must be one the input really
had: each container is read as a whole at one moment (a dict is cleared and
refilled, a list replaced by slice assignment, each one atomic step).

The run lasts PLOVANE_CONCURRENCY_SECONDS (default 2); `make tsan` runs it
against a ThreadSanitizer build.
"""

import os
import queue
import random
import sys
import threading
import time
import traceback

import pytest

from plovane import Node, SearchType, read_string, write_string

WORKERS = 8
SECONDS = float(os.environ.get("PLOVANE_CONCURRENCY_SECONDS", "2"))

DOCUMENT = (
    '<?xml version="1.0"?><catalog>'
    + "".join(
        f'<item id="{i}"><name>n{i}</name><note>x &amp; y</note><tag k="é{i}">données ☃</tag></item>'
        for i in range(200)
    )
    + "</catalog>"
)

# The states the changing containers go through; each change clears and
# refills (dicts) or replaces the whole content (lists), so a reader may also
# see an empty dict between two states. The last state of each is one the
# module must refuse.
ATTR_STATES = [{"a": "1", "b": "2"}, {"c": "3"}, {"a": "x", "d": "é ☃"}, {"bad": 1}]
KEYWORD_STATES = [{"name": "k1", "text": "t"}, {"name": "k2", "attrs": {"z": "1"}}]
TEXT_STATES = [None, "t1", "t2"]
CHILD_NAME_STATES = ["c1", "c2", "c3"]

BAD_STR = "'int' object is not an instance of 'str'"
BAD_NODE = "'int' object is not an instance of 'Node'"
NO_NAME = "Node() missing 1 required positional argument: 'name'"
ENUM_HEADER = "failed to extract enum HashmapTypes"


class Shared:
    """The shared containers and the threads that keep changing them."""

    def __init__(self):
        self.children_pool = [Node("p0"), Node("p1", {"k": "v"}), Node("p2", text="t")]
        p0, p1, p2 = self.children_pool
        self.child_states = [[p0, p1], [p2], [], [p0, 5]]
        self.attrs = dict(ATTR_STATES[0])
        self.children = list(self.child_states[0])
        self.keywords = dict(KEYWORD_STATES[0])
        # A node dictionary whose parts change: the root's text, its attrs
        # dict, its children list and each child's name.
        self.child_dicts = [
            {"name": CHILD_NAME_STATES[0], "attrs": {}, "children": [], "text": None} for _ in range(3)
        ]
        self.tree_attrs = dict(ATTR_STATES[0])
        self.tree_children = list(self.child_dicts)
        self.tree = {"name": "root", "attrs": self.tree_attrs, "children": self.tree_children, "text": None}
        self.changes = 0

    def refill(self, target, state):
        target.clear()
        target.update(state)

    def change_forever(self, stop, seed):
        rng = random.Random(seed)
        while not stop.is_set():
            match rng.randrange(7):
                case 0:
                    self.refill(self.attrs, rng.choice(ATTR_STATES))
                case 1:
                    self.children[:] = rng.choice(self.child_states)
                case 2:
                    self.refill(self.keywords, rng.choice(KEYWORD_STATES))
                case 3:
                    self.tree["text"] = rng.choice(TEXT_STATES)
                case 4:
                    self.refill(self.tree_attrs, rng.choice(ATTR_STATES))
                case 5:
                    self.tree_children[:] = self.child_dicts[: rng.randrange(4)]
                case 6:
                    rng.choice(self.child_dicts)["name"] = rng.choice(CHILD_NAME_STATES)
            self.changes += 1


def expect_refusal(error, *messages):
    # The error must be one an observed state calls for, with the note of the
    # argument it came from.
    assert isinstance(error, TypeError), repr(error)
    text = str(error)
    assert any(text.startswith(m) for m in messages), text


def attrs_state_ok(attrs):
    return attrs == {} or attrs in ATTR_STATES[:-1]


def check_node_from_containers(shared):
    try:
        node = Node("n", shared.attrs, text="t")
    except TypeError as error:
        expect_refusal(error, BAD_STR)
        assert error.__notes__ == ["while processing 'attrs'"]
    else:
        assert attrs_state_ok(node.attrs), node.attrs

    try:
        node = Node("n", children=shared.children)
    except TypeError as error:
        expect_refusal(error, BAD_NODE)
        assert error.__notes__ == ["while processing 'children'"]
    else:
        got = node.children
        assert any(len(got) == len(s) and all(a is b for a, b in zip(got, s)) for s in shared.child_states[:-1]), got

    try:
        node = Node(**shared.keywords)
    except TypeError as error:
        expect_refusal(error, NO_NAME)
    else:
        seen = {"name": node.name}
        if node.text is not None:
            seen["text"] = node.text
        if node.attrs:
            seen["attrs"] = node.attrs
        assert seen in KEYWORD_STATES, seen


def check_node_from_dict(shared):
    try:
        node = Node.from_dict(shared.tree)
    except TypeError as error:
        expect_refusal(error, ENUM_HEADER)
        assert error.__notes__ == ["while processing 'dict_'"]
        return
    assert node.name == "root"
    assert node.text in TEXT_STATES
    assert attrs_state_ok(node.attrs), node.attrs
    assert len(node.children) <= 3
    for child in node.children:
        assert child.name in CHILD_NAME_STATES and child.attrs == {} and child.children == [] and child.text is None


class Expected:
    def __init__(self, tree):
        self.canonical = write_string(tree, indent=0, default_xml_def=False)
        self.pretty = write_string(tree)
        self.as_dict = tree.to_dict()
        self.outline = str(tree)
        self.items = len(tree.search_by_name("item"))
        self.ids = len(tree.search_by_attr("id"))
        self.notes = len(tree.search_by_text("x & y"))


def one_round(t, rng, shared_tree, expected, shared, outbox):
    match rng.randrange(8):
        case 0:
            tree = read_string(DOCUMENT, "catalog")
            assert write_string(tree, indent=0, default_xml_def=False) == expected.canonical
            outbox.put(tree)  # dropped by the next thread
        case 1:
            assert write_string(shared_tree) == expected.pretty
        case 2:
            assert len(shared_tree.search_by_name("item")) == expected.items
            assert len(shared_tree.search(SearchType.Attr, "id")) == expected.ids
            assert len(shared_tree.search_by_text("x & y", depth=2)) == expected.notes
        case 3:
            as_dict = shared_tree.to_dict()
            assert as_dict == expected.as_dict
            outbox.put(Node.from_dict(as_dict))
        case 4:
            assert str(shared_tree) == expected.outline
            assert shared_tree.__to_string(2).startswith("  Name: catalog")
        case 5:
            mixed = Node("mixed", {"t": str(t)}, [shared_tree, shared_tree.children[t]])
            assert mixed.search_by_name("catalog") == [shared_tree]
            outbox.put(mixed)
        case 6:
            check_node_from_containers(shared)
        case 7:
            check_node_from_dict(shared)


def run(seconds):
    shared_tree = read_string(DOCUMENT, "catalog")
    expected = Expected(shared_tree)
    shared = Shared()
    inboxes = [queue.Queue() for _ in range(WORKERS)]
    errors = []
    rounds = [0] * WORKERS
    stop = threading.Event()

    def worker(t):
        rng = random.Random(t)
        try:
            while not stop.is_set():
                one_round(t, rng, shared_tree, expected, shared, inboxes[(t + 1) % WORKERS])
                rounds[t] += 1
                while not inboxes[t].empty():
                    inboxes[t].get_nowait()  # the last reference goes here
        except BaseException:
            errors.append(f"worker {t}:\n{traceback.format_exc()}")
            stop.set()

    def changer(seed):
        try:
            shared.change_forever(stop, seed)
        except BaseException:
            errors.append(f"changer {seed}:\n{traceback.format_exc()}")
            stop.set()

    threads = [threading.Thread(target=worker, args=(t,)) for t in range(WORKERS)]
    threads += [threading.Thread(target=changer, args=(seed,)) for seed in (101, 102)]
    for thread in threads:
        thread.start()
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and not errors:
        time.sleep(0.02)
    stop.set()
    for thread in threads:
        thread.join(timeout=120)
        assert not thread.is_alive(), "a thread did not finish"
    return errors, rounds, shared.changes


@pytest.fixture
def frequent_switches():
    # With the global lock, threads take turns far more often than by default,
    # so calls interleave with the changes wherever the lock can be let go.
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)
    yield
    sys.setswitchinterval(interval)


def test_workers_and_changers_share_trees_and_containers(frequent_switches):
    errors, rounds, changes = run(SECONDS)
    assert not errors, "\n".join(errors)
    assert all(rounds), rounds
    assert changes > 0
