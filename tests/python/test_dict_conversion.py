"""Node.to_dict and Node.from_dict."""

import collections
import collections.abc

import pytest
from hypothesis import given, settings

from plovane import Node

from strategies import assert_same_tree, node_trees

HEADER = "failed to extract enum HashmapTypes ('String | Vec | NullableString | Map')"


def enum_failure(string, vec, nullable, map_):
    """The message of a value no variant accepts, given each variant's cause."""
    causes = [("String", string), ("Vec", vec), ("NullableString", nullable), ("Map", map_)]
    return "\n".join([HEADER] + [f"- variant {name} ({name}): TypeError: failed to extract field "
                                  f"HashmapTypes::{name}.0, caused by {cause}" for name, cause in causes])


def mismatch(type_name, expected):
    what = "'None'" if type_name == "None" else f"'{type_name}' object"
    return f"TypeError: {what} is not an instance of '{expected}'"


def refused(type_name):
    """A value of a type no variant takes."""
    return enum_failure(*(mismatch(type_name, t) for t in ("str", "Sequence", "str", "dict")))


def list_failure(item_failure):
    """The failure of a list value one of whose items failed with `item_failure`."""
    return enum_failure(mismatch("list", "str"), item_failure, mismatch("list", "str"), mismatch("list", "dict"))


def nested(depth, innermost):
    """A list failure `depth` children down."""
    message = list_failure(innermost)
    for _ in range(depth):
        message = list_failure("TypeError: " + message)
    return message


def surrogate_error():
    try:
        "\ud800".encode("utf-8")
    except UnicodeEncodeError as error:
        return "UnicodeEncodeError: " + str(error)


def node_dict(name="a", attrs=None, children=None, **extra):
    d = {"name": name, "attrs": {} if attrs is None else attrs, "children": [] if children is None else children}
    d.update(extra)
    return d


def from_properties(node):
    children = [from_properties(c) for c in node.children]
    return {"name": node.name, "attrs": node.attrs, "children": children, "text": node.text}


class Both(dict, collections.abc.Sequence):
    pass


D = type("D", (dict,), {})
S = type("S", (str,), {})


class Broken(collections.abc.Sequence):
    def __len__(self):
        return 1

    def __getitem__(self, index):
        try:
            raise ValueError("inner")
        except ValueError as error:
            raise RuntimeError("outer") from error


def test_conversions_make_fresh_objects_each_call_and_place():
    shared = Node("c", {"k": "v"}, [Node("leaf")])
    root = Node("r", children=[shared, Node("o"), shared])
    first, second = root.to_dict(), root.to_dict()
    assert first == second and first["children"] is not second["children"]
    kids = first["children"]
    assert kids[0] == kids[2] == from_properties(shared) and kids[0] is not kids[2]
    kids[0]["attrs"]["x"] = "y"
    assert root.to_dict() == second and shared.attrs == {"k": "v"}
    a, _, b = Node.from_dict(second).children
    assert a is not b and a is not shared
    # The key order of each dict is not fixed, but the mapping is.
    kids = Node("r", children=[Node("c", {"k": "v"}, text="t") for _ in range(100)]).to_dict()["children"]
    assert all(kid == {"name": "c", "attrs": {"k": "v"}, "children": [], "text": "t"} for kid in kids)
    assert len({tuple(kid) for kid in kids}) > 1


def bare(name="a", text=None, children=()):
    return {"name": name, "attrs": {}, "children": list(children), "text": text}


@pytest.mark.parametrize(
    "value, expected",
    [
        ({"name": "a", "attrs": {}, "children": []}, bare()),
        *[(node_dict(text=text), bare(text=expected)) for text, expected in
          [(None, None), ("", ""), ("t", "t"), ([], None), ({}, None), ({"k": "v"}, None), ([node_dict()], None)]],
        (node_dict("r", {"x": "1", "y": "2"}, [node_dict("a", text="t"), node_dict("b", children=[node_dict("c")])]),
         {**bare("r", children=[bare("a", "t"), bare("b", children=[bare("c")])]), "attrs": {"x": "1", "y": "2"}}),
        (node_dict(children=(node_dict("c"),)), bare(children=[bare("c")])),
        (node_dict(children=collections.UserList([node_dict("c")])), bare(children=[bare("c")])),
        (node_dict(children=type("L", (list,), {})([node_dict("c")])), bare(children=[bare("c")])),
        (D(name=S("a"), attrs=collections.OrderedDict(k=S("v")), children=[D(node_dict("c"))]),
         {**bare(children=[bare("c")]), "attrs": {"k": "v"}}),
        (node_dict(x="s", y=None, z=[node_dict()], w={"k": "v"}), bare()),  # other keys, once they convert
        (node_dict(attrs=Both(k="v")), {**bare(), "attrs": {"k": "v"}}),  # a mapping first
    ],
)
def test_accepted_forms(value, expected):
    assert Node.from_dict(value).to_dict() == expected


