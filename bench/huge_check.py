"""Checks that a document larger than 4 GiB reads and writes back correctly.

Not part of `make test` (it needs minutes, about 14 GiB of memory and twice
the document's size on disk); run it with `make huge`.

Two documents of --gib GiB each (default 4.25), built from about a thousand
1 MiB text elements followed by small elements that lie past the 4 GiB mark:

1. on disk, opening with a comment full of double quotes so that the reader
   indexes it from bitmaps: read_file, spot checks, write_file, and the
   written file compared with the expected output byte for byte;
2. in memory, without that comment so that it is indexed by byte searches:
   read_string, spot checks, write_string compared with the expected output.

The expected output is generated piece by piece from the same description,
never held whole. Temporary files are removed at the end.
"""

import argparse
import os
import random
import shutil
import sys
import tempfile
import time

import plovane

MIB = 1 << 20
GIB = 1 << 30
BLOCK = MIB
ITEMS = 1000  # small elements after the big ones: past 4 GiB
DECLARATION = '<?xml version="1.0" encoding="utf-8"?>\n'


class Layout:
    """The document's elements, and both forms of it: the input text and
    what the writer must give back (indent 4, with the declaration)."""

    def __init__(self, gib, quoted_head):
        rng = random.Random(1)
        letters = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 .,;:!?()[]{}"
        self.base = "".join(rng.choice(letters) for _ in range(BLOCK - 20)) + "end"
        self.parts = int(gib * GIB) // BLOCK + 1
        self.quoted_head = quoted_head
        self.huge = gib > 4  # smaller sizes are trial runs of the check itself

    def block(self, i):
        # Every 97th text holds a reference, so the reader has to build its
        # own copy of it instead of pointing into the document.
        core = f"{i:09d} {self.base}"
        return core[:5000] + " &amp; " + core[5000:] if i % 97 == 0 else core

    def decoded(self, i):
        return self.block(i).replace("&amp;", "&")

    def input_pieces(self):
        yield DECLARATION
        if self.quoted_head:
            yield "<!--" + ' "q"' * 2000 + " -->\n"
        yield "<huge>"
        for i in range(self.parts):
            yield f'\n  <part id="{i}">{self.block(i)}</part>'
        for j in range(ITEMS):
            yield f'<item k="v{j}">t{j}</item>'
        yield '<deep><deeper><deepest x="1"/></deeper></deep>\n</huge>'

    def expected_pieces(self):
        yield DECLARATION + "<huge>"
        for i in range(self.parts):
            yield f'\n    <part id="{i}">{self.block(i)}</part>'
        for j in range(ITEMS):
            yield f'\n    <item k="v{j}">t{j}</item>'
        yield '\n    <deep>\n        <deeper>\n            <deepest x="1"/>\n        </deeper>\n    </deep>\n</huge>'

    def size(self, pieces):
        return sum(len(p) for p in pieces)  # ASCII only: characters are bytes


def step(label, started):
    print(f"  {label}: {time.perf_counter() - started:.1f} s", flush=True)
    return time.perf_counter()


def check_tree(root, layout):
    children = root.children
    assert root.name == "huge" and root.attrs == {} and root.text is None
    assert len(children) == layout.parts + ITEMS + 1, len(children)
    for i in sorted({0, 1, 97, layout.parts // 2, layout.parts - 2, layout.parts - 1} & set(range(layout.parts))):
        part = children[i]
        assert (part.name, part.attrs) == ("part", {"id": str(i)}), (i, part.name, part.attrs)
        assert part.text == layout.decoded(i), f"text of part {i} differs"
    items = root.search_by_attr("k")
    assert len(items) == ITEMS
    assert [(n.name, n.attrs, n.text) for n in items[-3:]] == [
        ("item", {"k": f"v{j}"}, f"t{j}") for j in range(ITEMS - 3, ITEMS)
    ]
    assert [n.attrs for n in root.search_by_name("deepest")] == [{"x": "1"}]
    assert len(root.search_by_name("part", depth=1)) == layout.parts


def compare_file(path, layout):
    with open(path, "rb") as f:
        for piece in layout.expected_pieces():
            want = piece.encode("ascii")
            got = f.read(len(want))
            if got != want:
                raise AssertionError(f"written file differs near byte {f.tell() - len(got)}")
        assert f.read(1) == b"", "written file is longer than expected"


def compare_string(text, layout):
    pos = 0
    for piece in layout.expected_pieces():
        if text[pos : pos + len(piece)] != piece:
            raise AssertionError(f"written string differs near character {pos}")
        pos += len(piece)
    assert pos == len(text), "written string is longer than expected"


def through_files(layout, folder):
    print("file: read_file, write_file (document indexed from bitmaps)")
    source, written = os.path.join(folder, "huge.xml"), os.path.join(folder, "written.xml")
    t = time.perf_counter()
    with open(source, "w", encoding="ascii") as f:
        for piece in layout.input_pieces():
            f.write(piece)
    size = os.path.getsize(source)
    print(f"  document: {size} bytes ({size / GIB:.2f} GiB)")
    assert size > 4 * GIB or not layout.huge
    t = step("generated", t)
    root = plovane.read_file(source, "huge")
    t = step("read_file", t)
    check_tree(root, layout)
    t = step("checked", t)
    plovane.write_file(root, written)
    t = step("write_file", t)
    del root
    os.remove(source)
    compare_file(written, layout)
    step("compared", t)
    os.remove(written)


def through_strings(layout):
    print("string: read_string, write_string (document indexed by byte searches)")
    t = time.perf_counter()
    buffer = bytearray()
    for piece in layout.input_pieces():
        buffer += piece.encode("ascii")
    document = buffer.decode("ascii")
    del buffer
    print(f"  document: {len(document)} bytes ({len(document) / GIB:.2f} GiB)")
    assert len(document) > 4 * GIB or not layout.huge
    t = step("generated", t)
    root = plovane.read_string(document, "huge")
    t = step("read_string", t)
    check_tree(root, layout)
    t = step("checked", t)
    text = plovane.write_string(root)
    t = step("write_string", t)
    del root, document
    compare_string(text, layout)
    step("compared", t)


def available_memory():
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemAvailable:"):
                return int(line.split()[1]) * 1024
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--gib", type=float, default=4.25, help="document size in GiB (default 4.25)")
    parser.add_argument("--dir", default=tempfile.gettempdir(), help="folder for the temporary files")
    args = parser.parse_args()
    size = int(args.gib * GIB)
    # Files: the document and the written copy. Memory: for strings, the
    # document, the writer's buffer and the resulting str at once.
    need_disk, need_memory = 2 * size + GIB, 3 * size + 2 * GIB
    free_disk, free_memory = shutil.disk_usage(args.dir).free, available_memory()
    print(f"plovane {plovane.__file__}")
    print(f"disk free in {args.dir}: {free_disk / GIB:.1f} GiB (need {need_disk / GIB:.1f}); "
          f"memory available: {free_memory / GIB:.1f} GiB (need {need_memory / GIB:.1f})")
    if free_disk < need_disk or free_memory < need_memory:
        print("huge check: not enough disk or memory", file=sys.stderr)
        return 2
    started = time.perf_counter()
    with tempfile.TemporaryDirectory(dir=args.dir, prefix="plovane-huge-") as folder:
        through_files(Layout(args.gib, quoted_head=True), folder)
    through_strings(Layout(args.gib, quoted_head=False))
    print(f"huge check passed in {time.perf_counter() - started:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
