"""Tree search and SearchType."""

import numpy
import pytest

from plovane import Node, SearchType


@pytest.fixture
def tree():
    grandchild = Node("a", {"id": ""}, text="x")
    child = Node("a", {"ID": "1"}, [grandchild], text="")
    return Node("a", {"k": "v"}, [child, Node("b", text="x")]), child, grandchild


def test_results_are_the_nodes_themselves_in_preorder_matched_exactly(tree):
    root, child, grandchild = tree
    found = root.search_by_name("a")
    assert len(found) == 3 and found[0] is root and found[1] is child and found[2] is grandchild
    assert root.search_by_attr("id") == [grandchild] and root.search_by_attr("ID") == [child]
    assert root.search_by_name("A") == [] and root.search_by_text("x ") == []
    # Absent text is not empty text.
    assert root.search_by_text("") == [child] and len(root.search_by_text("x")) == 2
    c = Node("c")
    assert Node("p", children=[c, c]).search_by_name("c") == [c, c]


def test_depth_limits_the_levels_examined(tree):
    root, child, _ = tree
    everything = root.search_by_name("a")
    assert root.search_by_name("a", depth=0) == [root]
    assert root.search_by_name("b", depth=0) == []
    assert root.search_by_name("a", 1) == [root, child]
    assert root.search_by_name("a", depth=-1) == root.search_by_name("a", depth=None) == everything
    assert root.search_by_name("a", 2**31 - 1) == root.search_by_name("a", -(2**31)) == everything


def test_general_search_matches_the_direct_methods(tree):
    root, _, _ = tree
    assert root.search(SearchType.Tag, "a") == root.search_by_name("a")
    assert root.search(SearchType.Attr, "id") == root.search_by_attr("id")
    assert root.search(SearchType.Text, "x", 1) == root.search_by_text("x", 1)
    assert root.search(by=SearchType.Attr, value="k", depth=0) == [root]


@pytest.mark.parametrize(
    "call, error, message, param",
    [
        (lambda n: n.search_by_name(1), TypeError, "'int' object is not an instance of 'str'", "name"),
        (lambda n: n.search_by_attr(None), TypeError, "'None' is not an instance of 'str'", "key"),
        (lambda n: n.search_by_text("t", "1"), TypeError, "'str' object cannot be interpreted as an integer", "depth"),
        (lambda n: n.search_by_name("a", 2**31), OverflowError, "out of range integral type conversion attempted", "depth"),
        (lambda n: n.search_by_name("a", -2**31 - 1), OverflowError, "out of range integral type conversion attempted", "depth"),
        (lambda n: n.search(0, "a"), TypeError, "'int' object is not an instance of 'SearchType'", "by"),
        (lambda n: n.search(SearchType.Tag, 1), TypeError, "'int' object is not an instance of 'str'", "value"),
    ],
)
def test_search_argument_errors(call, error, message, param):
    with pytest.raises(error) as info:
        call(Node("a"))
    assert str(info.value) == message
    assert info.value.__notes__ == [f"while processing '{param}'"]


def test_search_type_members_are_shared_and_render_their_names():
    members = (SearchType.Tag, SearchType.Attr, SearchType.Text)
    assert SearchType.Tag is SearchType.Tag
    assert [repr(m) for m in members] == ["SearchType.Tag", "SearchType.Attr", "SearchType.Text"]
    assert str(SearchType.Attr) == "SearchType.Attr"
    assert [int(m) for m in members] == [0, 1, 2]


def test_search_type_equality_with_members_and_integers():
    assert SearchType.Attr == 1 and SearchType.Attr == True and 1 == SearchType.Attr
    assert SearchType.Text == numpy.int64(2)
    assert SearchType.Tag != SearchType.Attr and SearchType.Tag == SearchType.Tag
    assert SearchType.Tag != "Tag" and SearchType.Tag != 0.0 and SearchType.Tag != 2**70


@pytest.mark.parametrize(
    "operation",
    [lambda: SearchType.Tag < SearchType.Attr, lambda: hash(SearchType.Tag), lambda: {SearchType.Tag},
     lambda: [1, 2][SearchType.Attr], lambda: SearchType()],
    ids=["order", "hash", "set", "index", "instance"],
)
def test_search_type_has_no_order_hash_index_or_instances(operation):
    with pytest.raises(TypeError):
        operation()
