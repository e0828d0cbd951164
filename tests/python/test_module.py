"""The module object, its registration and the shared argument conventions."""

import gc
import importlib.util
import sys

import pytest

import plovane
from plovane import Node, SearchType


def test_all_lists_the_public_names_in_registration_order():
    assert plovane.__all__ == ["SearchType", "Node", "read_file", "read_string", "write_file", "write_string"]
    assert plovane.__doc__ == ""


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


def test_classes_live_in_builtins_and_cannot_be_subclassed():
    for cls in (Node, SearchType):
        assert cls.__module__ == "builtins" and cls.__doc__ is None
        with pytest.raises(TypeError):
            type("Sub", (cls,), {})


def test_reimport_shares_the_classes():
    found = importlib.util.find_spec("plovane")
    again = importlib.util.module_from_spec(found)
    found.loader.exec_module(again)
    assert again.Node is Node and again.SearchType is SearchType
    assert again.SearchType.Tag is SearchType.Tag


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: Node(), "Node() missing 1 required positional argument: 'name'"),
        (lambda: Node("a", None, None, None, None), "Node() takes from 1 to 4 positional arguments but 5 were given"),
        (lambda: Node("a", nme=1), "Node() got an unexpected keyword argument 'nme'"),
        (lambda: Node("a", name="b"), "Node() got multiple values for argument 'name'"),
        (lambda: Node("a").search(), "Node.search() missing 2 required positional arguments: 'by' and 'value'"),
        (lambda: Node("a").search_by_name("a", 1, 2),
         "Node.search_by_name() takes from 1 to 2 positional arguments but 3 were given"),
        (lambda: Node("a").to_dict(1), "Node.to_dict() takes 0 positional arguments but 1 was given"),
        (lambda: Node("a").to_dict(x=1), "Node.to_dict() got an unexpected keyword argument 'x'"),
        (lambda: getattr(Node("a"), "__to_string")(1, 2),
         "Node.__to_string() takes from 0 to 1 positional arguments but 2 were given"),
        (lambda: getattr(Node("a"), "__to_string")(indent=1),
         "Node.__to_string() got an unexpected keyword argument 'indent'"),
        (lambda: plovane.read_string("<a/>"), "read_string() missing 1 required positional argument: 'root_tag'"),
        (lambda: plovane.read_string("<a/>", root="a"), "read_string() got an unexpected keyword argument 'root'"),
    ],
)
def test_call_shape_errors_use_the_interpreters_wording(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message
    assert not getattr(info.value, "__notes__", None)


def test_conversion_errors_carry_a_note_naming_the_first_bad_parameter():
    for args, kwargs, message, param in [
        ((5,), {}, "'int' object is not an instance of 'str'", "name"),
        ((None,), {}, "'None' is not an instance of 'str'", "name"),
        ((1,), {"attrs": 2, "text": 3}, "'int' object is not an instance of 'str'", "name"),
        (("a",), {"attrs": 2, "text": 3}, "'int' object is not an instance of 'dict'", "attrs"),
    ]:
        with pytest.raises(TypeError) as info:
            Node(*args, **kwargs)
        assert str(info.value) == message
        assert info.value.__notes__ == [f"while processing '{param}'"]


def test_lone_surrogates_raise_the_interpreters_encode_error():
    with pytest.raises(UnicodeEncodeError) as info:
        Node("\ud800")
    assert info.value.__notes__ == ["while processing 'name'"]


def test_failed_construction_keeps_no_reference():
    child = Node("c")
    before = sys.getrefcount(child)
    for _ in range(100):
        with pytest.raises(TypeError):
            Node("a", children=[child, child, "x"])
        with pytest.raises(TypeError):
            Node("a", children=[child], text=5)
    gc.collect()
    assert sys.getrefcount(child) == before
