"""A short tour of plovane (`make demo`): read a document, search it, render, convert and
write parts of it, save and reload it, then time reading a generated ~5 MB document against
ElementTree (and lxml when it is installed)."""

from __future__ import annotations

import os
import pprint
import sys
import tempfile
import time
import xml.etree.ElementTree as ET
from pathlib import Path

import plovane
from plovane import Node, SearchType

sys.path.insert(0, str(Path(__file__).resolve().parent))
from generate import generate  # noqa: E402

SAMPLE = """<?xml version="1.0" encoding="UTF-8"?>
<!-- Spring catalogue of a small bookshop -->
<shop name="Knjigarna Konzorcij" city="Ljubljana">
  <catalog season="spring-2025" currency="EUR">
    <category id="fiction" label="Fiction">
      <product id="b-1001" lang="sl" sale="20%">
        <title>Alamut</title>
        <author>Vladimir Bartol</author>
        <price>24.90</price>
        <stock>In stock</stock>
      </product>
      <product id="b-1002" lang="en">
        <title>The Master &amp; Margarita</title>
        <author>Mikhail Bulgakov</author>
        <price>18.50</price>
        <stock>In stock</stock>
      </product>
      <product id="b-1003" lang="de">
        <title>Der Zauberberg</title>
        <author>Thomas Mann</author>
        <price>29.00</price>
        <stock>Sold out</stock>
      </product>
    </category>
    <category id="science" label="Science">
      <product id="b-2001" lang="en" sale="10%">
        <title>A Brief History of Time</title>
        <author>Stephen Hawking</author>
        <price>15.00</price>
        <stock>In stock</stock>
        <note><![CDATA[Paperback; <illustrated> edition]]></note>
      </product>
      <product id="b-2002" lang="en">
        <title>The Selfish Gene</title>
        <author>Richard Dawkins</author>
        <price>17.40</price>
        <stock>Two left</stock>
      </product>
    </category>
    <category id="poetry" label="Poetry">
      <product id="b-3001" lang="sl">
        <title>Poezije</title>
        <author>France Prešeren</author>
        <price>12.00</price>
        <stock>In stock</stock>
      </product>
    </category>
  </catalog>
  <events>
    <event date="2025-04-23" kind="reading">Book Day: readings from <b>Alamut</b> at 18:00</event>
  </events>
</shop>
"""


def heading(text: str) -> None:
    print(f"\n== {text}")


def describe(nodes: list[Node]) -> str:
    return ", ".join(n.attrs.get("id") or n.text or n.name for n in nodes) or "(none)"


def tour() -> None:
    shop = plovane.read_string(SAMPLE, "shop")
    heading("read_string(SAMPLE, 'shop')")
    print(f"{shop!r} with attrs {shop.attrs}, {len(shop.children)} children")
    catalog = plovane.read_string(SAMPLE, "catalog")
    print(f"read_string(SAMPLE, 'catalog') finds the first <catalog> at any depth: "
          f"{catalog!r}, season {catalog.attrs['season']}")

    heading("searching")
    products = shop.search_by_name("product")
    print(f"search_by_name('product'): {len(products)} -> {describe(products)}")
    print(f"search_by_attr('sale'): {describe(shop.search_by_attr('sale'))}")
    in_stock = shop.search_by_text("In stock")
    print(f"search_by_text('In stock'): {len(in_stock)} stock elements")
    print(f"search(SearchType.Tag, 'category', depth=1): "
          f"{describe(shop.search(SearchType.Tag, 'category', depth=1))}  (too shallow)")
    print(f"search(SearchType.Tag, 'category', depth=2): "
          f"{describe(shop.search(SearchType.Tag, 'category', depth=2))}")
    print(f"search(SearchType.Attr, 'lang'): {describe(shop.search(SearchType.Attr, 'lang'))}")
    event = shop.search_by_name("event")[0]
    print(f"text of <event> (its own text, without the <b> child's): {event.text!r}")

    heading("str(node): the outline of one product")
    hawking = next(p for p in products if p.attrs["id"] == "b-2001")
    print(str(hawking))

    heading("to_dict() of a <title>")
    pprint.pprint(hawking.children[0].to_dict(), sort_dicts=True)

    heading("write_string(category, indent=2, default_xml_def=False)")
    poetry = shop.search(SearchType.Tag, "category")[-1]
    print(plovane.write_string(poetry, indent=2, default_xml_def=False))

    heading("write_file, then read_file")
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "shop.xml")
        plovane.write_file(shop, path)
        again = plovane.read_file(path, "shop")
        print(f"{path}: {os.path.getsize(path)} bytes; read back {again!r} with "
              f"{len(again.search_by_name('product'))} products")
    rebuilt = Node.from_dict(shop.to_dict())
    print(f"Node.from_dict(shop.to_dict()) rebuilds {rebuilt!r} with "
          f"{len(rebuilt.search_by_name('product'))} products; equal as dicts: "
          f"{rebuilt.to_dict() == shop.to_dict()}")


def best_of(runs: int, call, document) -> float:
    """Best time of `call` on `runs` fresh copies of the document (made before timing), so
    that no call profits from a form of the string cached by an earlier one."""
    copies = [document[:1] + document[1:] for _ in range(runs)]
    best = float("inf")
    for copy in copies:
        start = time.perf_counter()
        result = call(copy)
        best = min(best, time.perf_counter() - start)
        del result
    return best


def mini_benchmark() -> None:
    heading("mini benchmark: reading a generated ~5 MB attribute-heavy document")
    text = generate("attrs", 5)
    data = text.encode("utf-8")
    size = len(data) / 1e6
    times = {"plovane.read_string": best_of(5, lambda s: plovane.read_string(s, "osm"), text),
             "ElementTree.fromstring": best_of(5, ET.fromstring, text)}
    try:
        from lxml import etree

        times["lxml.etree.fromstring (bytes)"] = best_of(5, etree.fromstring, data)
    except ImportError:
        print("(lxml is not installed: compared with ElementTree only)")
    ours = times["plovane.read_string"]
    for name, seconds in times.items():
        if seconds is ours:
            extra = ""
        elif seconds >= ours:
            extra = f"   plovane {seconds / ours:.1f}x faster"
        else:
            extra = f"   plovane {ours / seconds:.1f}x slower"
        print(f"{name:31} {size / seconds:8.1f} MB/s{extra}")
    print(f"({size:.1f} MB, best of 5 runs each; `make bench` measures properly)")


if __name__ == "__main__":
    tour()
    mini_benchmark()
