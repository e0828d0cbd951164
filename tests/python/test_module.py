"""The module object, its registration and the shared argument conventions."""

import gc
import sys

import pytest

import plovane
from plovane import Node, SearchType


def test_all_lists_the_public_names_in_registration_order():
    assert plovane.__all__ == ["SearchType", "Node", "read_file", "read_string", "write_file", "write_string"]
    assert plovane.__doc__ == ""


def test_functions_are_bound_to_the_module_and_carry_only_a_signature():
    for name, signature in [
        ("read_file", "(file_path, root_tag)"),
        ("read_string", "(xml_string, root_tag)"),
        ("write_file", "(node, file_path, indent=None, default_xml_def=None)"),
        ("write_string", "(node, indent=None, default_xml_def=None)"),
    ]:
        function = getattr(plovane, name)
        assert function.__module__ == "plovane" and function.__self__ is plovane
        assert function.__text_signature__ == signature and function.__doc__ is None


def test_classes_live_in_builtins_and_cannot_be_subclassed():
    for cls in (Node, SearchType):
        assert cls.__module__ == "builtins"
        with pytest.raises(TypeError):
            type("Sub", (cls,), {})
    assert Node.__doc__ is None and SearchType.__doc__ is None
    assert Node.__text_signature__ == "(name, attrs=None, children=None, text=None)"


def test_reimport_shares_the_classes():
    import importlib.util

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
    ],
)
def test_call_shape_errors_use_the_interpreters_wording(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message
    assert not getattr(info.value, "__notes__", None)


def test_conversion_errors_carry_a_note_naming_the_parameter():
    with pytest.raises(TypeError) as info:
        Node(5)
    assert str(info.value) == "'int' object is not an instance of 'str'"
    assert info.value.__notes__ == ["while processing 'name'"]
    with pytest.raises(TypeError) as info:
        Node(None)
    assert str(info.value) == "'None' is not an instance of 'str'"


def test_lone_surrogates_raise_the_interpreters_encode_error():
    with pytest.raises(UnicodeEncodeError) as info:
        Node("\ud800")
    assert info.value.__notes__ == ["while processing 'name'"]


def test_arguments_are_converted_in_order_so_the_first_bad_one_is_reported():
    with pytest.raises(TypeError) as info:
        Node(1, attrs=2, text=3)
    assert info.value.__notes__ == ["while processing 'name'"]
    with pytest.raises(TypeError) as info:
        Node("a", attrs=2, text=3)
    assert info.value.__notes__ == ["while processing 'attrs'"]


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
