"""Copies real XML documents from installed Debian data packages into the benchmark corpus.

Usage: collect.py DATA_DIR

Writes DATA_DIR/real.json, the list of documents taken. A candidate is taken only when
every library of the benchmark can read it for what it is:

- it is valid UTF-8 and both lxml and ElementTree parse it;
- it uses no entities beyond the five predefined ones and numeric references, and declares
  none (plovane does no document type processing);
- when its first 4096 bytes hold more than five double quotes per "<", plovane builds its
  index from quote-aware bitmaps, where a quote in character data, a comment or a
  processing instruction hides the markup after it. Such a document is taken only when
  those bitmaps find exactly the markup a sequential scan finds.

Files are copied only when missing or changed, so a second run does no work.
"""

from __future__ import annotations

import filecmp
import json
import re
import shutil
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

from lxml import etree

sys.path.insert(0, str(Path(__file__).resolve().parent))
from common import first_element_name, prolog_end  # noqa: E402

PREDEFINED_OR_NUMERIC = re.compile(r"&(?!(?:lt|gt|amp|apos|quot|#[0-9]+|#x[0-9A-Fa-f]+);)")
COMMENT_OR_CDATA = re.compile(r"<!--.*?-->|<!\[CDATA\[.*?\]\]>", re.S)
START_OR_END_TAG = re.compile(r"""<(?:[^"'>]|"[^"]*"|'[^']*')*>""")


# --------------------------------------------------------------------------------------------
# Readability checks


def uses_bitmap_strategy(data: bytes) -> bool:
    sample = data[:4096]
    return sample.count(b'"') / max(sample.count(b"<"), 1) > 5.0


def sequential_records(text: str) -> list[tuple[int, int]]:
    """(start, end) of every markup construct that gives an index record, found by a plain
    left-to-right scan that understands quoted attribute values."""
    records = []
    pos = 0
    n = len(text)
    while (p := text.find("<", pos)) != -1:
        if text.startswith("<!--", p):
            end = text.index("-->", p + 4) + 2
        elif text.startswith("<![CDATA[", p):
            end = text.index("]]>", p + 9) + 2
        elif text.startswith("<?", p):
            end = text.index("?>", p + 2) + 1
        elif text.startswith("<!", p):
            pos = text.index(">", p) + 1  # declaration: no record
            continue
        else:
            match = START_OR_END_TAG.match(text, p)
            if not match:
                raise ValueError(f"unterminated tag at {p}")
            end = match.end() - 1
        records.append((p, end))
        pos = end + 1
        if pos >= n:
            break
    return records


def bitmap_records(text: str) -> list[tuple[int, int]] | None:
    """The same list as the quote-aware bitmap strategy sees it: quoted regions span the
    whole document, and only unquoted "<" and ">" count. None if a "<" has no ">"."""
    lts, gts = [], []
    quote = None
    for m in re.finditer(r"[\"'<>]", text):
        ch = m.group()
        if quote is None:
            if ch in "\"'":
                quote = ch
            elif ch == "<":
                lts.append(m.start())
            else:
                gts.append(m.start())
        elif ch == quote:
            quote = None
    n = len(text)
    records: list[tuple[int, int]] = []
    prev_end = -1
    cursor = 0

    def skip_closes(limit: int) -> None:
        nonlocal cursor
        while cursor < len(gts) and gts[cursor] <= limit:
            cursor += 1

    for p in lts:
        if p <= prev_end:
            continue
        if p + 1 >= n:
            break
        skip_closes(p)
        if cursor == len(gts):
            return None
        q = prev_end = gts[cursor]
        if text.startswith("<!--", p):
            found = text.find("-->", p + 4)
            end = n - 2 if found == -1 else found + 2
        elif text.startswith("<![CDATA[", p):
            found = text.find("]]>", p + 9)
            end = n - 2 if found == -1 else found + 2
        elif text.startswith("<!", p):
            continue
        elif text.startswith("<?", p):
            found = text.find("?>", p + 2)
            end = n - 1 if found == -1 else found + 1
        else:
            records.append((p, q))
            continue
        records.append((p, end))
        prev_end = end
        skip_closes(end)
    return records


def readability_problem(data: bytes) -> str | None:
    """Why a document cannot serve as a benchmark document, or None."""
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        return "not UTF-8"
    if "<!ENTITY" in text:
        return "declares entities"
    if PREDEFINED_OR_NUMERIC.search(COMMENT_OR_CDATA.sub("", text)):
        return "uses entities that are not predefined"
    try:
        etree.fromstring(data)
        ET.fromstring(text)
    except (etree.XMLSyntaxError, ET.ParseError) as exc:
        return f"not well-formed: {exc}"
    if uses_bitmap_strategy(data) and bitmap_records(text) != sequential_records(text):
        return "quote characters outside tags hide markup from a quote-aware index"
    return None


