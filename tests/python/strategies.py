"""Hypothesis strategies and small helpers shared by the tests."""

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


def chain(depth, name="n"):
    """A chain of nested nodes named `name`, `depth` levels below the root."""
    node = Node(name)
    for _ in range(depth):
        node = Node(name, children=[node])
    return node


def bottom(node):
    """Walks down only children; returns the last node and the levels passed."""
    levels = 1
    while node.children:
        (node,) = node.children
        levels += 1
    return node, levels


def outline(node, spacing=None):
    """The outline method; its name would be mangled inside a class body."""
    method = getattr(node, "__to_string")
    return method() if spacing is None else method(spacing)


def assert_same_tree(a, b, sharing=False):
    """Names, attribute mappings, texts and child order agree at every level; with `sharing`, each
    node of `a` maps to one node of `b`, and distinct ones to distinct ones."""
    image, preimage, stack = {}, {}, [(a, b)]
    while stack:
        x, y = stack.pop()
        if sharing and image.setdefault(id(x), y) is not y:
            raise AssertionError("one node came back as two")
        if sharing and preimage.setdefault(id(y), x) is not x:
            raise AssertionError("two different nodes came back as one")
        assert type(y) is Node and (x.name, x.attrs, x.text) == (y.name, y.attrs, y.text)
        assert len(x.children) == len(y.children)
        stack.extend(zip(x.children, y.children))
