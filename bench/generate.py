"""Deterministic generated documents for the benchmarks.

Usage: generate.py DATA_DIR

Two families, each at several sizes:

- attribute-heavy: map data in the style of an OpenStreetMap extract: nodes, ways and
  relations whose data sits in many double-quoted attributes, with child elements for
  tags, node references and members; no character data;
- text-heavy: a book of chapters, sections and paragraphs of running text with inline
  markup (emphasis, links, code) and the odd reference (&amp;, &lt;), including non-ASCII
  words and apostrophes.

Every document comes from a fixed seed, so each run writes the same bytes. A document that
already exists with the same generator version and size is not written again; the list is
kept in DATA_DIR/generated.json.
"""

from __future__ import annotations

import json
import random
import sys
from collections.abc import Iterator
from pathlib import Path

# Raise when the output of a generator changes, so that cached files are rebuilt.
GENERATOR_VERSION = 1

MIB = 1 << 20

# (family, size in MiB); names become "gen-<family>-<size>m.xml".
DOCUMENTS = [("attrs", 1), ("attrs", 8), ("attrs", 32), ("text", 1), ("text", 8), ("text", 32)]

STREETS = ["Prešernova cesta", "Trubarjeva ulica", "Čopova ulica", "Šmartinska cesta",
           "Hauptstraße", "Rue de l'Église", "Main Street", "Calle Mayor", "Große Gasse",
           "Slovenska cesta", "Zaloška cesta", "Ulica Ljubljanske brigade", "Dunajska cesta",
           "Kolodvorska ulica", "Tržaška cesta"]
AMENITIES = ["cafe", "restaurant", "pharmacy", "school", "bank", "post_office", "fuel",
             "parking", "bench", "drinking_water", "library", "kindergarten", "bar", "atm"]
SHOP_NAMES = ["Kavarna Zvezda", "Gostilna Pri Mraku", "Lekarna Center", "Bäckerei Müller",
              "Smith & Sons", "Café <Central>", "Knjigarna Konzorcij", "Trgovina Šum",
              "Pizzeria Napoli", "Bar Žabar", "Tom's Diner"]
HIGHWAYS = ["residential", "primary", "secondary", "tertiary", "service", "footway",
            "cycleway", "unclassified", "track", "path"]
USERS = ["mapper_42", "Žiga K", "anna-maps", "OSM Bot", "jürgen", "surveyor7", "tracer_ljub",
         "osm_fixer", "M. Novak"]

WORDS = ("the of and to in is was that for it with as on by at from this be are or an "
         "which not have has but had they were their one all there been more when can "
         "time only into other new some could these two may then first any like now my "
         "such make over our even most after also made many before must through back "
         "years where much your way well down should because each just those people how "
         "too little state good very world still own see men work long here between both "
         "life being under never day same another know while last might us great old year "
         "off come since against go came right used take three parser element attribute "
         "document river mountain valley harbour lantern orchard meadow quarry granite "
         "willow thunder compass ledger archive signal vector buffer kernel lattice").split()
WORDS += ["naïve", "café", "façade", "Straße", "Ljubljana", "Škofja", "Ærø", "déjà", "vu",
          "東京", "Москва", "Ελλάδα", "don't", "it's", "isn't", "we'll", "cœur"]


def xml_escape(text: str, quote: bool = False) -> str:
    text = text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    return text.replace('"', "&quot;") if quote else text


# --------------------------------------------------------------------------------------------
# Attribute-heavy: map data


def map_elements(rng: random.Random) -> Iterator[str]:
    node_id = 100_000_000
    way_id = 20_000_000
    rel_id = 300_000
    recent_nodes: list[int] = []
    while True:
        roll = rng.random()
        if roll < 0.80:
            node_id += rng.randint(1, 40)
            recent_nodes.append(node_id)
            if len(recent_nodes) > 500:
                del recent_nodes[:250]
            yield node(rng, node_id)
        elif roll < 0.97:
            way_id += rng.randint(1, 20)
            yield way(rng, way_id, recent_nodes)
        else:
            rel_id += rng.randint(1, 5)
            yield relation(rng, rel_id, way_id)


