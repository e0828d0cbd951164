"""Growth benchmark: how the time of one call grows with the size of a hostile or extreme input.

Each row times one call on an input of size n and on one of size 4n (the input is made before
the timer starts), the two in turns, and prints the median of the turns' ratios. Work that
grows linearly with the input gives a ratio near 4; a ratio above 5 reports a path that grows
faster than the input ("NOT met"). The inputs:

- one element with very many attributes, through read_string, the Node constructor,
  Node.from_dict and write_string;
- runs of constructs that never find their terminator: "<![CDATA[", "<!--", "<?x", "<a",
  "<!x", and a document type whose internal subset is never closed;
- a very long element name;
- very many siblings, very deep nesting, and very many character and entity references in one
  text.

Inputs the reader must reject are checked to raise ValueError (a wrong outcome is a failure,
not a slow row). n is at least 10^6 (attributes, siblings, levels, references), so that both
sizes lie beyond the processor's caches and the ratio measures the algorithm; the table takes
a few minutes.

A last row, not counted in the target, times bytearray(100 n) against bytearray(400 n): fresh
memory made and cleared, nothing else. On machines where the kernel's cost per fresh page
grows with the number of pages, its ratio is above 4, and rows that make hundreds of megabytes
per call carry that share too.
"""

from __future__ import annotations

import statistics
from collections.abc import Callable
from dataclasses import dataclass

from common import (
    Plovane,
    Section,
    Settings,
    Table,
    Target,
    Work,
    compare,
    fmt,
    run_standalone,
)

# Largest acceptable time(4n) / time(n).
GOAL = 5.0
MILLION = 1_000_000


@dataclass
class Case:
    label: str
    n: int
    # Builds the argument for size n (untimed), and the call timed on it.
    make: Callable[[int], object]
    call: Callable[[object], object]
    # Whether the call must raise ValueError rather than return.
    rejects: bool = False


def attribute_items(n: int) -> dict[str, str]:
    return {f"a{i}": "v" for i in range(n)}


def attribute_document(n: int) -> str:
    return "<r " + " ".join(f'a{i}="v"' for i in range(n)) + "/>"


