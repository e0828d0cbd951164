"""Thread soak: eight threads read, search, convert and write at once, and drop trees on other
threads than the ones that built them, for PLOVANE_SOAK_SECONDS (default 5; `make soak` runs
long). It must end without an error in any thread, with the reference counts of the objects
every thread shared back where they started, and resident memory back near its level after a
warm-up."""

import ctypes
import gc
import os
import random
import sys

import pytest

from plovane import Node, SearchType, read_file, read_string, write_file, write_string

from ring import run_ring

THREADS = 8
SECONDS = float(os.environ.get("PLOVANE_SOAK_SECONDS", "5"))
WARM_UP_SECONDS = min(2.0, max(0.5, SECONDS / 10))
# Allocator arenas and interpreter caches settle a little differently; a build that kept the
# child arrays of released nodes ended 40 MiB up after the default 5 s.
RSS_TOLERANCE = 16 << 20

pytestmark = pytest.mark.soak


def documents_text(rng):
    """(text, root) pairs: entities (decoded text) next to document spans, CDATA kept and
    comments dropped; many quotes a '<' (the bitmap strategy); deep nesting; non-ASCII."""
    notes = ["<note>x &amp; y</note>", "<note><![CDATA[x & y]]></note>", "<note/>"]
    catalog = "".join(f'<item id="{i}"><name>n{rng.randrange(10**6)}</name>{rng.choice(notes)}'
                      + ("<!-- a comment --><?pi data?>" if i % 7 == 0 else "") + "</item>" for i in range(1500))
    quoted = "".join(f'<item id="q{i}">"a" "b" "c" "d" "e" "f" {rng.random():.6f}</item>{notes[0]}'
                     for i in range(800))
    international = "".join(f'<item id="é{i}">données ☃ {i}{notes[0]}</item>' for i in range(600))
    return [(f'<?xml version="1.0"?>\n<catalog>{catalog}</catalog>', "catalog"),
            (f"<doc><quotes>{quoted}</quotes></doc>", "quotes"),
            ("<top>" + '<item id="d">' * 400 + notes[0] + "</item>" * 400 + "</top>", "top"),
            (f"<racine>{international}</racine>", "racine")]


class Document:
    """One test document with everything a thread checks its results against."""

    def __init__(self, text, root, path):
        self.text, self.root, self.path = text, root, path
        tree = read_string(text, root)
        # One attribute an element at most: this text does not depend on attribute order.
        self.canonical = write_string(tree, indent=0, default_xml_def=False)
        self.as_dict, self.outline = tree.to_dict(), str(tree)
        self.counts = counts(tree)
        assert all(self.counts), self.counts


def counts(tree):
    return [len(tree.search_by_name("item")), len(tree.search_by_attr("id")), len(tree.search_by_text("x & y"))]


@pytest.fixture(scope="module")
def documents(tmp_path_factory):
    folder = tmp_path_factory.mktemp("soak")
    made = []
    for text, root in documents_text(random.Random(7)):
        (folder / f"{root}.xml").write_text(text, encoding="utf-8")
        made.append(Document(text, root, str(folder / f"{root}.xml")))
    return made


def rss_bytes():
    gc.collect()
    try:  # free pages of the C allocator's per-thread arenas go back to the system first
        ctypes.CDLL(None).malloc_trim(0)
    except (OSError, AttributeError):
        pass
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def under_sanitizer():
    # The sanitizers hold freed memory back and grow shadow memory: resident memory says
    # nothing there, and the leak checker judges leaks at exit instead.
    with open("/proc/self/maps") as f:
        maps = f.read()
    return "libasan" in maps or "libtsan" in maps


def soak(documents, folder, shared_doc, shared_node, seconds):
    def one_round(t, rng):
        doc = rng.choice(documents)
        # A fresh str each round, kept alive only by the tree read from it.
        text = doc.text + f"<!-- {t} {rng.random()} -->"
        tree = read_string(text, doc.root)
        del text
        from_file = read_file(doc.path, doc.root)
        shared = read_string(shared_doc, "shared")
        assert shared.children[0].text == "x & y"
        for node in (tree, from_file):
            assert counts(node) == doc.counts
            assert node.search(SearchType.Tag, doc.root) == [node] and node.search_by_name("item", depth=0) == []
        as_dict = from_file.to_dict()
        assert as_dict == doc.as_dict
        rebuilt = Node.from_dict(as_dict)
        assert str(rebuilt) == doc.outline and repr(tree) == f"Node({doc.root})"
        indent = rng.choice([0, 1, 2, 4])
        written = write_string(tree, indent=indent, default_xml_def=rng.random() < 0.5)
        assert write_string(read_string(written, doc.root), 0, False) == doc.canonical
        path = os.path.join(folder, f"thread{t}.xml")
        write_file(rebuilt, path, indent=indent)
        assert write_string(read_file(path, doc.root), 0, False) == doc.canonical
        # A tree made of nodes from several reads and one node every thread shares.
        mixed = Node("mixed", {"thread": str(t)}, [shared_node, shared, tree.children[0]])
        assert mixed.search_by_name("shared") == [shared_node, shared]
        return doc, [tree, from_file, rebuilt]

    handed_over = []

    def receive(t, item):
        doc, trees = item
        for tree in trees:  # used here, then released here
            assert write_string(tree, indent=0, default_xml_def=False) == doc.canonical
        handed_over.append(t)

    errors, rounds = run_ring(THREADS, seconds, one_round, receive)
    assert not errors, "\n".join(errors)
    assert all(rounds) and len(handed_over) == sum(rounds), (rounds, len(handed_over))
    return sum(rounds)


def test_eight_threads_read_convert_write_and_release(documents, tmp_path):
    # Built at run time so that they are ordinary counted objects.
    shared_doc = "".join(["<shared><note>x &amp; y</note></shared>", " " * 64])
    shared_node = Node("shared", {"k": "v"}, text="s")
    soak(documents, str(tmp_path), shared_doc, shared_node, WARM_UP_SECONDS)
    refs, rss_before = (sys.getrefcount(shared_doc), sys.getrefcount(shared_node)), rss_bytes()
    rounds = soak(documents, str(tmp_path), shared_doc, shared_node, SECONDS)
    rss_after = rss_bytes()
    print(f"\nsoak: {THREADS} threads, {SECONDS:g}s, {rounds} rounds; "
          f"RSS {rss_before / 2**20:.1f} MiB after warm-up, {rss_after / 2**20:.1f} MiB after the run")
    # Every reference the threads took on the shared objects was given back.
    assert (sys.getrefcount(shared_doc), sys.getrefcount(shared_node)) == refs
    if not under_sanitizer():
        assert rss_after - rss_before < RSS_TOLERANCE, (rss_before, rss_after)
