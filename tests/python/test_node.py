"""The module, Node and SearchType: registration, construction, properties, identity, references,
search, and the argument conventions every function shares."""

import gc
import importlib.util
import inspect
import operator
import pathlib
import sys
import weakref
from collections import UserList

import numpy
import pytest

import plovane
from plovane import Node, SearchType, read_file, read_string, write_string

from strategies import outline


def test_registration():
    assert plovane.__all__ == ["SearchType", "Node", "read_file", "read_string", "write_file", "write_string"]
    assert plovane.__doc__ == "" and plovane._node_from_state.__module__ == "plovane"
    for cls in (Node, SearchType):
        assert cls.__module__ == "builtins" and cls.__doc__ is None
        with pytest.raises(TypeError):
            type("Sub", (cls,), {})
    found = importlib.util.find_spec("plovane")
    again = importlib.util.module_from_spec(found)
    found.loader.exec_module(again)  # a re-import shares the classes
    assert again.Node is Node and again.SearchType.Tag is SearchType.Tag
    preset = importlib.util.module_from_spec(found)
    preset.__all__ = ["before"]  # names already listed stay first
    found.loader.exec_module(preset)
    assert preset.__all__ == ["before", *plovane.__all__]
    preset = importlib.util.module_from_spec(found)
    preset.__all__ = ("before",)  # a tuple cannot take the names
    with pytest.raises(TypeError, match="^'tuple' object is not an instance of 'list'$"):
        found.loader.exec_module(preset)


@pytest.mark.parametrize(
    "function, signature",
    [
        (plovane.read_file, "(file_path, root_tag)"),
        (plovane.read_string, "(xml_string, root_tag)"),
        (plovane.write_file, "(node, file_path, indent=None, default_xml_def=None)"),
        (plovane.write_string, "(node, indent=None, default_xml_def=None)"),
        (Node, "(name, attrs=None, children=None, text=None)"),
        (Node.from_dict, "($cls, dict_)"),
        (getattr(Node, "__to_string"), "($self, spacing=None)"),
    ],
)
def test_signatures(function, signature):
    assert function.__text_signature__ == signature and function.__doc__ is None
    if getattr(plovane, function.__name__, None) is function and function is not Node:
        assert function.__module__ == "plovane" and function.__self__ is plovane


def test_construction_and_properties():
    parts = operator.attrgetter("name", "attrs", "children", "text")
    assert parts(Node("a", None, None, None)) == ("a", {}, [], None)
    assert parts(Node("", {"": ""}, [], "")) == ("", {"": ""}, [], "")
    a, b = Node("a"), Node("b")
    for make in (list, tuple, UserList):  # any sequence; one known only by registration: test_interpreters
        assert Node("p", children=make([])).children == []
        node = Node("p", {"k": "v"}, make([a, b, a]), "t")
        got = node.children  # a fresh list of the children themselves
        assert got[0] is a and got[1] is b and got[2] is a and got is not node.children
        got.append(Node("x"))
        node.attrs["k2"] = "v2"
        assert node.children == [a, b, a] and node.attrs == {"k": "v"}


def test_names_are_right_however_many_share_the_table_of_recent_names():
    # Names and attribute names come from a small table of recent ones:
    # thousands of one length (which must share its slots), names alike but
    # for their middle, long and non-ASCII ones.
    names = [f"n{i:06d}" for i in range(5000)]
    names += ["x" * 8 + middle + "y" * 8 for middle in "abc"] + ["l" * 100, "é" * 3, "日本"]
    doc = "<r>" + "".join(f'<{n} {n}="v"/>' for n in names) + "</r>"
    for _ in range(2):  # the second time meets the names the first left in the table
        for node, name in zip(read_string(doc, "r").children, names, strict=True):
            assert node.name == name and node.attrs == {name: "v"}
        assert [d["name"] for d in read_string(doc, "r").to_dict()["children"]] == names
    kept = [node.name for node in read_string(doc, "r").children]
    read_string(doc.replace("<n", "<m"), "r").to_dict()  # takes their slots
    assert kept == names


