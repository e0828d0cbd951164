"""The type stubs against the module (stubtest) and against mypy: programs that must pass and
programs that must fail, which also run."""

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


# Each program both type-checks and runs as its comment says.
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

HEADER = "import types\nimport plovane\nfrom plovane import Node, SearchType\n"
REJECTED = [  # one call a line, each a TypeError at run time too
    ('plovane.read_string(b"<a/>", "a")', 'Argument 1 to "read_string" has incompatible type "bytes"'),
    ('Node("x", types.MappingProxyType({"k": "v"}))', 'Argument 2 to "Node" has incompatible type'),
    ('Node.from_dict(types.MappingProxyType({"name": "x", "attrs": {}, "children": [], "text": None}))',
     'Argument 1 to "from_dict" of "Node" has incompatible type'),
    ("SearchType.Tag.__eq__(value=SearchType.Attr)", 'Unexpected keyword argument "value"'),
    ('plovane.write_string(Node("x"), indent="2")', 'Argument "indent" to "write_string" has incompatible type "str"'),
]


def test_mypy_sees_the_api_and_it_runs(tmp_path):
    result = _mypy(tmp_path, ACCEPTED)
    assert result.returncode == 0, result.stdout + result.stderr
    revealed = [line.split("Revealed type is ", 1)[1] for line in result.stdout.splitlines() if "Revealed type" in line]
    assert revealed == REVEALED, result.stdout
    exec(ACCEPTED, {})


def test_mypy_rejects_what_the_module_rejects(tmp_path):
    result = _mypy(tmp_path, HEADER + "".join(call + "\n" for call, _ in REJECTED))
    assert result.returncode == 1, result.stdout + result.stderr
    errors = {}
    for line in result.stdout.splitlines():
        _, number, rest = line.split(":", 2)
        errors.setdefault(int(number), []).append(rest)
    assert sorted(errors) == list(range(4, 4 + len(REJECTED))), result.stdout
    for offset, (call, message) in enumerate(REJECTED):
        assert any(message in error for error in errors[4 + offset]), (call, errors[4 + offset])
        with pytest.raises(TypeError):
            exec(HEADER + call, {})


@pytest.mark.skipif(not INSTALLED, reason="only for an installed wheel: its stub package")
def test_installed_stub_package_is_the_source_stub():
    assert STUB_PACKAGE.read_text() == (ROOT / "plovane.pyi").read_text()
