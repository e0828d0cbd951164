"""Property tests: random trees survive XML text in both directions."""

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from plovane import Node, read_string, write_string

from strategies import assert_same_tree

# The Unicode White_Space set, which the reader trims from element text.
WHITE_SPACE = "\t\n\x0b\x0c\r \x85\xa0\u1680" + "".join(map(chr, range(0x2000, 0x200B))) + "\u2028\u2029\u202f\u205f\u3000"

names = st.from_regex(r"[A-Za-z_][A-Za-z0-9_.:\-é]{0,8}", fullmatch=True)
any_text = st.text(st.characters(exclude_categories=["Cs"], exclude_characters="\x00"), max_size=20)
texts = any_text.map(lambda s: s.strip(WHITE_SPACE)).filter(bool)


@st.composite
def trees(draw, depth=0):
    children = draw(st.lists(trees(depth + 1), max_size=3)) if depth < 4 else []
    attrs = draw(st.dictionaries(names, any_text, max_size=4))
    return Node(draw(names), attrs, children, draw(st.none() | texts))


def escape(text, quote=False):
    out = text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    # Literal white space in values is normalised by the reader, so it goes in as references.
    quoted = {"\t": "&#9;", "\n": "&#10;", "\r": "&#13;", '"': "&quot;"} if quote else {}
    return "".join(quoted.get(c, c) for c in out)


def to_xml(node, rng):
    """A small independent generator, mixing the forms XML allows."""
    parts, stack = [], [node]
    while stack:
        n = stack.pop()
        if isinstance(n, str):  # an end tag
            parts.append(n)
            continue
        attrs = "".join(f' {k}{rng.choice(["=", " = "])}"{escape(v, True)}"' for k, v in n.attrs.items())
        if not n.children and n.text is None and rng.random() < 0.5:
            parts.append(f"<{n.name}{attrs}/>")
            continue
        parts.append(f"<{n.name}{attrs}>")
        if n.text is not None and rng.random() < 0.3 and "]]>" not in n.text:
            parts.append(f"<![CDATA[{n.text}]]>")
        elif n.text is not None:
            parts.append(escape(n.text).replace("'", rng.choice(["'", "&apos;", "&#39;", "&#x27;"])))
        if rng.random() < 0.2:
            parts.append("<!-- c --><?pi x?>")
        stack.append(f"</{n.name}{rng.choice(['', ' ', chr(10)])}>")
        stack.extend(reversed(n.children))
    return "".join(parts)


@settings(max_examples=200, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(trees(), st.randoms(use_true_random=False), st.integers(0, 8), st.booleans())
def test_reading_generated_and_written_documents(tree, rng, indent, declaration):
    assert_same_tree(read_string(to_xml(tree, rng), tree.name), tree)
    assert_same_tree(read_string(write_string(tree, indent, declaration), tree.name), tree)