class SameText(str):
    """A str that equals only itself, so that a dict can hold its text twice."""

    def __hash__(self):
        return 1

    def __eq__(self, other):
        return self is other


def test_a_key_text_given_twice_keeps_the_later_value_as_a_map_that_overwrites():
    attrs = {"k": "first", SameText("x"): "1", SameText("k"): "second", "y": "2", SameText("x"): "3"}
    expected = {"k": "second", "x": "3", "y": "2"}
    assert Node("a", attrs).attrs == expected
    assert Node.from_dict({"name": "a", "attrs": attrs, "children": []}).attrs == expected


def test_nodes_are_immutable_untracked_and_compare_by_identity():
    a, b = Node("x"), Node("x")
    assert a != b and a == a and hash(a) != hash(b)
    for attr in ("name", "attrs", "children", "text", "other"):
        with pytest.raises(AttributeError):
            setattr(a, attr, None)
    assert not hasattr(a, "__dict__")
    with pytest.raises(TypeError):
        weakref.ref(a)
    assert not gc.is_tracked(Node("a", children=[Node("b")]))


def test_children_hold_one_reference_per_place_and_release_them():
    leaf = Node("leaf")
    base = sys.getrefcount(leaf)
    parent = Node("p", children=[leaf, leaf])
    assert sys.getrefcount(leaf) == base + 2
    del parent
    root = Node("r", children=[Node("m", children=[leaf] * 1000) for _ in range(100)])
    assert sys.getrefcount(leaf) == base + 100_000
    del root
    for _ in range(100):  # a failed construction keeps none
        with pytest.raises(TypeError):
            Node("a", children=[leaf, leaf, "x"])
        with pytest.raises(TypeError):
            Node("a", children=[leaf], text=5)
    gc.collect()
    assert sys.getrefcount(leaf) == base


def test_search():
    grandchild = Node("a", {"id": ""}, text="x")
    child = Node("a", {"ID": "1"}, [grandchild], text="")
    root = Node("a", {"k": "v"}, [child, Node("b", text="x")])
    # The nodes themselves, in preorder, matched exactly; absent text is not empty text.
    everything = root.search_by_name("a")
    assert len(everything) == 3 and all(x is y for x, y in zip(everything, [root, child, grandchild]))
    assert root.search_by_attr("id") == [grandchild] and root.search_by_attr("ID") == [child]
    assert root.search_by_name("A") == [] and root.search_by_text("x ") == []
    assert root.search_by_text("") == [child] and len(root.search_by_text("x")) == 2
    c = Node("c")
    assert Node("p", children=[c, c]).search_by_name("c") == [c, c]
    # A depth limits the levels examined; a negative one does not.
    assert root.search_by_name("a", depth=0) == [root] and root.search_by_name("b", depth=0) == []
    assert root.search_by_name("a", 1) == [root, child]
    assert root.search_by_name("a", depth=-1) == root.search_by_name("a", depth=None) == everything
    assert root.search_by_name("a", 2**31 - 1) == root.search_by_name("a", -(2**31)) == everything
    assert root.search(SearchType.Tag, "a") == everything
    assert root.search(SearchType.Attr, "id") == root.search_by_attr("id")
    assert root.search(SearchType.Text, "x", 1) == root.search_by_text("x", 1)
    assert root.search(by=SearchType.Attr, value="k", depth=0) == [root]


def test_search_type_members_render_their_names_and_equal_their_integers():
    members = (SearchType.Tag, SearchType.Attr, SearchType.Text)
    assert [repr(m) for m in members] == ["SearchType.Tag", "SearchType.Attr", "SearchType.Text"]
    assert str(SearchType.Attr) == "SearchType.Attr" and [int(m) for m in members] == [0, 1, 2]
    assert SearchType.Attr == 1 and SearchType.Attr == True and 1 == SearchType.Attr  # noqa: E712
    assert SearchType.Text == numpy.int64(2) and SearchType.Tag == SearchType.Tag
    assert SearchType.Tag != SearchType.Attr and SearchType.Tag != "Tag" and SearchType.Tag != 0.0
    assert SearchType.Tag != 2**70


