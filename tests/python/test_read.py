"""read_string and read_file: results, errors, files, lifetimes and threads."""

import gc
import os
import sys
import threading
import time

import pytest

import plovane
from plovane import read_file, read_string


def shape(node):
    """A node as plain nested tuples, for whole-tree comparisons."""
    return (node.name, node.attrs, node.text, [shape(c) for c in node.children])


class TestResults:
    def test_root_with_children_and_text(self):
        a = read_string("<a><b>t</b></a>", "a")
        assert shape(a) == ("a", {}, None, [("b", {}, "t", [])])

    def test_root_is_found_at_any_depth(self):
        assert shape(read_string("<a><b>t</b></a>", root_tag="b")) == ("b", {}, "t", [])
        assert shape(read_string("<x><a><r>x</r></a>", "r")) == ("r", {}, "x", [])

    def test_nested_element_with_the_roots_name_is_a_child(self):
        r = read_string("<r><r>1</r></r>", "r")
        assert shape(r) == ("r", {}, None, [("r", {}, "1", [])])

    def test_text_is_joined_around_children_and_trimmed(self):
        assert read_string("<a> x <b/> y </a>", "a").text == "x  y"
        r = read_string("<r>1<c/>2<c/>3</r>", "r")
        assert r.text == "123" and len(r.children) == 2
        assert read_string("<r>  </r>", "r").text is None
        assert read_string("<r>&#32;</r>", "r").text is None
        assert read_string("<r>\u00a0x\u3000</r>", "r").text == "x"

    def test_cdata_comments_and_instructions(self):
        assert read_string("<r>a<![CDATA[<b>&amp;]]>c</r>", "r").text == "a<b>&amp;c"
        assert read_string("<r><!-- x --><?pi data?>t</r>", "r").text == "t"

    def test_references_and_attributes(self):
        r = read_string("<r a='1' b=\"it's\" c=\"x&lt;&#65;&#x42;\tz\">&amp;&apos;&quot;&gt;</r>", "r")
        assert r.attrs == {"a": "1", "b": "it's", "c": "x<AB z"}
        assert r.text == "&'\">"

    def test_attribute_values_of_every_length(self):
        # Values of 16 MiB and more are kept differently from short ones;
        # a tag may mix both, with a decoded value among them.
        huge = "v" * (1 << 24)
        for value in (huge[:-1], huge, huge + "w"):
            doc = f"<r a='1' long='{value}' z='&lt;'><c k='{value}'/></r>"
            r = read_string(doc, "r")
            assert r.attrs == {"a": "1", "long": value, "z": "<"}
            assert r.children[0].attrs == {"k": value}
            again = read_string(plovane.write_string(r, 0, False), "r")
            assert again.attrs == r.attrs and again.children[0].attrs == {"k": value}

    def test_declaration_doctype_and_trailing_junk_are_ignored(self):
        doc = '<?xml version="1.0"?><!DOCTYPE r><r/><x></y>'
        assert shape(read_string(doc, "r")) == ("r", {}, None, [])

    def test_non_ascii_names_and_text(self):
        r = read_string("<données clé='é'>ünï ☃</données>", "données")
        assert (r.name, r.attrs, r.text) == ("données", {"clé": "é"}, "ünï ☃")

    @pytest.mark.parametrize("wide", ["é", "€", "😀"], ids=["latin1", "bmp", "astral"])
    @pytest.mark.parametrize("run", [0, 1, 15, 16, 17, 40])
    def test_every_string_width_around_ascii_runs(self, wide, run):
        # Strings of each storage width, with ASCII runs ending at and
        # around the encoder's block size.
        text = "x" * run + wide + "y" * run + wide
        root = read_string(f"<a k='{wide}{'v' * run}'>{text}<b/>{wide * 3}</a>", "a")
        assert (root.attrs, root.text) == ({"k": wide + "v" * run}, text + wide * 3)

    def test_a_str_subclass_is_accepted(self):
        class S(str):
            pass

        assert read_string(S("<a/>"), S("a")).name == "a"


