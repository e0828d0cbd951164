"""Hypothesis strategies shared by the property tests."""

from hypothesis import strategies as st

from plovane import Node

# Any Node tree: names, attributes and texts of any characters, a few levels deep.
node_trees = st.deferred(
    lambda: st.builds(
        Node,
        st.text(max_size=6),
        st.dictionaries(st.text(max_size=5), st.text(max_size=5), max_size=4),
        st.lists(node_trees, max_size=3),
        st.none() | st.text(max_size=8),
    )
)