@pytest.mark.parametrize(
    "operation",
    [lambda: SearchType.Tag < SearchType.Attr, lambda: hash(SearchType.Tag), lambda: {SearchType.Tag},
     lambda: [1, 2][SearchType.Attr], lambda: SearchType()],
    ids=["order", "hash", "set", "index", "instance"],
)
def test_search_type_has_no_order_hash_index_or_instances(operation):
    with pytest.raises(TypeError):
        operation()


def shape_error(message):
    """A call of the wrong shape: the interpreter's own wording, and no note."""
    return TypeError, message, None


NOT_STR = "'int' object is not an instance of 'str'"
NOT_INT = "'{}' object cannot be interpreted as an integer"
RANGE = "out of range integral type conversion attempted"
NO_TYPE = object()  # the message is checked against the interpreter's own


# (call, exception, message, parameter named in the note or None)
ARGUMENT_ERRORS = [
    (lambda: Node(), *shape_error("Node() missing 1 required positional argument: 'name'")),
    (lambda: Node("a", None, None, None, None),
     *shape_error("Node() takes from 1 to 4 positional arguments but 5 were given")),
    (lambda: Node("a", nme=1), *shape_error("Node() got an unexpected keyword argument 'nme'. Did you mean 'name'?")),
    (lambda: Node("a", zzz=1), *shape_error("Node() got an unexpected keyword argument 'zzz'")),
    (lambda: Node("a", name="b"), *shape_error("Node() got multiple values for argument 'name'")),
    (lambda: Node("a").search(), *shape_error("Node.search() missing 2 required positional arguments: 'by' and 'value'")),
    (lambda: Node("a").search_by_name("a", 1, 2),
     *shape_error("Node.search_by_name() takes from 1 to 2 positional arguments but 3 were given")),
    (lambda: Node("a").to_dict(1), *shape_error("Node.to_dict() takes 0 positional arguments but 1 was given")),
    (lambda: getattr(Node("a"), "__to_string")(1, 2),
     *shape_error("Node.__to_string() takes from 0 to 1 positional arguments but 2 were given")),
    (lambda: read_string("<a/>"), *shape_error("read_string() missing 1 required positional argument: 'root_tag'")),
    # The first parameter that fails to convert is named.
    (lambda: Node(5), TypeError, NOT_STR, "name"),
    (lambda: Node(None), TypeError, "'None' is not an instance of 'str'", "name"),
    (lambda: Node(1, attrs=2, text=3), TypeError, NOT_STR, "name"),
    (lambda: Node("a", attrs=2, text=3), TypeError, "'int' object is not an instance of 'dict'", "attrs"),
    (lambda: Node("a", {"k": 1}), TypeError, NOT_STR, "attrs"),
    (lambda: Node("a", {1: "v"}), TypeError, NOT_STR, "attrs"),
    (lambda: Node("a", children="ab"), TypeError, "Can't extract `str` to `Vec`", "children"),
    (lambda: Node("a", children=("x",)), TypeError, "'str' object is not an instance of 'Node'", "children"),
    *[(lambda v=v: Node("a", children=v), TypeError, f"'{type(v).__name__}' object is not an instance of 'Sequence'",
       "children") for v in ({}, {1, 2}, 3)],
    (lambda: Node("a", text=b"t"), TypeError, "'bytes' object is not an instance of 'str'", "text"),
    (lambda: Node("a").search_by_name(1), TypeError, NOT_STR, "name"),
    (lambda: Node("a").search_by_attr(None), TypeError, "'None' is not an instance of 'str'", "key"),
    (lambda: Node("a").search_by_text("t", "1"), TypeError, NOT_INT.format("str"), "depth"),
    (lambda: Node("a").search_by_name("a", 2**31), OverflowError, RANGE, "depth"),
    (lambda: Node("a").search_by_name("a", -(2**31) - 1), OverflowError, RANGE, "depth"),
    (lambda: Node("a").search(0, "a"), TypeError, "'int' object is not an instance of 'SearchType'", "by"),
    (lambda: Node("a").search(SearchType.Tag, 1), TypeError, NOT_STR, "value"),
    *[(lambda v=v: outline(Node("a"), v), OverflowError, RANGE, "spacing") for v in (256, -1, 2**64)],
    *[(lambda v=v: outline(Node("a"), v), TypeError, NOT_INT.format(type(v).__name__), "spacing")
      for v in ("1", 1.0, [1])],
    (lambda: read_string(b"<a/>", "a"), TypeError, "'bytes' object is not an instance of 'str'", "xml_string"),
    (lambda: read_string("<a/>", None), TypeError, "'None' is not an instance of 'str'", "root_tag"),
    # The document is converted first, its encoding included.
    (lambda: read_string("<a>é</a>", 3), TypeError, NOT_STR, "root_tag"),
    (lambda: read_string("<a>\ud800</a>", 3), UnicodeEncodeError, NO_TYPE, "xml_string"),
    (lambda: read_file(pathlib.Path("a.xml"), "a"), TypeError, "'PosixPath' object is not an instance of 'str'",
     "file_path"),
    (lambda: write_string(Node("r"), -1), OverflowError, "can't convert negative int to unsigned", "indent"),
    (lambda: write_string(Node("r"), 2**64), OverflowError, "int too big to convert", "indent"),
    *[(lambda v=v: write_string(Node("r"), v), TypeError, NOT_INT.format(type(v).__name__), "indent")
      for v in (2.0, "2")],
    *[(lambda v=v: write_string(Node("r"), None, v), TypeError, f"'{type(v).__name__}' object is not an instance of "
       "'bool'", "default_xml_def") for v in (1, "yes", numpy.int64(1))],
    (lambda: write_string("<r/>"), TypeError, "'str' object is not an instance of 'Node'", "node"),
    (lambda: write_string(None), TypeError, "'None' is not an instance of 'Node'", "node"),
]


