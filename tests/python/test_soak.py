"""Thread soak: eight threads read, search, convert and write at once, and
drop trees on other threads than the ones that built them.

The run lasts PLOVANE_SOAK_SECONDS (default 5; `make soak` sets a long run).
It must end without an error in any thread, with the reference counts of
the objects every thread shared back where they started, and with the
process's resident memory back near its level after a warm-up.
"""

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

THREADS = 8
SECONDS = float(os.environ.get("PLOVANE_SOAK_SECONDS", "5"))
WARM_UP_SECONDS = min(2.0, max(0.5, SECONDS / 10))
# Resident memory may settle a little differently after the run (allocator
# arenas, interpreter caches). A build that kept the child arrays of released
# nodes ended 40 MiB up after the default 5 s.
RSS_TOLERANCE = 16 << 20

pytestmark = pytest.mark.soak


def catalog(rng):
    # Entities give decoded (owned) text next to spans of the document; CDATA
    # content is kept as text, comments and processing instructions dropped.
    parts = ['<?xml version="1.0"?>\n<catalog>']
    for i in range(1500):
        note = rng.choice(["<note>x &amp; y</note>", "<note><![CDATA[x & y]]></note>", "<note/>"])
        extra = "<!-- a comment --><?pi data?>" if i % 7 == 0 else ""
        parts.append(f'<item id="{i}"><name>n{rng.randrange(10**6)}</name>{note}{extra}</item>')
    return "".join(parts) + "</catalog>", "catalog"


def quoted(rng):
    # Many double quotes per "<" send the reader down the bitmap strategy.
    items = [f'<item id="q{i}">"a" "b" "c" "d" "e" "f" {rng.random():.6f}</item><note>x &amp; y</note>'
             for i in range(800)]
    return "<doc><quotes>" + "".join(items) + "</quotes></doc>", "quotes"


def nested(rng):
    return "<top>" + '<item id="d">' * 400 + "<note>x &amp; y</note>" + "</item>" * 400 + "</top>", "top"


def international(rng):
    items = [f'<item id="é{i}">données ☃ {i}<note>x &amp; y</note></item>' for i in range(600)]
    return "<racine>" + "".join(items) + "</racine>", "racine"


class Document:
    """One test document with everything a thread checks its results against."""

    def __init__(self, text, root, path):
        self.text, self.root, self.path = text, root, path
        tree = read_string(text, root)
        # Elements carry at most one attribute, so this text does not depend
        # on the randomly seeded attribute order of a particular read.
        self.canonical = write_string(tree, indent=0, default_xml_def=False)
        self.as_dict = tree.to_dict()
        self.outline = str(tree)
        self.counts = [len(tree.search_by_name("item")), len(tree.search_by_attr("id")),
                       len(tree.search_by_text("x & y"))]
        assert all(self.counts), self.counts


@pytest.fixture(scope="module")
def documents(tmp_path_factory):
    rng = random.Random(7)
    folder = tmp_path_factory.mktemp("soak")
    made = []
    for make in (catalog, quoted, nested, international):
        text, root = make(rng)
        path = folder / f"{root}.xml"
        path.write_text(text, encoding="utf-8")
        made.append(Document(text, root, str(path)))
    return made


def rss_bytes():
    gc.collect()
    # Free pages held in the C allocator's per-thread arenas go back to the
    # system first, so that what remains is memory still in use.
    try:
        ctypes.CDLL(None).malloc_trim(0)
    except (OSError, AttributeError):
        pass
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def under_sanitizer():
    # AddressSanitizer's quarantine holds freed memory back on purpose, and
    # ThreadSanitizer keeps shadow memory and histories that grow, so resident
    # memory says nothing there; the leak checker judges leaks at exit instead.
    with open("/proc/self/maps") as f:
        maps = f.read()
    return "libasan" in maps or "libtsan" in maps


