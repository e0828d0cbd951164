"""Runs every Python benchmark (`make bench`), prints their tables and target lines, and
writes bench/results/results.md (tables, targets, machine) and bench/results/figure.png.

Exits with status 1 when a benchmark found a wrong result (a failure), not when a speed
target is missed: the targets are reported, not enforced.
"""

from __future__ import annotations

import argparse
import datetime
import importlib
import importlib.metadata
import os
import platform
import re
import subprocess
import sys
import time
from pathlib import Path

BENCH_DIR = Path(__file__).resolve().parent
sys.path.insert(0, str(BENCH_DIR))

from common import (  # noqa: E402
    DATA_DIR,
    RESULTS_DIR,
    Plovane,
    Section,
    Settings,
    add_common_args,
)

BENCHMARKS = ("read_bench", "write_bench", "dict_bench", "memory_bench", "pickle_bench",
              "growth_bench")


def ensure_requirements() -> None:
    """Installs what bench/requirements.txt lists into this interpreter's environment when a
    distribution is missing (the benchmark peers and the plotting library)."""
    listing = BENCH_DIR / "requirements.txt"
    missing = []
    for line in listing.read_text().splitlines():
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        name = re.match(r"[A-Za-z0-9_.-]+", line).group()
        try:
            importlib.metadata.version(name)
        except importlib.metadata.PackageNotFoundError:
            missing.append(name)
    if missing:
        print(f"bench: installing {', '.join(missing)} from {listing.name}", file=sys.stderr)
        subprocess.run([sys.executable, "-m", "pip", "install", "-q",
                        "--disable-pip-version-check", "-r", str(listing)],
                       check=True, stdin=subprocess.DEVNULL)
        importlib.invalidate_caches()


def machine(pv: Plovane) -> list[tuple[str, str]]:
    from lxml import etree

    cpu = "unknown"
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith(("model name", "Hardware", "cpu model")):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    try:
        commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"], cwd=BENCH_DIR,
                                capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        commit = "unknown"
    return [
        ("CPU", f"{cpu}, {os.cpu_count()} logical cores"),
        ("Kernel", f"{platform.system()} {platform.release()} ({platform.machine()})"),
        ("Python", sys.version.replace("\n", " ")),
        ("lxml", f"{'.'.join(map(str, etree.LXML_VERSION))} "
                 f"(libxml2 {'.'.join(map(str, etree.LIBXML_VERSION))})"),
        ("plovane", f"{pv.version_text()}, commit {commit}"),
        ("Date", datetime.datetime.now(datetime.UTC).strftime("%Y-%m-%d %H:%M UTC")),
    ]


def write_markdown(path: Path, sections: list[Section], facts, settings: Settings,
                   seconds: float) -> None:
    out = ["# Benchmark results", "",
           "Made by `make bench` (bench/run_all.py)"
           + (" in its short harness-check mode (--quick): not representative" if settings.quick
              else "") + f"; the run took {seconds / 60:.1f} minutes.", ""]
    out += ["| Machine | |", "|---|---|"] + [f"| {k} | {v} |" for k, v in facts] + [""]
    out += ["## Targets", ""]
    for section in sections:
        out += [f"- {t.line()}" for t in section.targets]
    failures = [f for s in sections for f in s.failures]
    if failures:
        out += ["", "## Failures", ""] + [f"- {f}" for f in failures]
    out += ["", "![benchmark figure](figure.png)", ""]
    for section in sections:
        for table in section.tables:
            out += [table.markdown(), ""]
    path.write_text("\n".join(out))


def write_figure(path: Path, sections: list[Section], facts) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    series = {}
    for section in sections:
        series.update(section.series)
    panels = [("read_string", "reading a str (MB/s, higher is better)"),
              ("write_string", "writing a str (MB/s of output, higher is better)"),
              ("memory_deleted", "memory held by a tree, document string deleted\n"
                                 "(multiples of the document's size, lower is better)")]
    panels = [(key, title) for key, title in panels if series.get(key)]
    if not panels:
        return
    colours = {"plovane": "#d1495b", "lxml": "#00798c", "ElementTree": "#edae49"}
    docs = list(series[panels[0][0]])
    fig, axes = plt.subplots(1, len(panels), figsize=(6 * len(panels), 0.42 * len(docs) + 2),
                             sharey=True, squeeze=False)
    for ax, (key, title) in zip(axes[0], panels):
        data = series[key]
        height = 0.8 / len(colours)
        for i, (library, colour) in enumerate(colours.items()):
            ys = [j + (i - 1) * height for j in range(len(docs))]
            xs = [(data.get(d) or {}).get(library) or 0 for d in docs]
            if any(xs):
                ax.barh(ys, xs, height=height, color=colour, label=library)
        ax.set_title(title, fontsize=10)
        ax.set_yticks(range(len(docs)), docs, fontsize=8)
        ax.grid(axis="x", alpha=0.3)
    axes[0][0].invert_yaxis()  # the axis is shared: once puts the first document on top
    handles, labels = axes[0][0].get_legend_handles_labels()
    fig.legend(handles, labels, loc="upper right", ncol=len(labels), fontsize=8)
    cpu = dict(facts)["CPU"]
    fig.suptitle(f"plovane vs lxml vs ElementTree: {cpu}; Python {platform.python_version()}",
                 fontsize=10, x=0.02, ha="left")
    fig.tight_layout(rect=(0, 0, 1, 0.97))
    fig.savefig(path, dpi=110)
    plt.close(fig)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    add_common_args(parser)
    parser.add_argument("--only", default="", help="comma-separated subset of: read, write, "
                        "dict, memory, pickle, growth")
    parser.add_argument("--results", type=Path, default=None,
                        help="where results.md and figure.png go (default: bench/results for "
                        "a complete run, bench/data/partial-results otherwise)")
    args = parser.parse_args()
    settings = Settings.from_args(args)
    # Only a complete run may replace the committed figures of bench/results.
    partial = settings.quick or settings.doc_filter or args.only or settings.allow_missing
    if args.results is None:
        args.results = DATA_DIR / "partial-results" if partial else RESULTS_DIR
    ensure_requirements()
    pv = Plovane(settings.allow_missing)
    facts = machine(pv)
    for key, value in facts:
        print(f"{key}: {value}")
    started = time.perf_counter()
    sections = []
    wanted = [b for b in BENCHMARKS if not args.only or b.split("_")[0] in args.only.split(",")]
    for name in wanted:
        print(f"\n##### {name}", flush=True)
        module = importlib.import_module(name)
        t0 = time.perf_counter()
        section = module.run(settings, pv)
        section.print()
        print(f"({name}: {time.perf_counter() - t0:.0f} s)", flush=True)
        sections.append(section)
    seconds = time.perf_counter() - started

    print("\n##### summary")
    for section in sections:
        for target in section.targets:
            print(target.line())
    failures = [f for s in sections for f in s.failures]
    for failure in failures:
        print(f"FAILURE: {failure}")
    args.results.mkdir(parents=True, exist_ok=True)
    write_markdown(args.results / "results.md", sections, facts, settings, seconds)
    write_figure(args.results / "figure.png", sections, facts)
    print(f"results: {args.results / 'results.md'}, {args.results / 'figure.png'} "
          f"({seconds / 60:.1f} minutes)")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