def cases(pv: Plovane) -> list[Case]:
    read_string = pv.get("read_string")
    write_string = pv.get("write_string")
    node = pv.get("Node")
    from_dict = pv.get("Node.from_dict")
    # Per-item structures (a node, an attribute's slot and entry) of a quarter million items
    # still fit in the last-level cache, those of a million do not: the rows of such items
    # start at a million, so that n and 4n are both read from memory.
    n = MILLION

    # Inputs of a few bytes per item get at least 32 MB at size n, as much as the largest
    # last-level cache of the machines this runs on, so that both sizes are read from memory
    # and the ratio measures the algorithm rather than the cache.
    def past_cache(bytes_per_item: int) -> int:
        return max(MILLION, 32_000_000 // bytes_per_item)

    read_r = lambda doc: read_string(doc, "r")  # noqa: E731
    return [
        Case("attributes on one element: read_string", n, attribute_document, read_r),
        Case("attributes on one element: Node(name, attrs)", n, attribute_items,
             lambda attrs: node("r", attrs)),
        Case("attributes on one element: Node.from_dict", n,
             lambda k: {"name": "r", "attrs": attribute_items(k), "children": [], "text": None},
             from_dict),
        Case("attributes on one element: write_string", n,
             lambda k: node("r", attribute_items(k)), write_string),
        Case("unterminated '<![CDATA[' repeated", past_cache(9),
             lambda k: "<![CDATA[" * k, read_r, True),
        Case("unterminated '<!--' repeated", past_cache(4), lambda k: "<!--" * k, read_r, True),
        Case("unterminated '<?x' repeated", past_cache(3), lambda k: "<?x" * k, read_r, True),
        Case("unclosed '<a' repeated", past_cache(2), lambda k: "<a" * k, read_r, True),
        # Every "<!x" is a declaration followed by a range of character data, which the
        # byte-search index holds a batch at a time; a few million items keep this row's
        # time comparable with the runs made when it held them all at once.
        Case("unterminated '<!x' repeated", 8 * MILLION // 3, lambda k: "<!x" * k, read_r, True),
        Case("'<!DOCTYPE' with an unterminated internal subset", past_cache(15),
             lambda k: "<!DOCTYPE r [" + "<!ENTITY e 'v'>" * k + "<r/>", read_r, True),
        # Names keep their length modulo 65536 (documented): past that a start tag is cut
        # inside its name and rejected, as is an end tag.
        Case("start tag name of n characters", past_cache(1),
             lambda k: f"<r><{'n' * k}/></r>", read_r, True),
        Case("end tag name of n characters", past_cache(1),
             lambda k: f"<r></{'n' * k}>", read_r, True),
        Case("siblings", n, lambda k: "<r>" + "<a/>" * k + "</r>", read_r),
        Case("nesting depth", n, lambda k: "<a>" * k + "</a>" * k,
             lambda doc: read_string(doc, "a")),
        Case("character and entity references in one text", past_cache(5),
             lambda k: "<r>" + "&#65;&amp;" * (k // 2) + "</r>", read_r),
    ]


def checked_call(case: Case, size: int, section: Section) -> Callable[[], None] | None:
    """The call on the input of `size`, once tried: None (and a failure noted) when its
    outcome is wrong."""
    arg = case.make(size)

    def call():
        try:
            case.call(arg)
        except ValueError:
            if not case.rejects:
                raise
            return
        if case.rejects:
            raise AssertionError("accepted an input it must reject")

    try:
        call()
    except Exception as exc:  # noqa: BLE001 (reported, not hidden)
        section.failures.append(f"{case.label} (n = {size:,}): {type(exc).__name__}: {exc}")
        return None
    return call


def timed(case: Case, n: int, budget: float, section: Section) -> tuple[float | None, ...]:
    """Best times on n and on 4n, and the median ratio of their turns (see best_pair)."""
    calls = {"n": checked_call(case, n, section), "4n": checked_call(case, 4 * n, section)}
    if not all(calls.values()):
        return None, None, None
    return best_pair(calls["n"], calls["4n"], budget)


def best_pair(small: Callable[[], object], large: Callable[[], object],
              budget: float) -> tuple[float, float, float]:
    """Best times on n and on 4n, and the median of the ratios of the two calls of each round.
    A round times n and 4n back to back, so that a change in the machine's other load touches
    both alike; the median of those ratios does not follow one lucky or unlucky call the way
    a ratio of two best times does. At least five rounds (two when one call outlasts the budget,
    up to forty for short calls)."""
    timings = compare({"n": Work(small), "4n": Work(large)}, budget=budget, min_runs=5,
                      max_runs=40)
    n, four_n = timings["n"], timings["4n"]
    ratios = [b / a for a, b in zip(n.times, four_n.times)]
    return n.best, four_n.best, statistics.median(ratios)


def run(settings: Settings, pv: Plovane) -> Section:
    section = Section("growth")
    table = Table("growth: time on 4n / time on n (linear ~ 4)",
                  ["input", "n", "time n (s)", "time 4n (s)", "4n / n", f"<= {GOAL:g}"])
    table.notes.append("times: best of five or more calls after a warm-up, n and 4n taking "
                       "turns; 4n / n: the median of the ratios of the turns; the inputs are "
                       "built before the timer starts")
    budget = settings.budget(1.0)
    worst = None
    for case in cases(pv):
        n = case.n // 10 if settings.quick else case.n
        small, large, growth = timed(case, n, budget, section)
        verdict = "n/a" if growth is None else "ok" if growth <= GOAL else "NOT met"
        if growth is not None:
            worst = growth if worst is None else max(worst, growth)
        table.add(case.label, f"{n:,}", fmt(small, 4), fmt(large, 4), fmt(growth), verdict)
        print(f"  growth: {case.label} done", flush=True)
    n = MILLION // 10 if settings.quick else MILLION
    small, large, growth = best_pair(lambda: bytearray(100 * n), lambda: bytearray(400 * n),
                                     budget)
    table.add("reference, not counted: bytearray(100 n)", f"{n:,}", fmt(small, 4),
              fmt(large, 4), fmt(growth), "")
    section.tables.append(table)
    section.targets.append(Target("growth 4n / n, worst row", worst, GOAL,
                                  higher_is_better=False))
    return section


if __name__ == "__main__":
    run_standalone(run, __doc__.splitlines()[0])
