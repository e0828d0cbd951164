"""Hostile input and resource faults: a structure that contains itself, memory
running out, signals during long walks and blocking system calls, and outputs
too large to hold. Each must end in a clean Python exception and leave the
interpreter usable.

Cases that would take the whole process down if they failed (an abort, memory
exhausted, a call that never returns) run in a child interpreter, under an
address-space limit and a timeout, which prints what it caught.
"""

import inspect
import os
import subprocess
import sys
import textwrap

import pytest

from plovane import Node, read_string, write_file, write_string

pytestmark = pytest.mark.skipif(sys.platform != "linux", reason="uses /proc, FIFOs and rlimits")

# A child that has not finished by then ignored the signal meant to stop it.
CHILD_TIMEOUT = 120


def _under_address_sanitizer():
    with open("/proc/self/maps") as f:
        return "libasan" in f.read()


# The sanitizer's allocator maps its memory its own way and ends the process
# when a mapping fails: an address-space limit only tests the sanitizer there.
needs_memory_limit = pytest.mark.skipif(
    sys.platform == "linux" and _under_address_sanitizer(),
    reason="address-space limits do not work under AddressSanitizer")

PRELUDE = '''
import os, resource, signal, sys, threading, time
import plovane
from plovane import Node, SearchType, read_file, read_string, write_file, write_string

def limit_memory(headroom):
    """Allows the address space in use now and `headroom` bytes more (a
    safety net only, left out under the address sanitizer)."""
    with open("/proc/self/maps") as maps:
        if "libasan" in maps.read():
            return
    with open("/proc/self/status") as status:
        used = next(int(line.split()[1]) * 1024 for line in status if line.startswith("VmSize:"))
    resource.setrlimit(resource.RLIMIT_AS, (used + headroom, resource.RLIM_INFINITY))

def shared_graph(levels):
    """A node whose two children are one node, `levels` deep: 2**levels paths."""
    node = Node("x")
    for _ in range(levels):
        node = Node("x", children=[node, node])
    return node

def shared_dict(levels):
    """The same as node dictionaries: one dict twice in each children list."""
    d = {"name": "x", "attrs": {}, "children": []}
    for _ in range(levels):
        d = {"name": "x", "attrs": {}, "children": [d, d]}
    return d

def still_usable():
    assert read_string("<r><a/></r>", "r").children[0].name == "a"
    print("usable")
'''


def run_child(body):
    """Runs PRELUDE and `body` in a fresh interpreter; returns its output lines."""
    code = PRELUDE + textwrap.dedent(body)
    try:
        done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                              timeout=CHILD_TIMEOUT)
    except subprocess.TimeoutExpired:
        pytest.fail(f"the child did not finish within {CHILD_TIMEOUT} s")
    assert done.returncode == 0, f"child exited with {done.returncode}:\n{done.stderr[-3000:]}"
    return done.stdout.split()


# ---- a node dictionary that contains itself --------------------------------

def _in_own_children():
    d = {"name": "a", "attrs": {}}
    d["children"] = [d]
    return d


def _through_a_tuple():
    d = {"name": "a", "attrs": {}}
    d["children"] = (d,)
    return d


def _three_levels_round():
    a = {"name": "a", "attrs": {}}
    b = {"name": "b", "attrs": {}}
    c = {"name": "c", "attrs": {}, "children": [a]}
    b["children"] = [c]
    a["children"] = [{"name": "leaf", "attrs": {}, "children": []}, b]
    return a


def _list_holding_its_own_parent():
    items = []
    items.append({"name": "a", "attrs": {}, "children": items})
    return {"name": "r", "attrs": {}, "children": items}


def _under_another_key():
    d = {"name": "a", "attrs": {}, "children": []}
    d["other"] = [d]
    return d


def _far_below():
    top = {"name": "top", "attrs": {}}
    d = top
    for _ in range(100_000):
        child = {"name": "n", "attrs": {}}
        d["children"] = [child]
        d = child
    d["children"] = [top]
    return top


CYCLES = {
    "in its own children": _in_own_children,
    "through a tuple": _through_a_tuple,
    "three levels round": _three_levels_round,
    "a list holding its own parent": _list_holding_its_own_parent,
    "under a key that is not read": _under_another_key,
    "100,000 levels below": _far_below,
}


@pytest.mark.parametrize("shape", list(CYCLES))
def test_a_dictionary_that_contains_itself_raises_value_error(shape):
    # Before, the conversion grew without end until the process aborted.
    make = CYCLES[shape]
    lines = run_child(f"""
        limit_memory(1 << 30)
        exec({inspect.getsource(make)!r})
        d = {make.__name__}()
        try:
            Node.from_dict(d)
            print("finished")
        except ValueError as e:
            print(type(e).__name__, "contains-itself" if "contains itself" in str(e) else str(e))
        still_usable()
    """)
    assert lines == ["ValueError", "contains-itself", "usable"]


