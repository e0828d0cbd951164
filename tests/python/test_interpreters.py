"""The module in a subinterpreter (one sharing the main interpreter's lock).

The classes are shared by the whole process, but nothing that belongs to
one interpreter may be: what counts as a sequence is decided by the calling
interpreter's own collections.abc.Sequence, registrations included.
"""

import textwrap

import pytest

from plovane import Node

_interpreters = pytest.importorskip("_interpreters")

SEQUENCE_LIKE = textwrap.dedent(
    """
    import collections.abc
    from plovane import Node

    class Seqish:
        # Neither a sequence to the interpreter's own check (no __getitem__)
        # nor, until registered, to collections.abc.
        def __init__(self, items):
            self.items = items

        def __iter__(self):
            return iter(self.items)
    """
)

# Each script registers Seqish in its interpreter and uses it where a
# sequence is expected.
CALLS = {
    "Node children": """
        node = Node("a", children=Seqish([Node("b")]))
        assert [c.name for c in node.children] == ["b"], node.children
    """,
    "from_dict children": """
        node = Node.from_dict({"name": "a", "attrs": {}, "text": None,
                               "children": Seqish([{"name": "b", "attrs": {}, "children": [], "text": None}])})
        assert node.to_dict()["children"][0]["name"] == "b"
    """,
}


def run_in_subinterpreter(script):
    interp = _interpreters.create("legacy")
    try:
        return _interpreters.run_string(interp, script)
    finally:
        _interpreters.destroy(interp)


@pytest.mark.parametrize("call", CALLS.values(), ids=CALLS.keys())
def test_a_subinterpreter_uses_its_own_sequence_abc(call):
    # The main interpreter asks first, so anything kept for the process
    # would be its Sequence, not the subinterpreter's.
    with pytest.raises(TypeError, match="not an instance of 'Sequence'"):
        Node("a", children=5)
    script = SEQUENCE_LIKE + "collections.abc.Sequence.register(Seqish)\n" + textwrap.dedent(call)
    failure = run_in_subinterpreter(script)
    assert failure is None, failure.formatted + "\n" + getattr(failure, "errdisplay", "")
    # The registration stayed in the subinterpreter.
    namespace = {}
    exec(SEQUENCE_LIKE, namespace)
    with pytest.raises(TypeError, match="'Seqish' object is not an instance of 'Sequence'"):
        Node("a", children=namespace["Seqish"]([Node("b")]))


def test_a_subinterpreter_reads_writes_and_converts():
    script = textwrap.dedent(
        """
        import sys
        from plovane import Node, SearchType, read_string, write_string
        tree = read_string('<r><i k="v">t</i><i/></r>', "r")
        assert write_string(tree, 0, False) == '<r>\\n<i k="v">t</i>\\n<i/>\\n</r>'
        assert len(tree.search(SearchType.Tag, "i")) == 2
        as_dict = tree.to_dict()
        assert all(key is sys.intern(key) for key in as_dict), list(as_dict)
        assert Node.from_dict(as_dict).to_dict() == as_dict
        """
    )
    failure = run_in_subinterpreter(script)
    assert failure is None, failure.formatted + "\n" + getattr(failure, "errdisplay", "")
