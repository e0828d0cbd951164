"""Resource faults: a structure that contains itself, memory running out,
signals during long walks and blocking system calls, and outputs too large
to hold. Each must end in a clean Python exception and leave the interpreter
usable. Cases that would take the process down if they failed run in a child
interpreter, under an address-space limit and a timeout."""

import gc
import os
import subprocess
import sys
import textwrap
import weakref

import pytest

from plovane import Node, write_file, write_string

from strategies import chain

pytestmark = pytest.mark.skipif(sys.platform != "linux", reason="uses /proc, FIFOs and rlimits")

CHILD_TIMEOUT = 120  # a child still running then ignored the signal meant to stop it

with open("/proc/self/maps") as _maps:
    # The sanitizer's allocator ends the process when a mapping fails: an
    # address-space limit would only test the sanitizer.
    needs_memory_limit = pytest.mark.skipif("libasan" in _maps.read(), reason="rlimits under AddressSanitizer")

PRELUDE = '''
import os, resource, signal, sys, threading, time
from plovane import Node, SearchType, read_file, read_string, write_file, write_string

def limit_memory(headroom):
    with open("/proc/self/maps") as maps:
        if "libasan" in maps.read():
            return
    with open("/proc/self/status") as status:
        used = next(int(line.split()[1]) * 1024 for line in status if line.startswith("VmSize:"))
    resource.setrlimit(resource.RLIMIT_AS, (used + headroom, resource.RLIM_INFINITY))

def shared_graph(levels):  # one node twice in each children list: 2**levels paths
    node = Node("x")
    for _ in range(levels):
        node = Node("x", children=[node, node])
    return node

def shared_dict(levels):
    d = {"name": "x", "attrs": {}, "children": []}
    for _ in range(levels):
        d = {"name": "x", "attrs": {}, "children": [d, d]}
    return d

class Stop(Exception):
    pass

def stop_after(seconds):
    def on_alarm(*_):
        raise Stop
    signal.signal(signal.SIGALRM, on_alarm)
    signal.setitimer(signal.ITIMER_REAL, seconds)
'''

ATTEMPT = '''
{setup}
kept = {kept}
before = sys.getrefcount(kept)
limit_memory({headroom} << 20)
try:
    {call}
    print("finished")
except {error} as e:
    print(type(e).__name__, len(getattr(e, "__notes__", [])), "_".join(str(e).split()) or "-")
signal.setitimer(signal.ITIMER_REAL, 0)
print("refs", sys.getrefcount(kept) - before)
assert read_string("<r><a/></r>", "r").children[0].name == "a"
'''


def run_child(code):
    try:
        done = subprocess.run([sys.executable, "-c", PRELUDE + textwrap.dedent(code)], capture_output=True,
                              text=True, timeout=CHILD_TIMEOUT)
    except subprocess.TimeoutExpired:
        pytest.fail(f"the child did not finish within {CHILD_TIMEOUT} s")
    assert done.returncode == 0, f"child exited with {done.returncode}:\n{done.stderr[-3000:]}"
    return done.stdout.split()


def attempt(setup, call, error, headroom=1024, kept="None"):
    """Runs `call` in a child; returns (exception name, note count, message, change of kept's refcount)."""
    lines = run_child(ATTEMPT.format(setup=textwrap.dedent(setup), kept=kept, headroom=headroom, call=call,
                                     error=error))
    assert lines[-2] == "refs" and len(lines) == 5, lines
    return lines[0], int(lines[1]), lines[2].replace("_", " "), int(lines[-1])


CYCLES = {
    "in its own children": "d = {'name': 'a', 'attrs': {}}; d['children'] = [d]",
    "a list holding its own parent": """
        items = []
        items.append({'name': 'a', 'attrs': {}, 'children': items})
        d = {'name': 'r', 'attrs': {}, 'children': items}""",
    "under a key that is not read": "d = {'name': 'a', 'attrs': {}, 'children': []}; d['other'] = [d]",
    "100,000 levels below": """
        d = bottom = {'name': 'top', 'attrs': {}}
        for _ in range(100_000):
            bottom['children'] = [{'name': 'n', 'attrs': {}}]
            bottom = bottom['children'][0]
        bottom['children'] = [d]""",
}