def common_attrs(rng: random.Random, ident: int) -> str:
    return (f'id="{ident}" visible="true" version="{rng.randint(1, 12)}" '
            f'changeset="{rng.randint(1_000_000, 99_999_999)}" '
            f'timestamp="20{rng.randint(10, 24):02d}-{rng.randint(1, 12):02d}-'
            f'{rng.randint(1, 28):02d}T{rng.randint(0, 23):02d}:{rng.randint(0, 59):02d}:'
            f'{rng.randint(0, 59):02d}Z" user="{xml_escape(rng.choice(USERS), True)}" '
            f'uid="{rng.randint(1, 9_999_999)}"')


def tag(k: str, v: str) -> str:
    return f'    <tag k="{k}" v="{xml_escape(v, True)}"/>\n'


def node(rng: random.Random, ident: int) -> str:
    head = (f'  <node {common_attrs(rng, ident)} lat="{46 + rng.random():.7f}" '
            f'lon="{14 + rng.random():.7f}"')
    if rng.random() < 0.85:
        return head + "/>\n"
    tags = [tag("amenity", rng.choice(AMENITIES)), tag("name", rng.choice(SHOP_NAMES))]
    if rng.random() < 0.5:
        tags.append(tag("addr:street", rng.choice(STREETS)))
        tags.append(tag("addr:housenumber", str(rng.randint(1, 180))))
    if rng.random() < 0.3:
        tags.append(tag("opening_hours", f"Mo-Fr {rng.randint(6, 9):02d}:00-"
                                         f"{rng.randint(16, 22):02d}:00"))
    return head + ">\n" + "".join(tags) + "  </node>\n"


def way(rng: random.Random, ident: int, recent: list[int]) -> str:
    refs = rng.sample(recent, min(len(recent), rng.randint(2, 14)))
    parts = [f"  <way {common_attrs(rng, ident)}>\n"]
    parts += [f'    <nd ref="{r}"/>\n' for r in refs]
    parts.append(tag("highway", rng.choice(HIGHWAYS)))
    if rng.random() < 0.6:
        parts.append(tag("name", rng.choice(STREETS)))
    if rng.random() < 0.2:
        parts.append(tag("maxspeed", str(rng.choice([30, 50, 70, 90]))))
    parts.append("  </way>\n")
    return "".join(parts)


def relation(rng: random.Random, ident: int, last_way: int) -> str:
    parts = [f"  <relation {common_attrs(rng, ident)}>\n"]
    for _ in range(rng.randint(2, 20)):
        role = rng.choice(["outer", "inner", "", "stop", "platform"])
        parts.append(f'    <member type="way" ref="{last_way - rng.randint(0, 5000)}" '
                     f'role="{role}"/>\n')
    parts.append(tag("type", rng.choice(["multipolygon", "route", "boundary"])))
    parts.append(tag("name", rng.choice(STREETS)))
    parts.append("  </relation>\n")
    return "".join(parts)


def map_document(rng: random.Random, size: int) -> Iterator[str]:
    yield '<?xml version="1.0" encoding="UTF-8"?>\n'
    yield '<osm version="0.6" generator="plovane-bench" copyright="generated sample data">\n'
    yield ('  <bounds minlat="46.0000000" minlon="14.0000000" maxlat="47.0000000" '
           'maxlon="15.0000000"/>\n')
    yield from take_until(map_elements(rng), size)
    yield "</osm>\n"


# --------------------------------------------------------------------------------------------
# Text-heavy: a book


def sentence(rng: random.Random) -> str:
    words = [rng.choice(WORDS) for _ in range(rng.randint(6, 22))]
    words[0] = words[0].capitalize()
    pieces = []
    for word in words:
        roll = rng.random()
        if roll < 0.03:
            pieces.append(f"<em>{word}</em>")
        elif roll < 0.045:
            pieces.append(f'<link href="https://example.org/{rng.randint(1, 99999)}">{word}</link>')
        elif roll < 0.05:
            pieces.append(f"<code>{word} &lt;{rng.randint(0, 9)}&gt;</code>")
        elif roll < 0.055:
            pieces.append(f"{word} &amp;")
        else:
            pieces.append(word)
    return " ".join(pieces) + rng.choice([".", ".", ".", "?", "!", ";"])


