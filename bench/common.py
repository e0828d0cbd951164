"""Shared pieces of the Python benchmarks: the corpus, the timer, the peers,
access to plovane, ratios and plain-text tables.

Timing policy (the same for every library): the libraries compared take turns,
one call each per round, after an untimed warm-up round; rounds repeat until
both a minimum count and a time budget are reached. The reported figure is each
library's best (smallest) time, the one least disturbed by other work on a
shared machine. The cyclic garbage collector is disabled while a call is timed,
and the call's result is released outside the timer.
"""

from __future__ import annotations

import argparse
import gc
import json
import math
import os
import sys
import time
from collections.abc import Callable
from dataclasses import dataclass, field
from pathlib import Path

BENCH_DIR = Path(__file__).resolve().parent
DATA_DIR = Path(os.environ.get("PLOVANE_BENCH_DATA", BENCH_DIR / "data"))
RESULTS_DIR = BENCH_DIR / "results"

MB = 1e6


# --------------------------------------------------------------------------------------------
# Command line shared by every benchmark script


def add_common_args(parser: argparse.ArgumentParser) -> None:
    parser.add_argument(
        "--allow-missing",
        action="store_true",
        default=os.environ.get("PLOVANE_BENCH_ALLOW_MISSING") == "1",
        help="report 'n/a' for plovane functions that do not exist yet instead of failing "
        "(for trying the harness while the module is incomplete)",
    )
    parser.add_argument(
        "--quick",
        action="store_true",
        help="a short run on the smaller documents with few repetitions (checks the harness)",
    )
    parser.add_argument(
        "--docs",
        default="",
        help="comma-separated substrings; only documents whose name contains one of them run",
    )


@dataclass
class Settings:
    allow_missing: bool
    quick: bool
    doc_filter: list[str]

    @classmethod
    def from_args(cls, args: argparse.Namespace) -> Settings:
        return cls(args.allow_missing, args.quick, [s for s in args.docs.split(",") if s])

    def budget(self, seconds: float) -> float:
        return seconds / 10 if self.quick else seconds


# --------------------------------------------------------------------------------------------
# plovane, with the functions that may still be missing from an incomplete build


class MissingFunction(Exception):
    pass


class Plovane:
    """Access to the module under test.

    By default a missing module or function is an error that stops the run.
    With allow_missing, `get` returns None and the caller prints "n/a"."""

    def __init__(self, allow_missing: bool):
        self.allow_missing = allow_missing
        self.module = None
        self.problem = ""
        try:
            import plovane  # noqa: PLC0415 (imported here so the peers run without it)

            self.module = plovane
        except ImportError as exc:
            if not allow_missing:
                raise SystemExit(
                    f"cannot import plovane ({exc}); build it and run with "
                    "PYTHONPATH=<build dir>, or pass --allow-missing to run the peers only"
                ) from exc
            self.problem = f"plovane not importable: {exc}"
            print(f"NOTE: {self.problem}; its columns show n/a", file=sys.stderr)

    def get(self, dotted: str):
        """The attribute at `dotted` ("read_string", "Node.to_dict"), or None when allowed."""
        obj = self.module
        if obj is None:
            return None
        for part in dotted.split("."):
            obj = getattr(obj, part, None)
            if obj is None:
                if self.allow_missing:
                    print(f"NOTE: plovane.{dotted} does not exist yet; shown as n/a",
                          file=sys.stderr)
                    return None
                raise SystemExit(f"plovane.{dotted} is missing from the module under test")
        return obj

    def version_text(self) -> str:
        if self.module is None:
            return "not available"
        return f"{getattr(self.module, '__version__', 'unversioned')} ({self.module.__file__})"


# --------------------------------------------------------------------------------------------
# The corpus (gathered by scripts/bench-corpus.sh)


@dataclass
class Document:
    name: str  # short label for tables
    path: Path
    kind: str  # "real" or "generated"
    origin: str  # where a real document was copied from, or the generator's description
    root_tag: str
    size: int  # bytes of UTF-8

    def text(self) -> str:
        return self.path.read_text(encoding="utf-8")

    def data(self) -> bytes:
        return self.path.read_bytes()


