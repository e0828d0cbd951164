"""Node.to_dict and Node.from_dict."""

import collections
import collections.abc

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from plovane import Node

from strategies import node_trees

# ---- helpers ---------------------------------------------------------------------

HEADER = "failed to extract enum HashmapTypes ('String | Vec | NullableString | Map')"


def variant(name, cause):
    return (
        f"- variant {name} ({name}): TypeError: failed to extract field "
        f"HashmapTypes::{name}.0, caused by {cause}"
    )


def enum_failure(string, vec, nullable, map_):
    return "\n".join(
        [
            HEADER,
            variant("String", string),
            variant("Vec", vec),
            variant("NullableString", nullable),
            variant("Map", map_),
        ]
    )


def mismatch(type_name, expected):
    if type_name == "None":
        return f"TypeError: 'None' is not an instance of '{expected}'"
    return f"TypeError: '{type_name}' object is not an instance of '{expected}'"


def list_failure(item_failure):
    """The failure of a list value one of whose items failed with `item_failure`."""
    return enum_failure(mismatch("list", "str"), item_failure, mismatch("list", "str"), mismatch("list", "dict"))


def nested(message):
    return "TypeError: " + message


def surrogate_error():
    try:
        "\ud800".encode("utf-8")
    except UnicodeEncodeError as error:
        return "UnicodeEncodeError: " + str(error)


def node_dict(name="a", attrs=None, children=None, **extra):
    d = {"name": name, "attrs": {} if attrs is None else attrs, "children": [] if children is None else children}
    d.update(extra)
    return d


def same_tree(a, b):
    """Names, attribute mappings, texts and child order agree at every level."""
    stack = [(a, b)]
    while stack:
        x, y = stack.pop()
        if (x.name, x.attrs, x.text) != (y.name, y.attrs, y.text):
            return False
        if len(x.children) != len(y.children):
            return False
        stack.extend(zip(x.children, y.children))
    return True


def from_properties(node):
    return {
        "name": node.name,
        "attrs": node.attrs,
        "children": [from_properties(c) for c in node.children],
        "text": node.text,
    }


def raises_type_error(value):
    with pytest.raises(TypeError) as info:
        Node.from_dict(value)
    assert info.value.__notes__ == ["while processing 'dict_'"]
    return str(info.value)


def raises_value_error(value):
    with pytest.raises(ValueError) as info:
        Node.from_dict(value)
    assert not hasattr(info.value, "__notes__")
    return str(info.value)


def chain(depth):
    node = Node("n")
    for _ in range(depth):
        node = Node("n", children=[node])
    return node


# ---- to_dict -------------------------------------------------------------------


def test_a_bare_node_gives_all_four_keys():
    assert Node("a").to_dict() == {"name": "a", "attrs": {}, "children": [], "text": None}
    assert Node("a", text="").to_dict()["text"] == ""


def test_the_worked_example_converts_to_nested_dicts():
    tag = Node("tag", {"lang": "en"})
    item = Node("item", children=[tag], text="first")
    root = Node("library", {"id": "7"}, [item])
    assert root.to_dict() == {
        "name": "library",
        "attrs": {"id": "7"},
        "text": None,
        "children": [
            {
                "name": "item",
                "attrs": {},
                "text": "first",
                "children": [{"name": "tag", "attrs": {"lang": "en"}, "children": [], "text": None}],
            }
        ],
    }


def test_to_dict_equals_the_dicts_built_from_the_properties():
    root = Node(
        "r",
        {f"k{i}": f"v{i}" for i in range(12)},
        [Node("c", {"ä": "ö"}, [Node("g", text="x\ny")], "") for _ in range(5)],
        "😀",
    )
    assert root.to_dict() == from_properties(root)


def test_each_call_builds_fresh_objects():
    child = Node("c", {"k": "v"})
    root = Node("r", children=[child])
    first, second = root.to_dict(), root.to_dict()
    assert first == second and first is not second
    assert first["children"] is not second["children"]
    first["children"].append({})
    first["children"][0]["attrs"]["x"] = "y"
    assert root.to_dict() == second and child.attrs == {"k": "v"}