@pytest.mark.parametrize("shape", list(CYCLES))
def test_a_dictionary_that_contains_itself_raises_value_error(shape):
    # Before, the conversion grew without end until the process aborted.
    name, _, message, _ = attempt(CYCLES[shape], "Node.from_dict(d)", "ValueError", kept="d")
    assert (name, "contains itself" in message) == ("ValueError", True), message


def test_a_shared_but_acyclic_dictionary_converts_at_each_place():
    d = leaf = {"name": "leaf", "attrs": {"k": "v"}, "children": [], "text": "t"}
    for level in range(10):
        d = {"name": f"l{level}", "attrs": {}, "children": [d, d]}
    found = Node.from_dict({"name": "r", "attrs": {}, "children": [d, leaf, leaf]}).search_by_name("leaf")
    assert len(found) == 2**10 + 2 and all(n.attrs == {"k": "v"} and n.text == "t" for n in found)


# Each walks 2**40 paths: hours, or memory exhausted, unless the walk notices the signal.
LONG_WALKS = ["graph.to_dict()", "graph.search_by_name('absent')", "graph.search(SearchType.Attr, 'absent')",
              "str(graph)", "getattr(graph, '__to_string')(2)", "write_string(graph)",
              "write_file(graph, os.devnull)", "Node.from_dict(shared_dict(40))"]


@pytest.mark.parametrize("call", LONG_WALKS)
def test_a_signal_handler_that_raises_stops_a_long_walk(call):
    setup = "graph = shared_graph(40); stop_after(0.2)"
    assert attempt(setup, call, "Stop", headroom=2048, kept="graph")[::3] == ("Stop", 0)


def test_to_dict_results_are_seen_by_the_collector():
    # The conversion keeps its containers from the collector while it runs; the
    # result must be tracked again, or a cycle made from it would never be freed.
    tree = Node("r", children=[Node("m", children=[Node("leaf")] * 3)] * 40_000)
    d = tree.to_dict()
    middle = d["children"][-1]
    assert all(gc.is_tracked(x) for x in (d, d["children"], middle, middle["children"]))
    middle["children"].append(middle)
    middle["marker"] = type("Marker", (), {})()
    alive = weakref.ref(middle["marker"])
    del d, middle
    gc.collect()
    assert alive() is None


# case: (setup, call, object whose reference count must not change, headroom in MiB)
OUT_OF_MEMORY = {
    **{f"read_string, {kind}": (f"doc = '<r>' + '<a>{char}</a>' * 8_000_000 + '</r>'", "read_string(doc, 'r')", "doc",
                                256) for kind, char in [("ASCII", "t"), ("one byte a character", "\\xe9"),
                                                        ("two bytes a character", "\\u20ac")]},
    "read_string, the encoder's buffer": (
        "doc = '<r>' + '\\u20ac' * 50_000_000 + '</r>'", "read_string(doc, 'r')", "doc", 64),
    **{name: ("graph = shared_graph(27)", call, "graph", headroom) for name, call, headroom in [
        ("write_string", "write_string(graph)", 256), ("write_file", "write_file(graph, path)", 256),
        ("search_by_name", "graph.search_by_name('x')", 256), ("str", "str(graph)", 256),
        ("to_dict", "graph.to_dict()", 128)]},
    "from_dict": ("d = shared_dict(27)", "Node.from_dict(d)", "d", 256),
    "Node(children=...)": ("leaf = Node('leaf'); kids = [leaf] * 40_000_000", "Node('r', children=kids)", "leaf", 128),
    # The children of a tuple convert into 64 MiB (their growth peaks at 96); the node's own
    # block of as much does not fit beside them.
    "Node(children=...), the node": ("leaf = Node('leaf'); kids = (leaf,) * 2**23", "Node('r', children=kids)",
                                     "leaf", 112),
    # 6.4e9 bytes of indentation: more than the child may allocate, less than
    # the machine has, so the write is tried and fails only when memory does.
    "write_string, 40,000 deep": ("""
        chain = Node("n")
        for _ in range(40_000):
            chain = Node("n", children=[chain])
        assert write_string(chain, indent=0, default_xml_def=False).count("<n>") == 40_000""",
                                  "write_string(chain)", "chain", 512),
}