def prolog_end(text: str) -> int:
    """Offset of the document's first element: past the declaration, processing
    instructions, comments and the document type."""
    pos = 0
    while True:
        pos = text.index("<", pos)
        if text.startswith("<?", pos):
            pos = text.index("?>", pos) + 2
        elif text.startswith("<!--", pos):
            pos = text.index("-->", pos) + 3
        elif text.startswith("<!", pos):
            pos = skip_doctype(text, pos)
        else:
            return pos


def first_element_name(text: str) -> str:
    """Name of the document's first element as written (prefix included)."""
    pos = prolog_end(text)
    end = pos + 1
    while end < len(text) and text[end] not in " \t\r\n/>":
        end += 1
    return text[pos + 1 : end]


def skip_doctype(text: str, pos: int) -> int:
    """Offset just past a document type declaration, internal subset included."""
    bracket = text.find("[", pos)
    close = text.index(">", pos)
    if bracket == -1 or bracket > close:
        return close + 1
    return text.index(">", text.index("]", bracket)) + 1


def load_corpus(settings: Settings | None = None) -> list[Document]:
    """The gathered documents (real ones first), in the order the corpus script listed them."""
    docs = []
    for listing in ("real.json", "generated.json"):
        manifest = DATA_DIR / listing
        if not manifest.exists():
            raise SystemExit(f"{manifest} is missing: run scripts/bench-corpus.sh first")
        for entry in json.loads(manifest.read_text()):
            path = DATA_DIR / entry["file"]
            docs.append(Document(entry["name"], path, entry["kind"], entry["origin"],
                                 entry["root_tag"], path.stat().st_size))
    if settings and settings.doc_filter:
        docs = [d for d in docs if any(f in d.name for f in settings.doc_filter)]
    if settings and settings.quick:
        docs = [d for d in docs if d.size <= 4_000_000]
    if not docs:
        raise SystemExit("no benchmark document selected")
    return docs


def fresh_copy(text: str) -> str:
    """A new str object equal to `text`, without any cached UTF-8 form: every read then
    starts from a string as a program gets it from a file, not from a warmed-up one."""
    if len(text) < 2:
        return text
    return text[:1] + text[1:]


# --------------------------------------------------------------------------------------------
# Timing


@dataclass
class Timing:
    best: float
    runs: int
    # Every timed call, in the order of the rounds.
    times: list[float] = field(default_factory=list)

    def mbps(self, size: int) -> float:
        return size / MB / self.best


@dataclass
class Work:
    """One library's way of doing the work being timed: call(make_arg()), or call() when
    there is no make_arg. The argument is made before the timer starts."""

    call: Callable
    make_arg: Callable | None = None

    def run_once(self) -> float:
        arg = self.make_arg() if self.make_arg else None
        gc.collect()
        gc.disable()
        try:
            start = time.perf_counter()
            result = self.call(arg) if self.make_arg else self.call()
            elapsed = time.perf_counter() - start
        finally:
            gc.enable()
        del result, arg
        return elapsed


def compare(works: dict[str, Work], *, budget: float = 0.4, min_runs: int = 3,
            max_runs: int = 50) -> dict[str, Timing]:
    """Best time of each library's work, run in rounds (every library once per round, in
    turn) so that a change in the machine's other load touches all of them alike.

    After a warm-up round, rounds go on until there are min_runs of them and the timed
    calls add up to `budget` seconds per library, or max_runs rounds are done. When one
    call takes longer than the budget on its own, two rounds are enough."""
    warm_up = {name: work.run_once() for name, work in works.items()}
    if max(warm_up.values()) > budget:
        min_runs = min(min_runs, 2)
    times: dict[str, list[float]] = {name: [] for name in works}
    spent = 0.0
    rounds = 0
    while rounds < min_runs or (spent < budget * len(works) and rounds < max_runs):
        for name, work in works.items():
            elapsed = work.run_once()
            times[name].append(elapsed)
            spent += elapsed
        rounds += 1
    return {name: Timing(min(ts), len(ts), ts) for name, ts in times.items()}


