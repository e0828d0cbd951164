"""The module in a subinterpreter (one sharing the main interpreter's lock). The classes are shared
by the whole process, but nothing that belongs to one interpreter may be: what counts as a
sequence is decided by the calling interpreter's own collections.abc.Sequence."""

import textwrap

import pytest

from plovane import Node

_interpreters = pytest.importorskip("_interpreters")

# Neither a sequence to the interpreter's own check (no __getitem__) nor, until registered, to
# collections.abc.
SEQUENCE_LIKE = """
import collections.abc, sys
from plovane import Node, SearchType, read_string, write_string

class Seqish:
    def __init__(self, items):
        self.items = items

    def __iter__(self):
        return iter(self.items)
"""

SCRIPTS = {
    "Node children": """
        collections.abc.Sequence.register(Seqish)
        assert [c.name for c in Node("a", children=Seqish([Node("b")])).children] == ["b"]
    """,
    "read, write and convert": """
        tree = read_string('<r><i k="v">t</i><i/></r>', "r")
        assert write_string(tree, 0, False) == '<r>\\n<i k="v">t</i>\\n<i/>\\n</r>'
        assert len(tree.search(SearchType.Tag, "i")) == 2
        as_dict = tree.to_dict()
        assert all(key is sys.intern(key) for key in as_dict), list(as_dict)
        assert Node.from_dict(as_dict).to_dict() == as_dict
    """,
}


@pytest.mark.parametrize("script", SCRIPTS.values(), ids=SCRIPTS.keys())
def test_a_subinterpreter_uses_its_own_sequence_abc(script):
    # The main interpreter asks first, so anything kept for the process would be its Sequence.
    with pytest.raises(TypeError, match="not an instance of 'Sequence'"):
        Node("a", children=5)
    interp = _interpreters.create("legacy")
    try:
        failure = _interpreters.run_string(interp, SEQUENCE_LIKE + textwrap.dedent(script))
    finally:
        _interpreters.destroy(interp)
    assert failure is None, failure.formatted + "\n" + getattr(failure, "errdisplay", "")
    namespace = {}  # the registration stayed in the subinterpreter
    exec(SEQUENCE_LIKE, namespace)
    with pytest.raises(TypeError, match="'Seqish' object is not an instance of 'Sequence'"):
        Node("a", children=namespace["Seqish"]([Node("b")]))