class TestDocumentErrors:
    @pytest.mark.parametrize(
        "doc, root, message",
        [
            ("<a>", "b", "root tag <b> not found in document"),
            ("<a/>", "", "root tag <> not found in document"),
            ("", "a", "root tag <a> not found in document"),
            ("<a>", "a", "unexpected end of document: <a> is never closed"),
            ("<r><a", "r", "malformed XML: Unclosed tag at byte 3"),
            ("<r>&bogus;</r>", "r", "unknown entity reference '&bogus;' at byte 3"),
            ("<r>é&x;</r>", "r", "unknown entity reference '&x;' at byte 5"),
            ("<r a=1/>", "r", "malformed XML at byte 5: value of attribute 'a' is not quoted"),
            ("<r></x>", "r", "malformed XML at byte 3: expected </r>, found </x>"),
            ("</x><r/>", "r", "malformed XML at byte 0: unexpected end tag </x>"),
            ("<r></r x>", "r", "malformed XML at byte 3: malformed end tag </r>"),
            ("<r><!-- x", "r", "malformed XML at byte 9: unexpected end of document"),
            ("<r><![CDATA[x", "r", "malformed XML at byte 3: unterminated CDATA section"),
            ("<r><?pi x", "r", "malformed XML at byte 3: unterminated processing instruction"),
            ("<r>&#0;</r>", "r", "malformed XML at byte 3: invalid character reference '&#0;'"),
            ("<r>AT&T</r>", "r", "malformed XML at byte 5: unterminated entity reference"),
            ("<r>a<b</r>", "r", "malformed XML at byte 7: expected whitespace before attribute"),
            ("<r>a<b", "r", "malformed XML: Unclosed tag at byte 4"),
            ('<r x="1" x="2"/>', "r", "malformed XML at byte 9: duplicate attribute 'x'"),
            ('<r x="1"y="2"/>', "r", "malformed XML at byte 8: expected whitespace before attribute"),
            ("<a x=1/><r/>", "r", "malformed XML at byte 5: value of attribute 'x' is not quoted"),
        ],
    )
    def test_message_and_byte_position(self, doc, root, message):
        with pytest.raises(ValueError) as info:
            read_string(doc, root)
        assert str(info.value) == message
        assert info.value.args == (message,)

    def test_attributes_of_start_tags_before_the_root_are_not_examined(self):
        assert read_string("<a x=1><r/></a>", "r").name == "r"

    def test_end_tag_may_end_with_unicode_white_space(self):
        assert read_string("<r></r \u00a0>", "r").name == "r"


class TestArguments:
    def test_type_errors_carry_notes(self):
        with pytest.raises(TypeError) as info:
            read_string(b"<a/>", "a")
        assert str(info.value) == "'bytes' object is not an instance of 'str'"
        assert info.value.__notes__ == ["while processing 'xml_string'"]
        with pytest.raises(TypeError) as info:
            read_string("<a/>", None)
        assert str(info.value) == "'None' is not an instance of 'str'"
        assert info.value.__notes__ == ["while processing 'root_tag'"]

    def test_call_shape(self):
        with pytest.raises(TypeError, match=r"read_string\(\) missing 1 required positional argument: 'root_tag'"):
            read_string("<a/>")
        with pytest.raises(TypeError, match="unexpected keyword argument 'root'"):
            read_string("<a/>", root="a")

    def test_paths_must_be_str(self, tmp_path):
        import pathlib

        with pytest.raises(TypeError) as info:
            read_file(pathlib.Path("a.xml"), "a")
        assert info.value.__notes__ == ["while processing 'file_path'"]
        with pytest.raises(TypeError):
            read_file(b"a.xml", "a")

    @pytest.mark.parametrize("doc", ["<a>\udc00</a>", "<a>é\ud800</a>", "<a>😀\udfff</a>"])
    def test_lone_surrogates(self, doc):
        with pytest.raises(UnicodeEncodeError) as info:
            read_string(doc, "a")
        with pytest.raises(UnicodeEncodeError) as expected:
            doc.encode()
        assert str(info.value) == str(expected.value)
        assert info.value.__notes__ == ["while processing 'xml_string'"]

    def test_xml_string_errors_come_before_root_tag_errors(self):
        with pytest.raises(UnicodeEncodeError) as info:
            read_string("<a>\udc00</a>", 3)
        assert info.value.__notes__ == ["while processing 'xml_string'"]
        with pytest.raises(TypeError) as info:
            read_string("<a>é</a>", 3)
        assert info.value.__notes__ == ["while processing 'root_tag'"]


