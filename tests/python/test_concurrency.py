"""Eight threads in a ring read, search, convert, render and write trees, some shared and some
handed on to be checked and dropped by the next thread; in the concurrency run two more threads
keep changing the containers the workers pass in. `make soak` and `make tsan` run these longer."""

import ctypes
import gc
import os
import queue
import random
import sys
import threading
import time
import traceback

import pytest

from plovane import Node, SearchType, read_file, read_string, write_file, write_string

SOAK_SECONDS = float(os.environ.get("PLOVANE_SOAK_SECONDS", "5"))
SECONDS = float(os.environ.get("PLOVANE_CONCURRENCY_SECONDS", "2"))
# Allocator arenas and interpreter caches settle a little differently; a build that kept the
# child arrays of released nodes ended 40 MiB up after the default 5 s.
RSS_TOLERANCE = 16 << 20


def run_ring(seconds, one_round, receive=lambda item: None, others=()):
    """Eight workers: thread t calls one_round(t, rng) until `seconds` pass or a thread fails, and
    hands the result to thread t + 1 to receive; each of `others` runs as other(stop) meanwhile."""
    inboxes = [queue.Queue() for _ in range(8)]
    errors, rounds, stop = [], [0] * 8, threading.Event()

    def drain(t):
        while not inboxes[t].empty():
            receive(inboxes[t].get_nowait())  # the last reference goes on this thread

    def guarded(name, body):
        try:
            body()
        except BaseException:
            errors.append(f"{name}:\n{traceback.format_exc()}")
            stop.set()

    def worker(t):
        rng = random.Random(1000 + t)
        while not stop.is_set():
            drain(t)
            inboxes[(t + 1) % 8].put(one_round(t, rng))
            rounds[t] += 1

    threads = [threading.Thread(target=guarded, args=(f"worker {t}", lambda t=t: worker(t))) for t in range(8)]
    threads += [threading.Thread(target=guarded, args=("changer", lambda o=o: o(stop))) for o in others]
    for thread in threads:
        thread.start()
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and not errors:
        time.sleep(0.02)
    stop.set()
    for thread in threads:
        thread.join(timeout=120)
        assert not thread.is_alive(), "a thread did not finish"
    for t in range(8):  # what is still queued goes on this thread, which built none of it
        guarded("main", lambda t=t: drain(t))
    assert not errors, "\n".join(errors)
    assert all(rounds), rounds


class Document:
    """A test document, its file, one tree of it every thread shares, and the expected results."""

    def __init__(self, text, root, folder):
        self.text, self.root, self.path = text, root, str(folder / f"{root}.xml")
        (folder / f"{root}.xml").write_text(text, encoding="utf-8")
        self.shared = read_string(text, root)
        # One attribute an element at most: this text does not depend on attribute order.
        self.canonical = write_string(self.shared, indent=0, default_xml_def=False)
        self.as_dict, self.outline, self.counts = self.shared.to_dict(), str(self.shared), counts(self.shared)
        assert all(self.counts), self.counts


def counts(tree):
    return [len(tree.search_by_name("item")), len(tree.search(SearchType.Attr, "id")), len(tree.search_by_text("x & y"))]


@pytest.fixture(scope="module")
def documents(tmp_path_factory):
    rng, folder = random.Random(7), tmp_path_factory.mktemp("threads")
    notes = ["<note>x &amp; y</note>", "<note><![CDATA[x & y]]></note>", "<note/>"]
    catalog = "".join(f'<item id="{i}"><name>n{rng.randrange(10**6)}</name>{rng.choice(notes)}'
                      + ("<!-- a comment --><?pi data?>" if i % 7 == 0 else "") + "</item>" for i in range(1500))
    quoted = "".join(f'<item id="q{i}">"a" "b" "c" "d" "e" "f" {rng.random():.6f}</item>{notes[0]}'
                     for i in range(800))
    international = "".join(f'<item id="é{i}">données ☃ {i}{notes[0]}</item>' for i in range(600))
    return [Document(f'<?xml version="1.0"?>\n<catalog>{catalog}</catalog>', "catalog", folder),
            Document(f"<doc><quotes>{quoted}</quotes></doc>", "quotes", folder),
            Document("<top>" + '<item id="d">' * 400 + notes[0] + "</item>" * 400 + "</top>", "top", folder),
            Document(f"<racine>{international}</racine>", "racine", folder)]


def use_a_document(t, rng, documents, folder, shared_doc, shared_node):
    doc = rng.choice(documents)
    # A fresh str each round, kept alive only by the tree read from it.
    text = doc.text + f"<!-- {t} {rng.random()} -->"
    tree = read_string(text, doc.root)
    del text
    shared = read_string(shared_doc, "shared")
    assert shared.children[0].text == "x & y"
    for node in (tree, doc.shared, read_file(doc.path, doc.root)):
        assert counts(node) == doc.counts
        assert node.search(SearchType.Tag, doc.root) == [node] and node.search_by_name("item", depth=0) == []
    assert doc.shared.to_dict() == doc.as_dict
    rebuilt = Node.from_dict(doc.as_dict if rng.random() < 0.5 else tree.to_dict())
    assert str(rebuilt) == doc.outline == str(doc.shared) and repr(tree) == f"Node({doc.root})"
    indent = rng.choice([0, 1, 2, 4])
    written = write_string(rng.choice([tree, doc.shared]), indent=indent, default_xml_def=rng.random() < 0.5)
    assert write_string(read_string(written, doc.root), 0, False) == doc.canonical
    path = os.path.join(folder, f"thread{t}.xml")
    write_file(rebuilt, path, indent=indent)
    assert write_string(read_file(path, doc.root), 0, False) == doc.canonical
    # A tree made of nodes from several reads and nodes every thread shares.
    mixed = Node("mixed", {"thread": str(t)}, [shared_node, shared, tree.children[0], doc.shared])
    assert mixed.search_by_name("shared") == [shared_node, shared]
    assert mixed.search_by_name(doc.root, depth=1) == [doc.shared]
    return doc, [tree, rebuilt, mixed]