def test_a_shared_child_is_converted_at_each_place():
    shared = Node("s", {"k": "v"}, [Node("leaf")])
    root = Node("r", children=[shared, Node("o"), shared])
    kids = root.to_dict()["children"]
    assert kids[0] == kids[2] == from_properties(shared)
    assert kids[0] is not kids[2]


def test_to_dict_takes_no_arguments():
    with pytest.raises(TypeError, match="takes 0 positional arguments but 1 was given"):
        Node("a").to_dict(1)
    with pytest.raises(TypeError, match="unexpected keyword argument 'x'"):
        Node("a").to_dict(x=1)


# ---- from_dict: accepted forms -----------------------------------------------------


def test_missing_text_gives_no_text():
    node = Node.from_dict(node_dict("a"))
    assert (node.name, node.attrs, node.children, node.text) == ("a", {}, [], None)


@pytest.mark.parametrize(
    "text, expected",
    [(None, None), ("", ""), ("t", "t"), ([], None), ({}, None), ({"k": "v"}, None), ([node_dict()], None)],
)
def test_text_values(text, expected):
    assert Node.from_dict(node_dict("a", text=text)).text == expected


def test_children_and_attrs_are_built_in_order():
    node = Node.from_dict(
        node_dict("r", {"x": "1", "y": "2"}, [node_dict("a", text="t"), node_dict("b", children=[node_dict("c")])])
    )
    assert node.attrs == {"x": "1", "y": "2"}
    assert [c.name for c in node.children] == ["a", "b"]
    assert node.children[0].text == "t" and node.children[1].children[0].name == "c"


@pytest.mark.parametrize(
    "children",
    [
        (node_dict("c"),),
        collections.UserList([node_dict("c")]),
        type("L", (list,), {})([node_dict("c")]),
    ],
    ids=["tuple", "UserList", "list subclass"],
)
def test_any_sequence_of_dicts_is_accepted_as_children(children):
    assert [c.name for c in Node.from_dict(node_dict("a", children=children)).children] == ["c"]


def test_dict_and_str_subclasses_are_accepted():
    class D(dict):
        pass

    class S(str):
        pass

    node = Node.from_dict(D(name=S("a"), attrs=collections.OrderedDict(k=S("v")), children=[D(node_dict("c"))]))
    assert node.name == "a" and node.attrs == {"k": "v"} and node.children[0].name == "c"


def test_other_keys_are_ignored_once_they_convert():
    extra = {"x": "s", "y": None, "z": [node_dict()], "w": {"k": "v"}}
    node = Node.from_dict(node_dict("a", **extra))
    assert same_tree(node, Node("a"))


def test_a_mapping_that_is_also_a_sequence_falls_through_to_map():
    class Both(dict, collections.abc.Sequence):
        pass

    assert Node.from_dict(node_dict("a", Both(k="v"))).attrs == {"k": "v"}


def test_from_dict_accepts_the_keyword_and_works_from_an_instance():
    assert Node.from_dict(dict_=node_dict("a")).name == "a"
    assert Node("z").from_dict(node_dict("b")).name == "b"
    assert Node.from_dict.__text_signature__ == "($cls, dict_)"


# ---- from_dict: type errors -----------------------------------------------------------


def test_the_value_five_gives_the_five_line_message():
    assert raises_type_error(node_dict("a", x=5)) == "\n".join(
        [
            "failed to extract enum HashmapTypes ('String | Vec | NullableString | Map')",
            "- variant String (String): TypeError: failed to extract field HashmapTypes::String.0, "
            "caused by TypeError: 'int' object is not an instance of 'str'",
            "- variant Vec (Vec): TypeError: failed to extract field HashmapTypes::Vec.0, "
            "caused by TypeError: 'int' object is not an instance of 'Sequence'",
            "- variant NullableString (NullableString): TypeError: failed to extract field "
            "HashmapTypes::NullableString.0, caused by TypeError: 'int' object is not an instance of 'str'",
            "- variant Map (Map): TypeError: failed to extract field HashmapTypes::Map.0, "
            "caused by TypeError: 'int' object is not an instance of 'dict'",
        ]
    )
    assert raises_type_error({"name": 5}) == raises_type_error(node_dict("a", x=5))


