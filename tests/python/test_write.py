"""write_string and write_file: layout, escaping, arguments and files."""

import os

import numpy
import pytest

import plovane
from plovane import Node, read_string, write_file, write_string

DECLARATION = '<?xml version="1.0" encoding="utf-8"?>\n'


def catalog():
    book = Node("book", {"lang": "en"}, text="A & B")
    shelf = Node("shelf", children=[Node("item")], text="x")
    return Node("catalog", {"id": "7"}, [book, Node("note"), shelf])


class TestLayout:
    def test_worked_example(self):
        expected = "\n".join([
            '<?xml version="1.0" encoding="utf-8"?>',
            '<catalog id="7">',
            '    <book lang="en">A &amp; B</book>',
            "    <note/>",
            "    <shelf>x<item/>",
            "    </shelf>",
            "</catalog>",
        ])
        assert write_string(catalog()) == expected
        assert write_string(catalog(), 0, False) == "\n".join(line.lstrip() for line in expected.split("\n")[1:])

    def test_empty_and_text_only_roots(self):
        assert write_string(Node("r")) == DECLARATION + "<r/>"
        assert write_string(Node("r", text="")) == DECLARATION + "<r></r>"
        assert write_string(Node("r", text="hello"), default_xml_def=False) == "<r>hello</r>"
        assert write_string(Node("e", {"k": ""}), default_xml_def=False) == '<e k=""/>'

    def test_indent_values(self):
        tree = Node("a", children=[Node("b", children=[Node("c", children=[Node("d")])])])
        assert write_string(tree, indent=2, default_xml_def=False).split("\n")[3] == "      <d/>"
        assert write_string(tree, indent=True, default_xml_def=False).split("\n")[1] == " <b>"
        assert write_string(tree, indent=False, default_xml_def=False).split("\n")[1] == "<b>"
        assert write_string(tree, indent=numpy.uint8(3), default_xml_def=False).split("\n")[1] == "   <b>"

    def test_text_then_children(self):
        node = Node("p", children=[Node("a"), Node("b")], text="t")
        assert write_string(node, default_xml_def=False) == "<p>t<a/>\n    <b/>\n</p>"

    def test_escaping(self):
        node = Node("r", {"a": "\t\r\nx>y\"'&<"}, text="a<b & \"c\" 'd'\t\r\n")
        out = write_string(node, default_xml_def=False)
        assert out == ('<r a="&#9;&#13;&#10;x&gt;y&quot;&apos;&amp;&lt;">'
                       "a&lt;b &amp; &quot;c&quot; &apos;d&apos;\t\r\n</r>")
        assert write_string(Node("x", text="é<"), default_xml_def=False) == "<x>é&lt;</x>"
        assert write_string(Node("x", text="&amp;"), default_xml_def=False) == "<x>&amp;amp;</x>"

    def test_names_are_written_unchanged(self):
        assert write_string(Node("a<&", {"k&": "v"}), default_xml_def=False) == '<a<& k&="v"/>'

    def test_shared_children_are_written_at_each_place(self):
        c = Node("c")
        assert write_string(Node("p", children=[c, c]), 0, False) == "<p>\n<c/>\n<c/>\n</p>"


class TestArguments:
    @pytest.mark.parametrize(
        "kwargs, error, param",
        [
            ({"indent": -1}, OverflowError, "indent"),
            ({"indent": 2**64}, OverflowError, "indent"),
            ({"indent": 2.0}, TypeError, "indent"),
            ({"indent": "2"}, TypeError, "indent"),
            ({"default_xml_def": 1}, TypeError, "default_xml_def"),
            ({"default_xml_def": "yes"}, TypeError, "default_xml_def"),
            ({"default_xml_def": numpy.int64(1)}, TypeError, "default_xml_def"),
        ],
    )
    def test_conversion_errors(self, kwargs, error, param):
        with pytest.raises(error) as info:
            write_string(Node("r"), **kwargs)
        assert info.value.__notes__ == [f"while processing '{param}'"]

    def test_messages(self):
        for args, message in [((Node("r"), None, 1), "'int' object is not an instance of 'bool'"),
                              (("<r/>",), "'str' object is not an instance of 'Node'"),
                              ((None,), "'None' is not an instance of 'Node'")]:
            with pytest.raises(TypeError) as info:
                write_string(*args)
            assert str(info.value) == message
        assert info.value.__notes__ == ["while processing 'node'"]

    def test_numpy_bool_and_none_defaults(self):
        assert write_string(Node("r"), None, numpy.bool_(False)) == "<r/>"
        assert write_string(Node("r"), None, numpy.True_).startswith(DECLARATION)
        assert write_string(Node("r"), None, None) == DECLARATION + "<r/>"

    def test_absurd_indent_is_refused_before_anything_is_written(self, tmp_path):
        tree = Node("a", children=[Node("b")])
        with pytest.raises(OverflowError) as info:
            write_string(tree, indent=2**63)
        assert "indent too large" in str(info.value)
        assert info.value.__notes__ == ["while processing 'indent'"]
        path = tmp_path / "never.xml"
        with pytest.raises(OverflowError):
            write_file(tree, str(path), indent=2**63)
        assert not path.exists()
        # Without children no line is indented, so any indent is fine.
        assert write_string(Node("a"), indent=2**64 - 1, default_xml_def=False) == "<a/>"