class Soak:
    """Eight workers in a ring: each hands what it built to the next one,
    which checks it and drops it."""

    def __init__(self, documents, folder, shared_doc, shared_node):
        self.documents, self.folder = documents, folder
        self.shared_doc, self.shared_node = shared_doc, shared_node
        self.inboxes = [queue.Queue(maxsize=64) for _ in range(THREADS)]
        self.errors = []
        self.iterations = [0] * THREADS
        self.handed_over = [0] * THREADS

    def run(self, seconds):
        stop = threading.Event()
        threads = [threading.Thread(target=self.worker, args=(t, stop)) for t in range(THREADS)]
        for t in threads:
            t.start()
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline and not self.errors:
            time.sleep(0.05)
        stop.set()
        for t in threads:
            t.join(timeout=120)
            assert not t.is_alive(), "a soak thread did not finish"
        # What is still queued goes on this thread, which built none of it.
        for t, inbox in enumerate(self.inboxes):
            self.receive(t, inbox)

    def worker(self, t, stop):
        rng = random.Random(1000 + t)
        write_path = os.path.join(self.folder, f"thread{t}.xml")
        try:
            while not stop.is_set():
                self.receive(t, self.inboxes[t])
                self.inboxes[(t + 1) % THREADS].put(self.one_round(t, rng, write_path), timeout=60)
                self.iterations[t] += 1
        except BaseException:
            self.errors.append(f"thread {t}:\n{traceback.format_exc()}")
            stop.set()

    def receive(self, t, inbox):
        while True:
            try:
                doc, trees = inbox.get_nowait()
            except queue.Empty:
                return
            # Used here, then released here: the last references go on this thread.
            for tree in trees:
                assert write_string(tree, indent=0, default_xml_def=False) == doc.canonical
            self.handed_over[t] += 1
            del trees

    def one_round(self, t, rng, write_path):
        doc = rng.choice(self.documents)
        # A fresh str each round, kept alive only by the tree read from it.
        text = doc.text + f"<!-- {t} {rng.random()} -->"
        tree = read_string(text, doc.root)
        del text
        from_file = read_file(doc.path, doc.root)
        shared = read_string(self.shared_doc, "shared")
        assert shared.children[0].text == "x & y"
        for node in (tree, from_file):
            assert [len(node.search_by_name("item")), len(node.search_by_attr("id")),
                    len(node.search_by_text("x & y"))] == doc.counts
            assert node.search(SearchType.Tag, doc.root) == [node]
            assert node.search_by_name("item", depth=0) == []
        as_dict = from_file.to_dict()
        assert as_dict == doc.as_dict
        rebuilt = Node.from_dict(as_dict)
        assert str(rebuilt) == doc.outline
        assert repr(tree) == f"Node({doc.root})"
        indent = rng.choice([0, 1, 2, 4])
        written = write_string(tree, indent=indent, default_xml_def=rng.random() < 0.5)
        assert write_string(read_string(written, doc.root), 0, False) == doc.canonical
        write_file(rebuilt, write_path, indent=indent)
        assert write_string(read_file(write_path, doc.root), 0, False) == doc.canonical
        # A tree made of nodes from several reads and one node every thread shares.
        mixed = Node("mixed", {"thread": str(t)}, [self.shared_node, shared, tree.children[0]])
        assert mixed.search_by_name("shared") == [self.shared_node, shared]
        return doc, [tree, from_file, rebuilt]


def test_eight_threads_read_convert_write_and_release(documents, tmp_path):
    # Built at run time so that it is an ordinary counted object.
    shared_doc = "".join(["<shared><note>x &amp; y</note></shared>", " " * 64])
    shared_node = Node("shared", {"k": "v"}, text="s")
    soak = Soak(documents, str(tmp_path), shared_doc, shared_node)
    soak.run(WARM_UP_SECONDS)
    assert not soak.errors, "\n".join(soak.errors)
    doc_refs, node_refs = sys.getrefcount(shared_doc), sys.getrefcount(shared_node)
    rss_before = rss_bytes()

    soak = Soak(documents, str(tmp_path), shared_doc, shared_node)
    soak.run(SECONDS)
    assert not soak.errors, "\n".join(soak.errors)
    rss_after = rss_bytes()
    rounds = sum(soak.iterations)
    print(f"\nsoak: {THREADS} threads, {SECONDS:g}s, {rounds} rounds, {sum(soak.handed_over)} handed over; "
          f"RSS {rss_before / 2**20:.1f} MiB after warm-up, {rss_after / 2**20:.1f} MiB after the run")
    assert all(soak.iterations), soak.iterations
    assert sum(soak.handed_over) == rounds
    # Every reference the threads took on the shared objects was given back.
    assert (sys.getrefcount(shared_doc), sys.getrefcount(shared_node)) == (doc_refs, node_refs)
    if not under_sanitizer():
        assert rss_after - rss_before < RSS_TOLERANCE, (rss_before, rss_after)