# --------------------------------------------------------------------------------------------
# Candidates


def biggest(pattern_dir: str, glob: str, count: int, name_re: str = ".*") -> list[Path]:
    base = Path(pattern_dir)
    if not base.is_dir():
        return []
    files = [p for p in base.glob(glob) if p.is_file() and not p.is_symlink()
             and re.fullmatch(name_re, p.name)]
    files.sort(key=lambda p: (-p.stat().st_size, p.name))
    return files[:count] if count else files


def candidates() -> list[tuple[str, Path, int]]:
    """(label prefix, file, how many of this group to take) in table order."""
    out = []
    for path in biggest("/usr/share/gir-1.0", "*.gir", 0):
        out.append(("gir", path, 4))
    out.append(("mime", Path("/usr/share/mime/packages/freedesktop.org.xml"), 1))
    out.append(("iso-codes", Path("/usr/share/xml/iso-codes/iso_639-3.xml"), 1))
    out.append(("xkb", Path("/usr/share/X11/xkb/rules/base.xml"), 1))
    out.append(("wayland", Path("/usr/share/wayland/wayland.xml"), 1))
    # Untranslated tutorials only: the translations repeat the same drawing.
    for path in biggest("/usr/share/inkscape/tutorials", "*.svg", 0, r"tutorial-[a-z-]+\.svg"):
        out.append(("svg-tutorial", path, 1))
    for path in biggest("/usr/share/icons/Tango/scalable", "*/*.svg", 0):
        out.append(("svg-icon", path, 2))
    return out


def label(prefix: str, path: Path) -> str:
    stem = path.name.rsplit(".", 1)[0]
    return f"{prefix}:{stem}"


def strip_prolog(text: str) -> str:
    """The document from its first element on (declaration, comments, type removed)."""
    return text[prolog_end(text):]


def aggregate_icons(data_dir: Path) -> tuple[Path, str] | None:
    """Every readable Tango scalable icon, each whole SVG element, under one root element:
    a larger document of real drawing markup."""
    files = biggest("/usr/share/icons/Tango/scalable", "*/*.svg", 0)
    if not files:
        return None
    files.sort(key=lambda p: str(p))
    parts = ['<?xml version="1.0" encoding="UTF-8"?>\n<icon-set theme="Tango">\n']
    used = 0
    for path in files:
        data = path.read_bytes()
        if readability_problem(data):
            continue
        parts.append(strip_prolog(data.decode("utf-8")).rstrip() + "\n")
        used += 1
    parts.append("</icon-set>\n")
    target = data_dir / "svg-tango-icon-set.xml"
    write_if_changed(target, "".join(parts).encode("utf-8"))
    return target, f"{used} SVG files of tango-icon-theme under one root"


def write_if_changed(target: Path, data: bytes) -> None:
    if target.exists() and target.read_bytes() == data:
        return
    tmp = target.with_suffix(target.suffix + ".tmp")
    tmp.write_bytes(data)
    tmp.replace(target)


def copy_if_changed(source: Path, target: Path) -> None:
    if target.exists() and filecmp.cmp(source, target, shallow=False):
        return
    tmp = target.with_suffix(target.suffix + ".tmp")
    shutil.copyfile(source, tmp)
    tmp.replace(target)


def main() -> None:
    data_dir = Path(sys.argv[1])
    data_dir.mkdir(parents=True, exist_ok=True)
    taken: dict[str, int] = {}
    entries = []
    for prefix, path, count in candidates():
        if not path.is_file() or taken.get(prefix, 0) >= count:
            continue
        problem = readability_problem(path.read_bytes())
        if problem:
            print(f"corpus: skipping {path}: {problem}", file=sys.stderr)
            continue
        taken[prefix] = taken.get(prefix, 0) + 1
        name = label(prefix, path)
        target = data_dir / f"real-{name.replace(':', '-')}{path.suffix}"
        copy_if_changed(path, target)
        root = first_element_name(target.read_text(encoding="utf-8"))
        entries.append({"name": name, "file": target.name, "kind": "real", "origin": str(path),
                        "root_tag": root})
    icons = aggregate_icons(data_dir)
    if icons:
        target, origin = icons
        entries.append({"name": "svg:tango-icon-set", "file": target.name, "kind": "real",
                        "origin": origin, "root_tag": "icon-set"})
    if len(entries) < 3:
        raise SystemExit("corpus: fewer than three real documents found; are the packages "
                         "installed?")
    write_if_changed(data_dir / "real.json", json.dumps(entries, indent=1).encode())
    print(f"corpus: {len(entries)} real documents in {data_dir}", file=sys.stderr)


if __name__ == "__main__":
    main()