class TestFiles:
    def test_file_holds_exactly_the_string(self, tmp_path):
        big = Node("r", children=[Node("c", {"i": str(i)}, text="é" * (i % 50)) for i in range(3000)],
                   text="x" * 20000)
        for indent, decl in [(None, None), (0, False), (7, True)]:
            path = tmp_path / "out.xml"
            assert write_file(big, str(path), indent, decl) is None
            assert path.read_bytes() == write_string(big, indent, decl).encode("utf-8")

    def test_existing_file_is_replaced_and_mode_follows_the_umask(self, tmp_path):
        path = tmp_path / "out.xml"
        path.write_text("x" * 10000)
        write_file(Node("r"), str(path))
        assert path.read_text() == DECLARATION + "<r/>"
        fresh = tmp_path / "fresh.xml"
        old = os.umask(0o022)
        try:
            write_file(Node("r"), str(fresh))
        finally:
            os.umask(old)
        assert fresh.stat().st_mode & 0o777 == 0o644

    def test_os_errors(self, tmp_path):
        with pytest.raises(FileNotFoundError, match=r"\(os error 2\)$"):
            write_file(Node("r"), str(tmp_path / "missing" / "x.xml"))
        assert not (tmp_path / "missing").exists()
        with pytest.raises(IsADirectoryError, match=r"\(os error 21\)$"):
            write_file(Node("r"), str(tmp_path))
        with pytest.raises(OSError) as info:
            write_file(Node("r"), str(tmp_path / "a\0b"))
        assert type(info.value) is OSError and str(info.value) == "file name contained an unexpected NUL byte"
        with pytest.raises(TypeError) as info:
            write_file(Node("r"), tmp_path / "x.xml")
        assert info.value.__notes__ == ["while processing 'file_path'"]

    def test_unwritable_path(self):
        with pytest.raises(PermissionError if os.geteuid() else OSError):
            write_file(Node("r"), "/proc/version")

    def test_a_failing_device_reports_and_closes_the_file(self):
        if not os.path.exists("/dev/full"):
            pytest.skip("no /dev/full")
        fds_before = set(os.listdir("/proc/self/fd"))
        big = Node("r", text="x" * 100_000)
        for node in (Node("r"), big):
            with pytest.raises(OSError) as info:
                write_file(node, "/dev/full")
            assert str(info.value) == "No space left on device (os error 28)"
        assert set(os.listdir("/proc/self/fd")) == fds_before


class TestRoundTrip:
    def test_read_back_what_was_written(self):
        tree = read_string("<r a='1'><b k='&quot;'>x &amp; y</b><c/>tail</r>", "r")
        again = read_string(write_string(tree), "r")
        assert again.attrs == tree.attrs and again.text == tree.text
        assert [(c.name, c.attrs, c.text) for c in again.children] == [
            (c.name, c.attrs, c.text) for c in tree.children]

    def test_deep_chain_written_without_crashing(self, chain):
        root = chain(1_000_000)
        out = write_string(root, indent=0, default_xml_def=False)
        assert out.count("\n") == 2 * 1_000_000 and out.startswith("<n>\n<n>")
        with pytest.raises(MemoryError):
            write_string(root)  # four spaces a level: terabytes of indentation