def test_a_shared_but_acyclic_dictionary_converts_at_each_place():
    leaf = {"name": "leaf", "attrs": {"k": "v"}, "children": [], "text": "t"}
    d = leaf
    for level in range(10):
        d = {"name": f"l{level}", "attrs": {}, "children": [d, d]}
    node = Node.from_dict({"name": "r", "attrs": {}, "children": [d, leaf, leaf]})
    found = node.search_by_name("leaf")
    assert len(found) == 2**10 + 2
    assert all(n.attrs == {"k": "v"} and n.text == "t" for n in found)


# ---- signals during long walks ---------------------------------------------

# Each call walks 2**40 paths: it would not end for hours, or would run out of
# memory first, unless the walk notices the signal.
LONG_WALKS = {
    "to_dict": "graph.to_dict()",
    "search_by_name": "graph.search_by_name('absent')",
    "search": "graph.search(SearchType.Attr, 'absent')",
    "str": "str(graph)",
    "__to_string": "getattr(graph, '__to_string')(2)",
    "write_string": "write_string(graph)",
    "write_file": "write_file(graph, os.devnull)",
    "from_dict": "Node.from_dict(shared_dict(40))",
}


@pytest.mark.parametrize("call", list(LONG_WALKS))
def test_a_signal_handler_that_raises_stops_a_long_walk(call):
    lines = run_child(f"""
        class Stop(Exception):
            pass
        def on_alarm(*_):
            raise Stop
        graph = shared_graph(40)
        limit_memory(2 << 30)
        signal.signal(signal.SIGALRM, on_alarm)
        signal.setitimer(signal.ITIMER_REAL, 0.2)
        try:
            {LONG_WALKS[call]}
            print("finished")
        except Stop:
            print("stopped")
        signal.setitimer(signal.ITIMER_REAL, 0)
        still_usable()
    """)
    assert lines == ["stopped", "usable"]


def test_to_dict_results_are_seen_by_the_collector():
    # The conversion keeps its containers from the collector while it runs
    # (collections due at a signal check would scan them over and over); the
    # result must be tracked again, or a cycle made from it would never be
    # freed.
    import gc
    import weakref

    leaf = Node("leaf")
    tree = Node("r", children=[Node("m", children=[leaf] * 3)] * 40_000)
    d = tree.to_dict()
    middle = d["children"][-1]
    assert all(gc.is_tracked(x) for x in (d, d["children"], middle, middle["children"]))

    class Marker:
        pass

    middle["children"].append(middle)
    middle["marker"] = Marker()
    alive = weakref.ref(middle["marker"])
    del d, middle
    gc.collect()
    assert alive() is None


# ---- running out of memory --------------------------------------------------

# (setup, call, object whose reference count must not change, headroom in MiB)
OUT_OF_MEMORY = {
    "read_string, ASCII": (
        "doc = '<r>' + '<a>t</a>' * 8_000_000 + '</r>'", "read_string(doc, 'r')", "doc", 256),
    "read_string, one byte a character": (
        "doc = '<r>' + '<a>\\xe9</a>' * 8_000_000 + '</r>'", "read_string(doc, 'r')", "doc", 256),
    "read_string, two bytes a character": (
        "doc = '<r>' + '<a>\\u20ac</a>' * 8_000_000 + '</r>'", "read_string(doc, 'r')", "doc", 256),
    "read_string, the encoder's buffer": (
        "doc = '<r>' + '\\u20ac' * 50_000_000 + '</r>'", "read_string(doc, 'r')", "doc", 64),
    "write_string": ("graph = shared_graph(27)", "write_string(graph)", "graph", 256),
    "write_file": ("graph = shared_graph(27)", "write_file(graph, path)", "graph", 256),
    "search_by_name": ("graph = shared_graph(27)", "graph.search_by_name('x')", "graph", 256),
    "str": ("graph = shared_graph(27)", "str(graph)", "graph", 256),
    "to_dict": ("graph = shared_graph(27)", "graph.to_dict()", "graph", 128),
    "from_dict": ("d = shared_dict(27)", "Node.from_dict(d)", "d", 256),
    "Node(children=...)": (
        "leaf = Node('leaf'); kids = [leaf] * 40_000_000", "Node('r', children=kids)", "leaf", 128),
}


@needs_memory_limit
@pytest.mark.parametrize("case", list(OUT_OF_MEMORY))
def test_running_out_of_memory_raises_memory_error(case, tmp_path):
    setup, call, kept, headroom = OUT_OF_MEMORY[case]
    path = tmp_path / "out.xml"
    lines = run_child(f"""
        path = {str(path)!r}
        {setup}
        before = sys.getrefcount({kept})
        limit_memory({headroom} << 20)
        try:
            {call}
            print("finished")
        except MemoryError:
            print("MemoryError")
        print("refs", sys.getrefcount({kept}) - before)
        still_usable()
    """)
    assert lines == ["MemoryError", "refs", "0", "usable"]
    # The layout failed before the file was opened.
    assert not path.exists()


# ---- signals during blocking system calls ----------------------------------

FIFO_CALLS = {
    "read_file, no writer": "read_file(fifo, 'r')",
    "write_file, no reader": "write_file(Node('r'), fifo)",
}