class TestFiles:
    def test_reads_a_file(self, tmp_path):
        path = tmp_path / "doc.xml"
        path.write_text("<?xml version='1.0'?><a><b k='v'>é</b></a>", encoding="utf-8")
        assert shape(read_file(str(path), "a")) == ("a", {}, None, [("b", {"k": "v"}, "é", [])])

    def test_relative_paths_use_the_working_directory(self, tmp_path, monkeypatch):
        (tmp_path / "rel.xml").write_text("<a/>")
        monkeypatch.chdir(tmp_path)
        assert read_file("rel.xml", "a").name == "a"

    @pytest.mark.parametrize(
        "make, error, text",
        [
            (lambda d: str(d / "missing.xml"), FileNotFoundError, "No such file or directory (os error 2)"),
            (lambda d: str(d), IsADirectoryError, "Is a directory (os error 21)"),
            (lambda d: str(d / "missing" / "x.xml"), FileNotFoundError, "No such file or directory (os error 2)"),
        ],
    )
    def test_os_errors(self, tmp_path, make, error, text):
        with pytest.raises(error) as info:
            read_file(make(tmp_path), "a")
        assert str(info.value) == text and info.value.args == (text,)
        assert info.value.errno is None and info.value.filename is None

    def test_not_a_directory(self, tmp_path):
        (tmp_path / "f").write_text("x")
        with pytest.raises(NotADirectoryError, match=r"\(os error 20\)$"):
            read_file(str(tmp_path / "f" / "x.xml"), "a")

    def test_invalid_utf8_and_nul_in_path(self, tmp_path):
        bad = tmp_path / "bad.xml"
        bad.write_bytes(b"<a>\xff</a>")
        with pytest.raises(OSError) as info:
            read_file(str(bad), "a")
        assert type(info.value) is OSError and str(info.value) == "stream did not contain valid UTF-8"
        with pytest.raises(OSError) as info:
            read_file(str(tmp_path) + "/a\0b", "a")
        assert type(info.value) is OSError
        assert str(info.value) == "file name contained an unexpected NUL byte"

    @pytest.mark.skipif(os.geteuid() == 0, reason="root reads every file")
    def test_permission_denied(self, tmp_path):
        path = tmp_path / "secret.xml"
        path.write_text("<a/>")
        path.chmod(0)
        with pytest.raises(PermissionError, match=r"\(os error 13\)$"):
            read_file(str(path), "a")

    def test_document_errors_in_files_are_value_errors(self, tmp_path):
        path = tmp_path / "doc.xml"
        path.write_text("<a>")
        with pytest.raises(ValueError, match="is never closed"):
            read_file(str(path), "a")


class TestLifetime:
    def test_tree_outlives_the_document_string(self):
        doc = "".join(["<r>", "<c k='v'>text</c>" * 100, "</r>"])
        root = read_string(doc, "r")
        del doc
        gc.collect()
        assert [c.attrs for c in root.children] == [{"k": "v"}] * 100
        assert root.children[-1].text == "text"

    def test_the_string_is_held_until_the_last_node_goes(self):
        doc = "<r><a>1</a><b>2</b></r>" + " " * 50
        base = sys.getrefcount(doc)
        root = read_string(doc, "r")
        assert sys.getrefcount(doc) == base + 1
        child = root.children[1]
        del root
        assert sys.getrefcount(doc) == base + 1
        assert child.text == "2"
        del child
        assert sys.getrefcount(doc) == base

    @pytest.mark.parametrize("wide", ["é", "€", "😀"])
    def test_a_non_ascii_string_is_neither_kept_nor_grown(self, wide):
        # Such a str is encoded into the tree's own buffer: the tree does not
        # keep it alive, and it gains no cached UTF-8 copy of itself.
        doc = f"<r><a>{wide}</a></r>" + " " * 50
        base, size = sys.getrefcount(doc), sys.getsizeof(doc)
        root = read_string(doc, "r")
        assert (sys.getrefcount(doc), sys.getsizeof(doc)) == (base, size)
        del doc
        gc.collect()
        assert root.children[0].text == wide

    def test_failed_reads_release_the_string(self):
        doc = "<r><a x='1'></r>"
        base = sys.getrefcount(doc)
        for _ in range(50):
            with pytest.raises(ValueError):
                read_string(doc, "r")
        assert sys.getrefcount(doc) == base

    def test_the_callers_string_is_not_modified(self):
        doc = "<r a='&lt;'>&amp;</r>"
        copy = "".join(doc)
        read_string(doc, "r")
        assert doc == copy


class TestThreads:
    def test_two_threads_read_at_the_same_time(self):
        docs = ["<r>" + f"<c i='{t}'>x</c>" * 200_000 + "</r>" for t in range(2)]
        results = [None, None]
        spans = [None, None]

        def work(t):
            start = time.perf_counter()
            results[t] = read_string(docs[t], "r")
            spans[t] = (start, time.perf_counter())

        threads = [threading.Thread(target=work, args=(t,)) for t in range(2)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for t in range(2):
            assert len(results[t].children) == 200_000
            assert results[t].children[0].attrs == {"i": str(t)}
        assert spans[0][0] < spans[1][1] and spans[1][0] < spans[0][1], "the reads did not overlap"

    def test_the_parse_runs_without_the_interpreter_lock(self):
        # A long parse must let another Python thread make progress meanwhile.
        doc = "<r>" + "<c a='1' b='2'>some text here</c>" * 200_000 + "</r>"
        ticks = 0
        stop = threading.Event()

        def counter():
            nonlocal ticks
            while not stop.is_set():
                ticks += 1

        old = sys.getswitchinterval()
        sys.setswitchinterval(0.5)  # without a released lock the counter would wait half a second
        try:
            t = threading.Thread(target=counter)
            t.start()
            time.sleep(0.01)
            before = ticks
            start = time.perf_counter()
            read_string(doc, "r")
            elapsed = time.perf_counter() - start
            during = ticks - before
            stop.set()
            t.join()
        finally:
            sys.setswitchinterval(old)
        assert during > 1000, f"the other thread made {during} steps during a {elapsed:.3f}s parse"