@needs_memory_limit
@pytest.mark.parametrize("case", list(OUT_OF_MEMORY))
def test_running_out_of_memory_raises_memory_error(case, tmp_path):
    setup, call, kept, headroom = OUT_OF_MEMORY[case]
    path = tmp_path / "out.xml"
    name, notes, _, refs = attempt(f"path = {str(path)!r}\n{textwrap.dedent(setup)}", call, "MemoryError",
                                   headroom, kept)
    # Only an argument's own conversion names it in a note; a failed layout blames no argument.
    assert (name, notes, refs) == ("MemoryError", case == "Node(children=...)", 0)
    assert not path.exists()  # the layout failed before the file was opened


FIFO_CALLS = {"read_file, no writer": "read_file(fifo, 'r')", "write_file, no reader": "write_file(Node('r'), fifo)"}


@pytest.mark.parametrize("call", list(FIFO_CALLS))
def test_a_signal_handler_that_raises_interrupts_a_blocked_call(call, tmp_path):
    # Opening a FIFO blocks until the other end is opened, which never happens.
    os.mkfifo(tmp_path / "fifo")
    setup = f"fifo = {str(tmp_path / 'fifo')!r}; stop_after(0.2)"
    assert attempt(setup, FIFO_CALLS[call], "Stop")[0] == "Stop"


# The other end is opened late by a thread that never takes the signal, so
# the main thread's call is interrupted again and again meanwhile.
FIFO_PEERS = {
    "read_file": ("with open(fifo, 'w') as f: f.write('<r><a/></r>')",
                  "print(read_file(fifo, 'r').children[0].name)", "a"),
    "write_file": ("with open(fifo) as f: print(f.read().count('<a/>'))",
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


@pytest.fixture(scope="module")
def million_deep():
    return chain(1_000_000)


SMALL = Node("a", children=[Node("b")])
INDENT_NOTE = ["while processing 'indent'"]


@pytest.mark.parametrize(
    "call, error, notes",
    [
        # Four spaces a level: 4e12 bytes; the caller passed no indent, so it is not blamed.
        (lambda deep, path: write_string(deep), MemoryError, []),
        (lambda deep, path: write_string(deep, indent=4), MemoryError, INDENT_NOTE),
        (lambda deep, path: write_string(SMALL, 2**62), MemoryError, INDENT_NOTE),
        (lambda deep, path: write_string(SMALL, indent=2**63), OverflowError, INDENT_NOTE),
        (lambda deep, path: write_file(SMALL, path, 2**63), OverflowError, INDENT_NOTE),
        (lambda deep, path: write_file(deep, path, 2**40), OverflowError, INDENT_NOTE),
    ],
    ids=["write_string deep", "write_string deep indent=4", "write_string 2**62", "write_string 2**63",
         "write_file 2**63", "write_file deep 2**40"],
)
def test_an_output_too_large_is_refused_up_front(million_deep, tmp_path, call, error, notes):
    # More than memory holds is a MemoryError for write_string; more than any
    # str or file may hold is an OverflowError, before the file is made.
    path = tmp_path / "never.xml"
    with pytest.raises(error) as caught:
        call(million_deep, str(path))
    assert getattr(caught.value, "__notes__", []) == notes
    assert not path.exists()
    if not notes:
        assert "4000000000000 bytes of indentation" in str(caught.value)


@pytest.mark.skipif(not os.path.exists("/dev/full"), reason="no /dev/full")
def test_write_file_is_not_bound_by_memory():
    # 2**62 bytes of indentation fit no memory but are a size a file may have:
    # write_file begins, and the device's own limit ends it.
    with pytest.raises(OSError, match="No space left on device"):
        write_file(SMALL, "/dev/full", indent=2**62)
