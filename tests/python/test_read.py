"""read_string and read_file: results, errors, files and lifetimes."""

import gc
import sys
import threading
import time

import pytest

import plovane
from plovane import Node, read_file, read_string, write_file


def shape(node):
    """A node as plain nested tuples, for whole-tree comparisons."""
    return (node.name, node.attrs, node.text, [shape(c) for c in node.children])


@pytest.mark.parametrize(
    "doc, root, expected",
    [
        # The reader's own cases are in tests/cpp/read_document_test.cpp; here, what the binding adds.
        ("<a> x <b>t</b> y </a>", "a", ("a", {}, "x  y", [("b", {}, "t", [])])),
        ("<r a='1' b=\"it's\" c=\"x&lt;&#65;&#x42;\tz\">&amp;&apos;&quot;&gt;</r>", "r",
         ("r", {"a": "1", "b": "it's", "c": "x<AB z"}, "&'\">", [])),
        ("<données clé='é'>ünï ☃</données>", "données", ("données", {"clé": "é"}, "ünï ☃", [])),
        # Without an internal subset a document type ends at its first '>', even inside a literal.
        ('<!DOCTYPE x SYSTEM "a>b"><x>t</x>', "x", ("x", {}, "t", [])),
        ("<!x>" * 50 + "<r>t</r>", "r", ("r", {}, "t", [])),
    ],
)
def test_results(doc, root, expected):
    assert shape(read_string(doc, root)) == expected


def test_attribute_values_of_every_length():
    # Values of 16 MiB and more are kept differently from short ones;
    # a tag may mix both, with a decoded value among them.
    huge = "v" * (1 << 24)
    for value in (huge[:-1], huge, huge + "w"):
        r = read_string(f"<r a='1' long='{value}' z='&lt;'><c k='{value}'/></r>", "r")
        assert r.attrs == {"a": "1", "long": value, "z": "<"}
        assert r.children[0].attrs == {"k": value} and Node("c", r.attrs).attrs == r.attrs
        again = read_string(plovane.write_string(r, 0, False), "r")
        assert again.attrs == r.attrs and again.children[0].attrs == {"k": value}


@pytest.mark.parametrize("wide", ["é", "€", "😀"], ids=["latin1", "bmp", "astral"])
@pytest.mark.parametrize("run", [0, 1, 15, 16, 17, 40])
def test_every_string_width_around_ascii_runs(wide, run):
    # Strings of each storage width, with ASCII runs ending at and around the encoder's block
    # size. Such a str is encoded into the tree's own buffer: the tree does not keep it alive,
    # and it gains no cached UTF-8 copy of itself.
    text = "x" * run + wide + "y" * run + wide
    doc = f"<a k='{wide}{'v' * run}'>{text}<b/>{wide * 3}</a>"
    base, size = sys.getrefcount(doc), sys.getsizeof(doc)
    root = read_string(doc, "a")
    assert (sys.getrefcount(doc), sys.getsizeof(doc)) == (base, size)
    del doc
    gc.collect()
    assert (root.attrs, root.text) == ({"k": wide + "v" * run}, text + wide * 3)


@pytest.mark.parametrize(
    "doc, root, message",
    [
        ("<a>", "b", "root tag <b> not found in document"),
        ("<r><a", "r", "malformed XML: Unclosed tag at byte 3"),
        ("<r>é&x;</r>", "r", "unknown entity reference '&x;' at byte 5"),
        # Names go into messages whole, a NUL character included.
        ("<a/>", "a\0b", "root tag <a\0b> not found in document"),
        ("<r></x\0y></r>", "r", "malformed XML at byte 3: expected </r>, found </x\0y>"),
    ],
)
def test_document_errors_give_message_and_byte_position(doc, root, message):
    with pytest.raises(ValueError) as info:
        read_string(doc, root)
    assert str(info.value) == message and info.value.args == (message,)


def test_reads_a_file_relative_to_the_working_directory(tmp_path, monkeypatch):
    (tmp_path / "doc.xml").write_text("<?xml version='1.0'?><a><b k='v'>é</b></a>", encoding="utf-8")
    monkeypatch.chdir(tmp_path)
    assert shape(read_file("doc.xml", "a")) == ("a", {}, None, [("b", {"k": "v"}, "é", [])])
    s = type("S", (str,), {})  # a str subclass will do
    assert shape(read_file(s(tmp_path / "doc.xml"), s("a"))) == shape(read_string(s("<a><b k='v'>é</b></a>"), "a"))