def test_from_dict_accepts_the_keyword_and_works_from_an_instance():
    assert Node.from_dict(dict_=node_dict("a")).name == "a"
    assert Node("z").from_dict(node_dict("b")).name == "b"


def deep_with_type_error(depth):
    d = node_dict("n", x=[7])
    for _ in range(depth):
        d = node_dict("n", children=[d])
    return d


DICT_REFUSED = [mismatch("dict", "str"), mismatch("dict", "Sequence"), mismatch("dict", "str")]

TYPE_ERRORS = [
    (node_dict("a", x=5), refused("int")),
    ([node_dict()], "'list' object is not an instance of 'dict'"),
    (None, "'None' is not an instance of 'dict'"),
    ({None: "a"}, "'None' is not an instance of 'str'"),
    (node_dict("a", {"k": 1}), enum_failure(*DICT_REFUSED, mismatch("int", "str"))),
    (node_dict("a", {"k": None}), enum_failure(*DICT_REFUSED, "TypeError: 'None' is not an instance of 'str'")),
    (node_dict("\ud800"), enum_failure(surrogate_error(), "TypeError: Can't extract `str` to `Vec`",
                                       surrogate_error(), mismatch("str", "dict"))),
    (node_dict("a", children=[node_dict(), 3]), list_failure(mismatch("int", "dict"))),
    (node_dict("a", children=[{5: "x"}]), list_failure(mismatch("int", "str"))),
    (node_dict("a", children=[node_dict("b", text=5)]), list_failure("TypeError: " + refused("int"))),
    (deep_with_type_error(200), nested(200, mismatch("int", "dict"))),
    *[(node_dict("a", x=value), refused(type(value).__name__)) for value in [{1, 2}, 1.5, object(), True]],
    (node_dict("a", x=b"x"), enum_failure(mismatch("bytes", "str"), mismatch("int", "dict"),
                                          mismatch("bytes", "str"), mismatch("bytes", "dict"))),
    (node_dict("a", children=Broken()), enum_failure(mismatch("Broken", "str"), "RuntimeError: outer, caused by "
                                                     "ValueError: inner", mismatch("Broken", "str"),
                                                     mismatch("Broken", "dict"))),
    # Every type error comes before any value error.
    ({"name": None, "attrs": {}, "children": [], "x": 1}, refused("int")),
    ({"name": None, "children": [node_dict("c", text=1.5)]}, list_failure("TypeError: " + refused("float"))),
]


# Value errors carry no note; the parent is checked first, then the children in order.
VALUE_ERRORS = [
    ({}, "Invalid name"), ({"name": []}, "Invalid name"), ({"name": "a", "children": []}, "Invalid attrs"),
    ({"name": "a", "attrs": [], "children": []}, "Invalid attrs"), ({"name": "a", "attrs": {}}, "Invalid children"),
    ({"name": "a", "attrs": {}, "children": {}}, "Invalid children"),
    (node_dict("a", children="ab"), "Invalid children"),  # a str converts as String
    (node_dict("r", [], [{"name": None}]), "Invalid attrs"),
    (node_dict("r", children=[node_dict("a"), {"name": "b"}, {}]), "Invalid attrs"),
    (node_dict("r", children=[node_dict("a", children=[{}]), {"name": "b"}]), "Invalid name"),
]


@pytest.mark.parametrize("value, message", TYPE_ERRORS + VALUE_ERRORS)
def test_errors(value, message):
    error = ValueError if message.startswith("Invalid") else TypeError
    with pytest.raises(error) as info:
        Node.from_dict(value)
    assert type(info.value) is error and str(info.value) == message
    assert getattr(info.value, "__notes__", None) == (["while processing 'dict_'"] if error is TypeError else None)


def test_a_million_deep_dict_with_a_value_error_at_the_bottom():
    d = {"name": "n", "attrs": {}}
    for _ in range(1_000_000):
        d = node_dict("n", children=[d])
    test_errors(d, "Invalid children")


@settings(max_examples=120, deadline=None)
@given(node_trees)
def test_from_dict_of_to_dict_gives_an_equal_tree(tree):
    copy = Node.from_dict(tree.to_dict())
    assert_same_tree(copy, tree)
    assert copy.to_dict() == tree.to_dict() == from_properties(tree)
