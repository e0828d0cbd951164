"""Fast XML reading, searching and writing into immutable Node trees.

Installed twice by the wheel: as ``plovane.pyi`` next to the extension module
and as the stub-only package ``plovane-stubs`` (PEP 561), which is the copy
mypy reads. ``python -m mypy.stubtest plovane`` holds these signatures to the
module's own (see scripts/stubtest-allowlist.txt for what it cannot check).
"""

from collections.abc import Callable, Sequence
from typing import Any, ClassVar, SupportsIndex, final

__all__ = ["SearchType", "Node", "read_file", "read_string", "write_file", "write_string"]

@final
class SearchType:
    """What ``Node.search`` compares: element names, attribute keys or text.

    Members compare equal to their integer values (``int(SearchType.Text) == 2``)
    and are not hashable."""

    Tag: ClassVar[SearchType]
    """Match element names (``Node.search_by_name``)."""
    Attr: ClassVar[SearchType]
    """Match attribute keys (``Node.search_by_attr``)."""
    Text: ClassVar[SearchType]
    """Match element text (``Node.search_by_text``)."""
    def __int__(self) -> int: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

_NodeDict = dict[str, Any]

@final
class Node:
    """An XML element: name, attributes, children and text. Immutable.

    ``str(node)`` gives an indented outline of the tree. Nodes compare by
    identity; compare ``to_dict()`` results for structural equality."""

    def __new__(
        cls,
        name: str,
        attrs: dict[str, str] | None = None,
        children: Sequence[Node] | None = None,
        text: str | None = None,
    ) -> Node:
        """Builds a node. ``attrs`` must be a ``dict`` (or a subclass) of str to
        str; ``children`` any sequence of nodes, which are shared, not copied."""
    @property
    def name(self) -> str:
        """The element name."""
    @property
    def attrs(self) -> dict[str, str]:
        """A new dict of the attributes on each access; their order is not kept."""
    @property
    def children(self) -> list[Node]:
        """A new list of the child elements. Children are shared references to
        the same nodes, not copies."""
    @property
    def text(self) -> str | None:
        """The element's text with references decoded, or None when it has none."""
    def search_by_name(self, name: str, depth: SupportsIndex | None = None) -> list[Node]:
        """Every element of this subtree (this node included) named ``name``, in
        document order; ``depth`` limits how many levels below this node are searched."""
    def search_by_attr(self, key: str, depth: SupportsIndex | None = None) -> list[Node]:
        """Every element of this subtree that has an attribute ``key``, in document order."""
    def search_by_text(self, text: str, depth: SupportsIndex | None = None) -> list[Node]:
        """Every element of this subtree whose text equals ``text``, in document order."""
    def search(self, by: SearchType, value: str, depth: SupportsIndex | None = None) -> list[Node]:
        """The search of ``by`` (``SearchType.Tag``, ``Attr`` or ``Text``) for ``value``."""
    def __to_string(self, spacing: SupportsIndex | None = None) -> str: ...
    def __reduce__(self) -> tuple[Callable[[bytes], Node], tuple[bytes]]:
        """Pickling: the tree as one bytes state, rebuilt by ``plovane._node_from_state``."""
    def __copy__(self) -> Node:
        """The node itself: nodes are immutable."""
    def __deepcopy__(self, memo: Any, /) -> Node:
        """The node itself: nodes are immutable."""
    def to_dict(self) -> _NodeDict:
        """The tree as plain dicts with the keys 'name', 'attrs', 'children' and 'text'."""
    @classmethod
    def from_dict(cls, dict_: _NodeDict) -> Node:
        """Builds a tree from the form ``to_dict`` returns. Accepts a ``dict`` or a
        subclass of it (other mappings raise TypeError); a missing or ill-typed
        entry raises ValueError."""

def _node_from_state(state: bytes, /) -> Node:
    """The tree a ``Node.__reduce__`` state describes (unpickling calls it)."""

def read_string(xml_string: str, root_tag: str) -> Node:
    """Parses ``xml_string`` and returns the first element named ``root_tag`` at
    any depth. Malformed XML raises ValueError with the byte position, and so
    does a document without such an element."""

def read_file(file_path: str, root_tag: str) -> Node:
    """Like ``read_string`` for the UTF-8 file at ``file_path``; file failures
    raise the matching OSError subclass."""

def write_string(node: Node, indent: SupportsIndex | None = None, default_xml_def: bool | None = None) -> str:
    """The tree as XML text, ``indent`` spaces per level (default 4); the XML
    declaration comes first unless ``default_xml_def`` is False."""

def write_file(
    node: Node, file_path: str, indent: SupportsIndex | None = None, default_xml_def: bool | None = None
) -> None:
    """Writes ``write_string(node, indent, default_xml_def)`` to ``file_path`` as UTF-8."""