def measure(call, make_arg=None, **limits) -> Timing:
    """Best time of one piece of work alone (see compare)."""
    return compare({"work": Work(call, make_arg)}, **limits)["work"]


# --------------------------------------------------------------------------------------------
# Ratios, targets and tables


def geomean(values: list[float]) -> float | None:
    values = [v for v in values if v is not None and v > 0]
    if not values:
        return None
    return math.exp(sum(math.log(v) for v in values) / len(values))


def fmt(value, digits: int = 2, suffix: str = "") -> str:
    if value is None:
        return "n/a"
    if isinstance(value, str):
        return value
    return f"{value:.{digits}f}{suffix}"


def ratio(peer: Timing | None, ours: Timing | None) -> float | None:
    """How many times faster plovane is than the peer (> 1: plovane faster)."""
    if peer is None or ours is None:
        return None
    return peer.best / ours.best


@dataclass
class Target:
    label: str  # what is compared, e.g. "read_string vs lxml (geomean)"
    value: float | None
    goal: float
    higher_is_better: bool = True

    def verdict(self) -> str:
        if self.value is None:
            return "n/a"
        met = self.value >= self.goal if self.higher_is_better else self.value <= self.goal
        return "met" if met else "NOT met"

    def line(self) -> str:
        sign = ">=" if self.higher_is_better else "<="
        value = "n/a" if self.value is None else f"{self.value:.2f}x"
        return f"{self.label}: {value}  (target {sign} {self.goal:g}x: {self.verdict()})"


@dataclass
class Table:
    title: str
    headers: list[str]
    rows: list[list[str]] = field(default_factory=list)
    notes: list[str] = field(default_factory=list)

    def add(self, *cells) -> None:
        self.rows.append([c if isinstance(c, str) else fmt(c) for c in cells])

    def text(self) -> str:
        widths = [len(h) for h in self.headers]
        for row in self.rows:
            widths = [max(w, len(c)) for w, c in zip(widths, row)]
        out = [self.title, "=" * len(self.title)]

        def line(cells):
            first = cells[0].ljust(widths[0])
            rest = [c.rjust(w) for c, w in zip(cells[1:], widths[1:])]
            return "  ".join([first, *rest]).rstrip()

        out.append(line(self.headers))
        out.append("  ".join("-" * w for w in widths))
        out.extend(line(r) for r in self.rows)
        out.extend(self.notes)
        return "\n".join(out)

    def markdown(self) -> str:
        out = [f"### {self.title}", "", "| " + " | ".join(self.headers) + " |",
               "|" + "|".join("---" if i == 0 else "---:" for i in range(len(self.headers))) + "|"]
        out.extend("| " + " | ".join(r) + " |" for r in self.rows)
        if self.notes:
            out.append("")
            out.extend(f"{n}  " for n in self.notes)
        return "\n".join(out)


@dataclass
class Section:
    """What one benchmark script produces: tables, target lines, figures' data, failures."""

    name: str
    tables: list[Table] = field(default_factory=list)
    targets: list[Target] = field(default_factory=list)
    series: dict = field(default_factory=dict)  # data for the figure
    failures: list[str] = field(default_factory=list)

    def print(self) -> None:
        for table in self.tables:
            print()
            print(table.text())
        if self.targets:
            print()
            for target in self.targets:
                print(target.line())
        for failure in self.failures:
            print(f"FAILURE: {failure}")
        sys.stdout.flush()


def run_standalone(run, description: str) -> None:
    """Entry point of a benchmark script run on its own."""
    parser = argparse.ArgumentParser(description=description)
    add_common_args(parser)
    settings = Settings.from_args(parser.parse_args())
    section = run(settings, Plovane(settings.allow_missing))
    section.print()
    sys.exit(1 if section.failures else 0)


def count_nodes(root) -> int:
    """Elements in a plovane tree, walked without recursion."""
    count = 0
    stack = [root]
    while stack:
        node = stack.pop()
        count += 1
        stack.extend(node.children)
    return count