NO_FILE = "No such file or directory (os error 2)"
NUL = "file name contained an unexpected NUL byte"
READ, WRITE = (lambda path: read_file(path, "a")), (lambda path: write_file(Node("r"), path))


@pytest.mark.parametrize(
    "call, name, error, text",
    [
        (READ, "missing.xml", FileNotFoundError, NO_FILE),
        (READ, "", IsADirectoryError, "Is a directory (os error 21)"),
        (READ, "plain/x.xml", NotADirectoryError, "Not a directory (os error 20)"),
        (READ, "bad.xml", OSError, "stream did not contain valid UTF-8"),
        # The part before the NUL names a readable file: it must not be opened.
        (READ, "plain\0b", OSError, NUL),
        (READ, "never.xml", ValueError, "unexpected end of document: <a> is never closed"),
        # Nothing is made on the way, and a path cut at a NUL never reaches the system.
        (WRITE, "missing/x.xml", FileNotFoundError, NO_FILE),
        (WRITE, "", IsADirectoryError, "Is a directory (os error 21)"),
        (WRITE, "never\0b", OSError, NUL),
    ],
)
def test_file_errors(tmp_path, call, name, error, text):
    (tmp_path / "plain").write_text("<a/>")
    (tmp_path / "bad.xml").write_bytes(b"<a>\xff</a>")
    (tmp_path / "never.xml").write_text("<a>")
    before = sorted(tmp_path.iterdir())
    with pytest.raises(error) as info:
        call(str(tmp_path / name) if name else str(tmp_path))
    assert type(info.value) is error and info.value.args == (text,)
    assert sorted(tmp_path.iterdir()) == before
    if error is not ValueError:
        assert info.value.errno is None and info.value.filename is None


def test_the_string_is_held_until_the_last_node_goes_and_is_not_modified():
    doc = "".join(["<r>", "<c k='v'>text</c>" * 100, "<b>2</b></r>"])
    copy = "".join(doc)
    base = sys.getrefcount(doc)
    # A failed read keeps nothing, whether it fails at a repeated attribute or at the end.
    for bad in (doc.replace("<b>", "<b k='1' j='2' k='3'>"), doc.replace("</r>", "</x>")):
        bad_base = sys.getrefcount(bad)
        for _ in range(50):
            with pytest.raises(ValueError):
                read_string(bad, "r")
        assert sys.getrefcount(bad) == bad_base
    root = read_string(doc, "r")
    assert sys.getrefcount(doc) == base + 1 and doc == copy
    child = root.children[-1]
    del root
    assert sys.getrefcount(doc) == base + 1 and child.text == "2"
    del child
    assert sys.getrefcount(doc) == base
    root = read_string(doc, "r")
    del doc, copy
    gc.collect()
    assert [c.attrs for c in root.children[:100]] == [{"k": "v"}] * 100 and root.children[99].text == "text"
    # Nodes share blocks of memory: a few kept from all over a large tree stay whole.
    big = read_string("<r>" + "".join(f"<c i='{i}'><d>{i}</d></c>" for i in range(5000)) + "</r>", "r")
    kept = big.children[::7]
    del big
    assert [(c.attrs["i"], c.children[0].text) for c in kept] == [(str(i), str(i)) for i in range(0, 5000, 7)]


def test_the_parse_runs_without_the_interpreter_lock():
    # A long parse must let another thread make progress meanwhile: holding the lock, it would
    # keep the counter waiting for the whole switch interval.
    doc = "<r>" + "<c a='1' b='2'>some text here</c>" * 200_000 + "</r>"
    ticks, stop, old = [0], threading.Event(), sys.getswitchinterval()

    def counter():
        while not stop.is_set():
            ticks[0] += 1

    sys.setswitchinterval(0.5)
    thread = threading.Thread(target=counter)
    try:
        thread.start()
        time.sleep(0.01)
        before = ticks[0]
        read_string(doc, "r")
        during = ticks[0] - before
    finally:
        stop.set()
        thread.join()
        sys.setswitchinterval(old)
    assert during > 1000, f"the other thread made {during} steps during the parse"