def receive(item):
    doc, trees = item
    for tree in trees[:2]:
        assert write_string(tree, indent=0, default_xml_def=False) == doc.canonical


def rss_bytes():
    gc.collect()
    try:  # free pages of the C allocator's per-thread arenas go back to the system first
        ctypes.CDLL(None).malloc_trim(0)
    except (OSError, AttributeError):
        pass
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.soak
@pytest.mark.timeout(SOAK_SECONDS * 2 + 600)
def test_eight_threads_read_convert_write_and_release(documents, tmp_path):
    # Built at run time so that they are ordinary counted objects.
    shared = ["".join(["<shared><note>x &amp; y</note></shared>", " " * 64]), Node("shared", {"k": "v"}, text="s")]

    def soak(seconds):
        run_ring(seconds, lambda t, rng: use_a_document(t, rng, documents, str(tmp_path), *shared), receive)

    soak(min(2.0, max(0.5, SOAK_SECONDS / 10)))  # warm-up
    refs, rss_before = [sys.getrefcount(x) for x in shared], rss_bytes()
    soak(SOAK_SECONDS)
    rss_after = rss_bytes()
    print(f"\nsoak: {SOAK_SECONDS:g}s; RSS {rss_before / 2**20:.1f} MiB after warm-up, {rss_after / 2**20:.1f} after")
    assert [sys.getrefcount(x) for x in shared] == refs  # every reference taken was given back
    with open("/proc/self/maps") as f:
        maps = f.read()
    # The sanitizers hold freed memory back and grow shadow memory: resident memory says
    # nothing there, and their leak checker judges leaks at exit instead.
    if not any(runtime in maps for runtime in ("libasan", "libtsan")):
        assert rss_after - rss_before < RSS_TOLERANCE, (rss_before, rss_after)


# The states the changing containers go through (a reader may also see a dict empty between
# two); the last of each is one the module must refuse.
ATTR_STATES = [{"a": "1", "b": "2"}, {"c": "3"}, {"a": "x", "d": "é ☃"}, {"bad": 1}]
KEYWORD_STATES = [{"name": "k1", "text": "t"}, {"name": "k2", "attrs": {"z": "1"}}]
TEXT_STATES = [None, "t1", "t2"]
CHILD_NAMES = ["c1", "c2", "c3"]
POOL = [Node("p0"), Node("p1", {"k": "v"}), Node("p2", text="t")]
CHILD_STATES = [[POOL[0], POOL[1]], [POOL[2]], [], [POOL[0], 5]]


class Containers:
    """The shared containers, and the changes made to them."""

    def __init__(self):
        self.attrs, self.children, self.keywords = dict(ATTR_STATES[0]), list(CHILD_STATES[0]), dict(KEYWORD_STATES[0])
        # A node dictionary whose root text, attrs, children list and child names change.
        self.child_dicts = [{"name": CHILD_NAMES[0], "attrs": {}, "children": [], "text": None} for _ in range(3)]
        self.tree_attrs, self.tree_children = dict(ATTR_STATES[0]), list(self.child_dicts)
        self.tree = {"name": "root", "attrs": self.tree_attrs, "children": self.tree_children, "text": None}
        self.changes = 0
        # One change at a time: two changers refilling one dict at once could leave it holding
        # two states merged, which is not a state the checks know.
        self.lock = threading.Lock()

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
            with self.lock:
                rng.choice(changes)()
                self.changes += 1

    def check(self):
        node = refused(lambda: Node("n", self.attrs, text="t"), "'int' object is not an instance of 'str'", "attrs")
        assert node is None or node.attrs == {} or node.attrs in ATTR_STATES[:-1], node.attrs
        node = refused(lambda: Node("n", children=self.children), "'int' object is not an instance of 'Node'",
                       "children")
        if node is not None:
            got = node.children
            assert any(len(got) == len(s) and all(a is b for a, b in zip(got, s)) for s in CHILD_STATES[:-1]), got
        node = refused(lambda: Node(**self.keywords), "Node() missing 1 required positional argument: 'name'", None)
        if node is not None:
            seen = {"name": node.name, "text": node.text, "attrs": node.attrs}
            assert {k: v for k, v in seen.items() if v} in KEYWORD_STATES, seen
        node = refused(lambda: Node.from_dict(self.tree), "failed to extract enum HashmapTypes", "dict_")
        if node is not None:
            assert node.name == "root" and node.text in TEXT_STATES and len(node.children) <= 3
            assert node.attrs == {} or node.attrs in ATTR_STATES[:-1], node.attrs
            for child in node.children:
                assert (child.name in CHILD_NAMES, child.attrs, child.children, child.text) == (True, {}, [], None)


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


@pytest.fixture
def frequent_switches():
    # With the global lock, threads take turns far more often than by default, so calls
    # interleave with the changes wherever the lock can be let go.
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)
    yield
    sys.setswitchinterval(interval)


def test_workers_and_changers_share_trees_and_containers(documents, tmp_path, frequent_switches):
    containers, shared = Containers(), ["<shared><note>x &amp; y</note></shared>", Node("shared")]

    def one_round(t, rng):
        if rng.random() < 0.5:
            return containers.check()
        return use_a_document(t, rng, documents, str(tmp_path), *shared)

    changers = [lambda stop, seed=seed: containers.change_forever(stop, seed) for seed in (101, 102)]
    run_ring(SECONDS, one_round, lambda item: item and receive(item), changers)
    assert containers.changes > 0
