"""Hostile input: names cut by the index inside a character, document types with an internal
subset, runs of unterminated constructs and elements with very many attributes. Every failure is
the malformed-XML ValueError with a readable message; how long these take is measured by
bench/growth_bench.py, not here."""

import pytest

import plovane

# The index keeps a name's length modulo 65536.
NAME_LENGTH_WRAP = 65536


def cut_name(prefix: str, char: str, inside: int) -> str:
    """A name the index cuts `inside` bytes into the first `char` after `prefix`."""
    width = len(char.encode())
    assert 0 < inside < width
    return prefix + char * 1000 + "z" * (NAME_LENGTH_WRAP + inside - width * 1000)


def byte_length(text: str) -> int:
    return len(text.encode())


def read_error(document: str, root: str) -> str:
    with pytest.raises(ValueError) as caught:
        plovane.read_string(document, root)
    # UnicodeDecodeError is a ValueError too: only the reader's own will do.
    assert type(caught.value) is ValueError
    return str(caught.value)


CUTS = [
    pytest.param("ab", "é", 1, id="two-byte"),
    pytest.param("x", "€", 2, id="three-byte, second byte"),
    pytest.param("n-", "😀", 3, id="four-byte"),
    pytest.param("é", "€", 1, id="three-byte, first byte, after a whole one"),
]


@pytest.mark.parametrize(("prefix", "char", "inside"), CUTS)
def test_tag_name_cut_inside_a_character(prefix, char, inside):
    name = cut_name(prefix, char, inside)
    assert read_error(f"<r></{name}>", "r") == f"malformed XML at byte 3: malformed end tag </{prefix}>"
    assert read_error(f"</{name}><r/>", "r") == f"malformed XML at byte 0: malformed end tag </{prefix}>"
    # An element before the root keeps its (cut) name until its end tag.
    at = byte_length(f"<{name}>")
    assert read_error(f"<{name}></q><r/>", "r") == f"malformed XML at byte {at}: expected </{prefix}>, found </q>"


# Each subset holds a '>' (or ']>') that would have ended the declaration, in a literal, a
# comment or a processing instruction; the document's own <r> follows it.
INTERNAL_SUBSETS = [
    '<!DOCTYPE x [<!ENTITY f "a>b<r>fake</r>">]>',
    "<!DOCTYPE x [<!-- ]> <r>fake</r> -->]>",
    '<!DOCTYPE x [<!-- "unbalanced <r>fake</r> --><!ELEMENT x ANY>]>',
    '<!DOCTYPE x [<!ATTLIST x a CDATA "<!--"><!ELEMENT r ANY><?p <r>fake</r>?>] >',
    "<!DOCTYPE x [\n  <!ENTITY a 'x'>\n  <!ENTITY b \"]]><r>fake</r>\">\n]>",
]


@pytest.mark.parametrize("subset", INTERNAL_SUBSETS)
def test_internal_subset_ends_after_its_closing_bracket(subset):
    document = subset + "<x><r>real</r></x>"
    assert plovane.read_string(document, "r").text == "real"
    assert plovane.read_string(document, "x").children[0].text == "real"
    # Many attribute values decide the index strategy; both must end the subset alike.
    quoted = subset + '<x a="1" b="2" c="3" d="4" e="5" f="6"><r>real</r></x>'
    assert plovane.read_string(quoted, "r").text == "real"


@pytest.mark.parametrize("literal", ['"a>b"', '"[>b"', "'x[y>'"])
def test_a_declaration_without_a_subset_ends_at_its_first_gt_even_with_a_bracket_in_a_literal(literal):
    # Only a '[' outside the literals opens a subset; a literal's '[' changes nothing.
    rest = literal[literal.index(">") + 1:]
    assert plovane.read_string(f"<r><!DOCTYPE q SYSTEM {literal}>x</r>", "r").text == rest + ">x"
    assert plovane.read_string(f"<!DOCTYPE q SYSTEM {literal}<r>x</r>", "r").text == "x"


UNTERMINATED_SUBSETS = ['<!DOCTYPE x [<!ENTITY a "]><x/>', "<!DOCTYPE x [<!ELEMENT x ANY>]"]
ENTITY_DECLARED = '<!DOCTYPE r [<!ENTITY f "v">]><r>&f;</r>'

# Runs of constructs that find no terminator: the same errors as when each searched the whole
# rest of the input again; an internal subset never closed; declared entities still not expanded.
RUNS = [
    *[(d, f"malformed XML at byte {byte_length(d)}: unexpected end of document") for d in UNTERMINATED_SUBSETS],
    (ENTITY_DECLARED, f"unknown entity reference '&f;' at byte {ENTITY_DECLARED.index('&f;')}"),
    ("<![CDATA[" * 50, "malformed XML at byte 0: unterminated CDATA section"),
    ("<r>" + "]<![CDATA[" * 50 + "</r>", "malformed XML at byte 4: unterminated CDATA section"),
    ("<!x" * 50, "root tag <r> not found in document"),
    ("<!--" * 50, "malformed XML at byte 200: unexpected end of document"),
    ("<r>" + "<!--" * 50 + "-->", "unexpected end of document: <r> is never closed"),
    ("<r>" + "<?x>" * 50, "malformed XML at byte 3: unterminated processing instruction"),
    ("<a" * 50, "malformed XML: Unclosed tag at byte 0"),
    ("<!DOCTYPE x [" * 50, "root tag <r> not found in document"),
]


@pytest.mark.parametrize(("document", "message"), RUNS)
def test_unterminated_constructs(document, message):
    assert read_error(document, "r") == message


# The reader inserts attributes 32 at a time.
@pytest.mark.parametrize("count", [31, 32, 33, 65, 20_000])
def test_element_with_many_attributes(count):
    many = {f"a{i}": f"v{i}" for i in range(count)}
    document = "<r " + " ".join(f'{k}="{v}"' for k, v in many.items()) + "/>"
    for node in (plovane.read_string(document, "r"), plovane.Node("r", many)):
        assert node.attrs == many
        assert plovane.Node.from_dict(node.to_dict()).attrs == many
        assert plovane.read_string(plovane.write_string(node), "r").attrs == many
    # A duplicate is found in any batch, the last one included.
    name = f"a{count // 2}"
    document = document[:-2] + f' {name}="v"/>'
    at = byte_length(document[: document.rindex(name)])
    assert read_error(document, "r") == f"malformed XML at byte {at}: duplicate attribute '{name}'"
