"""The type stubs against the module and against mypy.

stubtest compares plovane.pyi with the imported module's own signatures, and
mypy checks small programs that use the API, so that a stub drifting from the
module, or a stub too loose or too strict for what the module accepts, fails
here. Run against the module pytest imports: the build tree in `make test`
(stubs from the source tree), or an installed wheel (its plovane-stubs
package, found by mypy the way users' tools find it)."""

import os
import site
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

import plovane

# Under `make sanitize` the module is the instrumented one and the sanitizer
# runtimes are preloaded into every child process: mypy there would test the
# sanitizers' view of mypy, not the stubs, which `make test` already checks.
pytestmark = pytest.mark.skipif(
    "libasan" in os.environ.get("LD_PRELOAD", ""), reason="type checks run in make test, not under the sanitizers"
)

ROOT = Path(__file__).resolve().parents[2]
ALLOWLIST = ROOT / "scripts" / "stubtest-allowlist.txt"
MODULE_DIR = Path(plovane.__file__).resolve().parent
# Installed from a wheel: module and stub package in this interpreter's
# site-packages (an editable install's module lives in its build folder).
INSTALLED = MODULE_DIR in {Path(p).resolve() for p in site.getsitepackages()} and (
    MODULE_DIR / "plovane-stubs" / "__init__.pyi"
).is_file()


def _environment(tmp_path, stub_text=None):
    """Environment for a mypy process run in tmp_path: the module pytest
    imported, and the source tree's stubs unless a wheel installed its own."""
    env = dict(os.environ)
    env["PYTHONPATH"] = str(MODULE_DIR)
    env.pop("MYPYPATH", None)
    if stub_text is not None or not INSTALLED:
        stubs = tmp_path / "stubs"
        stubs.mkdir()
        text = stub_text if stub_text is not None else (ROOT / "plovane.pyi").read_text()
        (stubs / "plovane.pyi").write_text(text)
        env["MYPYPATH"] = str(stubs)
    return env


def _stubtest(tmp_path, stub_text=None):
    return subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "plovane", "--allowlist", str(ALLOWLIST),
         "--mypy-config-file", os.devnull],
        cwd=tmp_path, env=_environment(tmp_path, stub_text), capture_output=True, text=True, timeout=600,
    )


def _mypy(tmp_path, source):
    program = tmp_path / "program.py"
    program.write_text(textwrap.dedent(source))
    return subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-incremental", "--cache-dir", os.devnull,
         "--config-file", os.devnull, "--hide-error-context", "--no-error-summary", str(program)],
        cwd=tmp_path, env=_environment(tmp_path), capture_output=True, text=True, timeout=600,
    )


def test_stubtest_finds_no_difference(tmp_path):
    result = _stubtest(tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr
    assert "Success" in result.stdout


def test_stubtest_reports_a_drifted_stub(tmp_path):
    # The harness must see the module: a renamed parameter is a difference.
    stub = (ROOT / "plovane.pyi").read_text()
    drifted = stub.replace("def read_string(xml_string: str,", "def read_string(document: str,")
    assert drifted != stub
    result = _stubtest(tmp_path, drifted)
    assert result.returncode != 0
    assert "plovane.read_string is inconsistent" in result.stdout, result.stdout


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
    installed = (MODULE_DIR / "plovane-stubs" / "__init__.pyi").read_text()
    assert installed == (ROOT / "plovane.pyi").read_text()