@pytest.mark.parametrize(
    "value, message",
    [
        ([node_dict()], "'list' object is not an instance of 'dict'"),
        (None, "'None' is not an instance of 'dict'"),
        ("abc", "'str' object is not an instance of 'dict'"),
        ({1: "a"}, "'int' object is not an instance of 'str'"),
        ({None: "a"}, "'None' is not an instance of 'str'"),
    ],
)
def test_the_argument_and_its_keys(value, message):
    assert raises_type_error(value) == message


def test_a_key_that_cannot_be_encoded_raises_the_encoding_error():
    with pytest.raises(UnicodeEncodeError) as info:
        Node.from_dict({"\ud800": "a"})
    assert info.value.__notes__ == ["while processing 'dict_'"]


def test_an_attribute_value_that_is_not_a_str():
    dict_refused = [mismatch("dict", "str"), mismatch("dict", "Sequence"), mismatch("dict", "str")]
    assert raises_type_error(node_dict("a", {"k": 1})) == enum_failure(*dict_refused, mismatch("int", "str"))
    assert raises_type_error(node_dict("a", {"k": None})) == enum_failure(
        *dict_refused, "TypeError: 'None' is not an instance of 'str'"
    )


def test_text_that_cannot_be_encoded():
    assert raises_type_error(node_dict("\ud800")) == enum_failure(
        surrogate_error(), "TypeError: Can't extract `str` to `Vec`", surrogate_error(), mismatch("str", "dict")
    )


def test_a_child_item_that_is_not_a_dict():
    assert raises_type_error(node_dict("a", children=[node_dict(), 3])) == list_failure(mismatch("int", "dict"))
    assert raises_type_error(node_dict("a", children=[None])) == list_failure(mismatch("None", "dict"))
    assert raises_type_error(node_dict("a", children=["x"])) == list_failure(mismatch("str", "dict"))


def test_a_child_with_a_key_that_is_not_a_str():
    assert raises_type_error(node_dict("a", children=[{5: "x"}])) == list_failure(mismatch("int", "str"))


def test_a_child_whose_value_fails_nests_the_childs_message():
    inner = enum_failure(mismatch("int", "str"), mismatch("int", "Sequence"), mismatch("int", "str"), mismatch("int", "dict"))
    assert raises_type_error(node_dict("a", children=[node_dict("b", text=5)])) == list_failure(nested(inner))


def test_failures_nest_once_per_level():
    depth = 200
    d = node_dict("n", x=[7])
    for _ in range(depth):
        d = node_dict("n", children=[d])
    expected = list_failure(mismatch("int", "dict"))
    for _ in range(depth):
        expected = list_failure(nested(expected))
    assert raises_type_error(d) == expected


def test_an_ignored_key_deep_inside_a_child_still_fails():
    value = node_dict(None, children=[node_dict("c", x=[1])])
    assert raises_type_error(value) == list_failure(nested(list_failure(mismatch("int", "dict"))))


def test_a_str_is_not_a_list_of_children_but_a_string():
    # "ab" converts to String, so only the value check complains.
    assert raises_value_error(node_dict("a", children="ab")) == "Invalid children"


@pytest.mark.parametrize("value", [{1, 2}, 1.5, object(), True])
def test_values_no_variant_accepts(value):
    type_name = type(value).__name__
    assert raises_type_error(node_dict("a", x=value)) == enum_failure(
        mismatch(type_name, "str"), mismatch(type_name, "Sequence"), mismatch(type_name, "str"), mismatch(type_name, "dict")
    )


def test_bytes_are_a_sequence_whose_items_are_not_dicts():
    assert raises_type_error(node_dict("a", x=b"x")) == enum_failure(
        mismatch("bytes", "str"), mismatch("int", "dict"), mismatch("bytes", "str"), mismatch("bytes", "dict")
    )


def test_exceptions_from_a_sequence_are_shown_with_their_causes():
    class Broken(collections.abc.Sequence):
        def __len__(self):
            return 1

        def __getitem__(self, index):
            try:
                raise ValueError("inner")
            except ValueError as error:
                raise RuntimeError("outer") from error

    assert raises_type_error(node_dict("a", children=Broken())) == enum_failure(
        mismatch("Broken", "str"),
        "RuntimeError: outer, caused by ValueError: inner",
        mismatch("Broken", "str"),
        mismatch("Broken", "dict"),
    )