def paragraph(rng: random.Random) -> str:
    body = " ".join(sentence(rng) for _ in range(rng.randint(2, 9)))
    # Long paragraphs wrap as a text editor would leave them.
    lines, line = [], []
    for piece in body.split(" "):
        line.append(piece)
        if sum(len(p) + 1 for p in line) > 90:
            lines.append(" ".join(line))
            line = []
    if line:
        lines.append(" ".join(line))
    return "      <para>" + "\n        ".join(lines) + "</para>\n"


def book_elements(rng: random.Random) -> Iterator[str]:
    chapter = 0
    while True:
        chapter += 1
        parts = [f'  <chapter id="ch{chapter}">\n',
                 f"    <title>Chapter {chapter}: {sentence(rng)[:-1]}</title>\n"]
        for section in range(1, rng.randint(3, 7)):
            parts.append(f'    <section id="ch{chapter}.{section}">\n')
            parts.append(f"      <heading>{sentence(rng)[:-1]}</heading>\n")
            for _ in range(rng.randint(3, 10)):
                parts.append(paragraph(rng))
                if rng.random() < 0.1:
                    parts.append(f"      <note>{sentence(rng)}</note>\n")
            parts.append("    </section>\n")
        parts.append("  </chapter>\n")
        yield "".join(parts)


def book_document(rng: random.Random, size: int) -> Iterator[str]:
    yield '<?xml version="1.0" encoding="UTF-8"?>\n'
    yield '<book lang="en" title="A Generated Book">\n'
    yield from take_until(book_elements(rng), size)
    yield "</book>\n"


# --------------------------------------------------------------------------------------------


def take_until(pieces: Iterator[str], size: int) -> Iterator[str]:
    """Pieces until their UTF-8 length reaches `size` bytes (the last one is kept whole)."""
    total = 0
    for piece in pieces:
        yield piece
        total += len(piece.encode("utf-8"))
        if total >= size:
            return


GENERATORS = {"attrs": (map_document, "attribute-heavy map data"),
              "text": (book_document, "text-heavy book with inline markup")}


def generate(family: str, mib: int) -> str:
    make, _ = GENERATORS[family]
    rng = random.Random(f"plovane-bench/{family}/{mib}/{GENERATOR_VERSION}")
    return "".join(make(rng, mib * MIB - 64))


def main() -> None:
    data_dir = Path(sys.argv[1])
    data_dir.mkdir(parents=True, exist_ok=True)
    listing = data_dir / "generated.json"
    old = {e["file"]: e for e in json.loads(listing.read_text())} if listing.exists() else {}
    entries = []
    for family, mib in DOCUMENTS:
        name = f"gen-{family}-{mib}m"
        target = data_dir / f"{name}.xml"
        entry = old.get(target.name)
        fresh = (entry and entry.get("version") == GENERATOR_VERSION and target.exists()
                 and target.stat().st_size == entry.get("size"))
        if not fresh:
            print(f"corpus: generating {target}", file=sys.stderr)
            data = generate(family, mib).encode("utf-8")
            tmp = target.with_suffix(".tmp")
            tmp.write_bytes(data)
            tmp.replace(target)
        root = "osm" if family == "attrs" else "book"
        entries.append({"name": name, "file": target.name, "kind": "generated",
                        "origin": GENERATORS[family][1], "root_tag": root,
                        "version": GENERATOR_VERSION, "size": target.stat().st_size})
    listed = {e["file"] for e in entries}
    for stale in data_dir.glob("gen-*.xml"):
        if stale.name not in listed:
            stale.unlink()
    text = json.dumps(entries, indent=1)
    if not listing.exists() or listing.read_text() != text:
        listing.write_text(text)


if __name__ == "__main__":
    main()