@pytest.mark.parametrize("call", list(FIFO_CALLS))
def test_a_signal_handler_that_raises_interrupts_a_blocked_call(call, tmp_path):
    # Opening a FIFO blocks until the other end is opened, which never happens.
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    lines = run_child(f"""
        fifo = {str(fifo)!r}
        class Stop(Exception):
            pass
        def on_alarm(*_):
            raise Stop
        signal.signal(signal.SIGALRM, on_alarm)
        signal.setitimer(signal.ITIMER_REAL, 0.2)
        try:
            {FIFO_CALLS[call]}
            print("finished")
        except Stop:
            print("stopped")
        still_usable()
    """)
    assert lines == ["stopped", "usable"]


# The other end is opened late by a thread that never takes the signal, so
# the main thread's call is interrupted again and again meanwhile.
FIFO_PEERS = {
    "read_file": (
        "with open(fifo, 'w') as f: f.write('<r><a/></r>')",
        "print(read_file(fifo, 'r').children[0].name)", "a"),
    "write_file": (
        "with open(fifo) as f: print(f.read().count('<a/>'))",
        "write_file(Node('r', children=[Node('a')] * 3), fifo)", "3"),
}


@pytest.mark.parametrize("call", list(FIFO_PEERS))
def test_a_signal_handler_that_returns_lets_a_blocked_call_go_on(call, tmp_path):
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    peer, main, expected = FIFO_PEERS[call]
    lines = run_child(f"""
        fifo = {str(fifo)!r}
        calls = []
        signal.signal(signal.SIGALRM, lambda *_: calls.append(1))
        def peer():
            signal.pthread_sigmask(signal.SIG_BLOCK, {{signal.SIGALRM}})
            time.sleep(0.5)
            {peer}
        thread = threading.Thread(target=peer)
        thread.start()
        signal.setitimer(signal.ITIMER_REAL, 0.05, 0.05)
        {main}
        signal.setitimer(signal.ITIMER_REAL, 0)
        thread.join()
        print("handled" if calls else "never-handled")
    """)
    assert lines == [expected, "handled"]


# ---- outputs too large to hold ---------------------------------------------

@pytest.fixture(scope="module")
def million_deep():
    node = Node("n")
    for _ in range(1_000_000):
        node = Node("n", children=[node])
    return node


def test_default_indent_on_a_million_deep_chain_is_a_memory_error_without_blame(million_deep):
    # Four spaces a level: 4e12 bytes of indentation, more than any machine's
    # memory. The caller passed no indent, so the note does not name it.
    with pytest.raises(MemoryError) as caught:
        write_string(million_deep)
    assert "4000000000000 bytes of indentation" in str(caught.value)
    assert getattr(caught.value, "__notes__", []) == []


SMALL = Node("a", children=[Node("b")])


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda deep, path: write_string(deep, indent=4), MemoryError),
        (lambda deep, path: write_string(SMALL, 2**62), MemoryError),
        (lambda deep, path: write_string(SMALL, indent=2**63), OverflowError),
        (lambda deep, path: write_file(deep, path, indent=2**63), OverflowError),
        (lambda deep, path: write_file(SMALL, path, 2**63), OverflowError),
        (lambda deep, path: write_file(deep, path, 2**40), OverflowError),
    ],
    ids=["write_string deep indent=4", "write_string 2**62", "write_string 2**63",
         "write_file deep 2**63", "write_file 2**63", "write_file deep 2**40"],
)
def test_a_passed_indent_too_large_is_named(million_deep, tmp_path, call, error):
    # More than memory holds is a MemoryError for write_string; more than
    # any str or file may hold is an OverflowError, before the file is made.
    path = tmp_path / "never.xml"
    with pytest.raises(error) as caught:
        call(million_deep, str(path))
    assert caught.value.__notes__ == ["while processing 'indent'"]
    assert not path.exists()


def test_write_file_is_not_bound_by_memory():
    # 2**62 bytes of indentation fit no machine's memory but are a size a file
    # may have: write_file begins, and the device's own limit ends it.
    if not os.path.exists("/dev/full"):
        pytest.skip("no /dev/full")
    with pytest.raises(OSError) as caught:
        write_file(Node("a", children=[Node("b")]), "/dev/full", indent=2**62)
    assert "No space left on device" in str(caught.value)


@needs_memory_limit
def test_a_chain_40000_deep_is_written_as_far_as_memory_allows():
    # 6.4e9 bytes of indentation: more than the child may allocate, less than
    # the machine has, so the write is tried and fails only when memory does.
    lines = run_child("""
        node = Node("n")
        for _ in range(40_000):
            node = Node("n", children=[node])
        assert write_string(node, indent=0, default_xml_def=False).count("<n>") == 40_000
        limit_memory(512 << 20)
        try:
            write_string(node)
            print("finished")
        except MemoryError as e:
            print("MemoryError", "notes" if getattr(e, "__notes__", None) else "no-notes")
        still_usable()
    """)
    assert lines == ["MemoryError", "no-notes", "usable"]
