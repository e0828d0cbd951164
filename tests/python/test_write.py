"""write_string and write_file: layout through the binding, arguments and files."""

import os

import numpy
import pytest

from plovane import Node, write_file, write_string

DECLARATION = '<?xml version="1.0" encoding="utf-8"?>\n'
CATALOG = DECLARATION + '<catalog id="7">\n    <book lang="en">A &amp; B</book>\n    <note/>\n    <shelf>x<item/>\n    </shelf>\n</catalog>'


def catalog():
    book = Node("book", {"lang": "en"}, text="A & B")
    shelf = Node("shelf", children=[Node("item")], text="x")
    return Node("catalog", {"id": "7"}, [book, Node("note"), shelf])


SHARED = Node("c")
LADDER = Node("a", children=[Node("b", children=[Node("c", children=[Node("d")])])])


@pytest.mark.parametrize(
    "node, args, expected",
    [
        (catalog(), (), CATALOG),
        (catalog(), (0, False), "\n".join(line.lstrip() for line in CATALOG.split("\n")[1:])),
        (Node("r"), (), DECLARATION + "<r/>"),
        (Node("r", text=""), (None, None), DECLARATION + "<r></r>"),
        (Node("p", children=[Node("a"), Node("b")], text="t"), (None, False), "<p>t<a/>\n    <b/>\n</p>"),
        (Node("p", children=[SHARED, SHARED]), (0, False), "<p>\n<c/>\n<c/>\n</p>"),
        (Node("p", children=[Node("a", text="y")], text=" \n x \n"), (2, False), "<p> \n x \n<a>y</a>\n</p>"),
        (Node("", children=[Node("")]), (1, False), "<>\n </>\n</>"),
        (Node("e", {"k": ""}), (None, False), '<e k=""/>'),
        (Node("r", {"a": "\t\r\nx>y\"'&<"}, text="a<b & \"c\" 'd'\t\r\n"), (None, False),
         '<r a="&#9;&#13;&#10;x&gt;y&quot;&apos;&amp;&lt;">a&lt;b &amp; &quot;c&quot; &apos;d&apos;\t\r\n</r>'),
        (Node("a<&", {"k&": "v"}), (None, False), '<a<& k&="v"/>'),  # names are written unchanged
        (LADDER, (2, False), "<a>\n  <b>\n    <c>\n      <d/>\n    </c>\n  </b>\n</a>"),
        (LADDER, (True, False), "<a>\n <b>\n  <c>\n   <d/>\n  </c>\n </b>\n</a>"),
        (LADDER, (False, numpy.bool_(False)), "<a>\n<b>\n<c>\n<d/>\n</c>\n</b>\n</a>"),
        (LADDER, (numpy.uint8(3), numpy.True_),
         DECLARATION + "<a>\n   <b>\n      <c>\n         <d/>\n      </c>\n   </b>\n</a>"),
        # Without children no line is indented, so any indent is fine.
        (Node("a"), (2**64 - 1, False), "<a/>"),
    ],
)
def test_layout(node, args, expected):
    assert write_string(node, *args) == expected


def test_attributes_follow_the_iteration_order_of_the_attrs_property():
    node = Node("e", {k: k.upper() for k in "abcdefgh"})
    assert write_string(node, 0, False) == "<e" + "".join(f' {k}="{v}"' for k, v in node.attrs.items()) + "/>"


def runs(n):
    """Runs of text, attribute value and indentation `n` bytes long, after a partly filled buffer."""
    return Node("t", {"v": "z" * n}, [Node("c", children=[Node("d")])], "a&" + "w" * n), n, True


def test_the_file_holds_exactly_the_string_and_replaces_what_was_there(tmp_path):
    # Many small appends cross the file's 8192-byte buffer at every offset.
    big = Node("r", children=[Node("c", {"i": str(i)}, text="é<&"[i % 3] * (i % 50)) for i in range(3000)],
               text="x" * 20000)
    path = tmp_path / "out.xml"
    path.write_text("x" * 100_000)
    cases = [(big, None, None), (big, 0, False), (big, 7, True), *map(runs, [8191, 8192, 8193, 1 << 20])]
    for node, indent, decl in cases:
        assert write_file(node, str(path), indent, decl) is None
        assert path.read_bytes() == write_string(node, indent, decl).encode("utf-8")
    fresh, old = tmp_path / "fresh.xml", os.umask(0o022)
    try:
        write_file(Node("r"), str(fresh))
    finally:
        os.umask(old)
    assert fresh.stat().st_mode & 0o777 == 0o644 and fresh.read_text() == DECLARATION + "<r/>"


@pytest.mark.skipif(not os.path.exists("/dev/full"), reason="no /dev/full")
def test_a_failing_device_reports_and_closes_the_file():
    with pytest.raises(PermissionError if os.geteuid() else OSError):
        write_file(Node("r"), "/proc/version")
    fds_before = set(os.listdir("/proc/self/fd"))
    for node in (Node("r"), Node("r", text="x" * 100_000)):
        with pytest.raises(OSError) as info:
            write_file(node, "/dev/full")
        assert str(info.value) == "No space left on device (os error 28)"
    assert set(os.listdir("/proc/self/fd")) == fds_before