@pytest.mark.parametrize("call, error, message, param", ARGUMENT_ERRORS)
def test_argument_errors(call, error, message, param):
    with pytest.raises(error) as info:
        call()
    assert type(info.value) is error
    if message is not NO_TYPE:
        assert str(info.value) == message
    assert getattr(info.value, "__notes__", None) == (None if param is None else [f"while processing '{param}'"])


def misspellings(name):
    """Keywords near `name` and far from it, as a caller might mistype them."""
    yield from {name[1:], name[:-1], name + name[-1], name.upper(), name.capitalize(), name[::-1],
                name[:2] + name[3:], name[1] + name[0] + name[2:], name.replace("_", ""), "x" + name,
                name + "_" * 30, name * 3, "q", "zz", "\u00e9" + name, "\ud800"}


@pytest.mark.parametrize("function", [Node, read_string, plovane.read_file, write_string, plovane.write_file,
                                      Node("a").search, Node("a").search_by_text, Node.from_dict,
                                      getattr(Node("a"), "__to_string")])
def test_unexpected_keywords_are_worded_as_for_a_python_function(function):
    # The same parameter names in a Python function give the interpreter's wording, its
    # "Did you mean ...?" included.
    params = list(inspect.signature(function).parameters)
    namespace = {}
    exec(f"def f({', '.join(params)}): pass", namespace)
    for param in params:
        for keyword in misspellings(param):
            if keyword in params:
                continue
            with pytest.raises(TypeError) as expected:
                namespace["f"](**{keyword: 1})
            with pytest.raises(TypeError) as info:
                function(**{keyword: 1})
            assert str(info.value).split("()", 1)[1] == str(expected.value).split("()", 1)[1]


@pytest.mark.parametrize("doc", ["<a>\udc00</a>", "<a>é\ud800</a>", "<a>😀\udfff</a>", "\ud800"])
def test_lone_surrogates_raise_the_interpreters_encode_error(doc):
    with pytest.raises(UnicodeEncodeError) as expected:
        doc.encode()
    for call, param in [(lambda: read_string(doc, "a"), "xml_string"), (lambda: Node(doc), "name"),
                        (lambda: Node.from_dict({doc: "a"}), "dict_")]:
        with pytest.raises(UnicodeEncodeError) as info:
            call()
        assert str(info.value) == str(expected.value)
        assert info.value.__notes__ == [f"while processing '{param}'"]
