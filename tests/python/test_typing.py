"""The type stubs against the module (stubtest) and against mypy: a program that uses the
whole API type-checks with the types it should, and runs."""

import os
import site
import subprocess
import sys
from pathlib import Path

import pytest

import plovane

# Under `make sanitize` the module is the instrumented one and the sanitizer
# runtimes are preloaded into every child process: mypy there would test the
# sanitizers' view of mypy, not the stubs, which `make test` already checks.
pytestmark = pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""), reason="run in make test")

ROOT = Path(__file__).resolve().parents[2]
ALLOWLIST = ROOT / "scripts" / "stubtest-allowlist.txt"
MODULE_DIR = Path(plovane.__file__).resolve().parent
# Installed from a wheel: module and stub package in this interpreter's
# site-packages (an editable install's module lives in its build folder).
STUB_PACKAGE = MODULE_DIR / "plovane-stubs" / "__init__.pyi"
INSTALLED = MODULE_DIR in {Path(p).resolve() for p in site.getsitepackages()} and STUB_PACKAGE.is_file()


def _run(tmp_path, arguments):
    """A mypy process in tmp_path on the module pytest imported, with the source tree's stubs
    unless a wheel installed its own."""
    env = {**os.environ, "PYTHONPATH": str(MODULE_DIR)}
    env.pop("MYPYPATH", None)
    if not INSTALLED:
        (tmp_path / "stubs").mkdir()
        (tmp_path / "stubs" / "plovane.pyi").write_text((ROOT / "plovane.pyi").read_text())
        env["MYPYPATH"] = str(tmp_path / "stubs")
    return subprocess.run([sys.executable, "-m", *arguments], cwd=tmp_path, env=env, capture_output=True, text=True,
                          timeout=600)


def _mypy(tmp_path, source):
    (tmp_path / "program.py").write_text(source)
    return _run(tmp_path, ["mypy", "--strict", "--no-incremental", "--cache-dir", os.devnull, "--config-file",
                           os.devnull, "--hide-error-context", "--no-error-summary", "program.py"])


def test_stubtest(tmp_path):
    result = _run(tmp_path, ["mypy.stubtest", "plovane", "--allowlist", str(ALLOWLIST), "--mypy-config-file",
                             os.devnull])
    assert result.returncode == 0 and "Success" in result.stdout, result.stdout + result.stderr


ACCEPTED = """
import typing
import plovane
from plovane import Node, SearchType

class Attrs(dict[str, str]): ...
class Tree(dict[str, typing.Any]): ...

node = plovane.read_string("<a k='v'><b/></a>", "a")
typing.reveal_type(node)
typing.reveal_type(node.attrs)
typing.reveal_type(node.search(SearchType.Tag, "b", depth=1))
typing.reveal_type(node.text)
typing.reveal_type(SearchType.Tag == SearchType.Attr)
built = Node("x", Attrs(k="v"), (Node("y"),), text="t")
again = Node.from_dict(Tree(built.to_dict()))
typing.reveal_type(plovane.write_string(again, indent=2, default_xml_def=False))
assert built.attrs == {"k": "v"} and again.to_dict() == built.to_dict()
assert (SearchType.Tag == SearchType.Attr) is False and SearchType.Tag.__ne__(SearchType.Attr) is True
"""
REVEALED = ['"plovane.Node"', '"dict[str, str]"', '"list[plovane.Node]"', '"str | None"', '"bool"', '"str"']


def test_mypy_sees_the_api_and_it_runs(tmp_path):
    result = _mypy(tmp_path, ACCEPTED)
    assert result.returncode == 0, result.stdout + result.stderr
    revealed = [line.split("Revealed type is ", 1)[1] for line in result.stdout.splitlines() if "Revealed type" in line]
    assert revealed == REVEALED, result.stdout
    exec(ACCEPTED, {})


@pytest.mark.skipif(not INSTALLED, reason="only for an installed wheel: its stub package")
def test_installed_stub_package_is_the_source_stub():
    assert STUB_PACKAGE.read_text() == (ROOT / "plovane.pyi").read_text()