# ---- from_dict: value errors and their order -----------------------------------------------


@pytest.mark.parametrize(
    "value, message",
    [
        ({}, "Invalid name"),
        ({"name": None}, "Invalid name"),
        ({"name": []}, "Invalid name"),
        ({"name": {}}, "Invalid name"),
        ({"name": "a", "children": []}, "Invalid attrs"),
        ({"name": "a", "attrs": [], "children": []}, "Invalid attrs"),
        ({"name": "a", "attrs": "x", "children": []}, "Invalid attrs"),
        ({"name": "a", "attrs": {}}, "Invalid children"),
        ({"name": "a", "attrs": {}, "children": None}, "Invalid children"),
        ({"name": "a", "attrs": {}, "children": {}}, "Invalid children"),
    ],
)
def test_fields_of_the_wrong_variant(value, message):
    assert raises_value_error(value) == message


def test_every_type_error_comes_before_any_value_error():
    message = raises_type_error({"name": None, "attrs": {}, "children": [], "x": 1})
    assert message.startswith(HEADER)
    message = raises_type_error({"name": None, "children": [node_dict("c", text=1.5)]})
    assert message.startswith(HEADER) and "'float' object" in message


def test_value_errors_are_found_parent_first_then_children_in_order():
    assert raises_value_error(node_dict("r", [], [{"name": None}])) == "Invalid attrs"
    assert raises_value_error(node_dict("r", children=[node_dict("a"), {"name": "b"}, {}])) == "Invalid attrs"
    assert raises_value_error(node_dict("r", children=[node_dict("a", children=[{}]), {"name": "b"}])) == "Invalid name"


# ---- round trips ---------------------------------------------------------------------------

@settings(max_examples=120, deadline=None)
@given(node_trees)
def test_from_dict_of_to_dict_gives_an_equal_tree(tree):
    copy = Node.from_dict(tree.to_dict())
    assert same_tree(copy, tree)
    assert copy.to_dict() == tree.to_dict() == from_properties(tree)


def test_a_round_trip_makes_new_nodes_even_for_shared_children():
    shared = Node("s", text="t")
    root = Node("r", children=[shared, shared])
    copy = Node.from_dict(root.to_dict())
    assert same_tree(copy, root)
    a, b = copy.children
    assert a is not b and a is not shared


def test_same_tree_notices_differences():
    base = Node("r", {"k": "v"}, [Node("a"), Node("b", text="")])
    assert same_tree(base, Node.from_dict(base.to_dict()))
    for other in [
        Node("r", {"k": "v"}, [Node("a"), Node("b")]),
        Node("r", {"k": "w"}, [Node("a"), Node("b", text="")]),
        Node("r", {"k": "v"}, [Node("b", text=""), Node("a")]),
        Node("r", {"k": "v"}, [Node("a")]),
    ]:
        assert not same_tree(base, other)


# ---- depth -------------------------------------------------------------------------------------


def test_a_million_deep_chain_converts_both_ways():
    depth = 1_000_000
    d = chain(depth).to_dict()
    level, count = d, 0
    while level["children"]:
        assert level["name"] == "n" and len(level["children"]) == 1
        level, count = level["children"][0], count + 1
    assert count == depth
    node = Node.from_dict(d)
    count = 0
    while node.children:
        node, count = node.children[0], count + 1
    assert count == depth and node.name == "n"


def test_a_million_deep_dict_with_a_value_error_at_the_bottom():
    d = {"name": "n", "attrs": {}}
    for _ in range(1_000_000):
        d = node_dict("n", children=[d])
    assert raises_value_error(d) == "Invalid children"


def test_key_order_is_not_fixed_but_the_mapping_is():
    root = Node("r", children=[Node("c", {"k": "v"}, text="t") for _ in range(100)])
    kids = root.to_dict()["children"]
    assert all(kid == {"name": "c", "attrs": {"k": "v"}, "children": [], "text": "t"} for kid in kids)
    assert len({tuple(kid) for kid in kids}) > 1
