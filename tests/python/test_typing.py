"""The type stubs against the module, by stubtest: every name, class and signature that the
module has, the stubs declare alike."""

import os
import site
import subprocess
import sys
from pathlib import Path

import pytest

import plovane

# Under `make sanitize` the module is the instrumented one and the sanitizer
# runtimes are preloaded into every child process: stubtest there would test the
# sanitizers' view of mypy, not the stubs, which `make test` already checks.
pytestmark = pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""), reason="run in make test")

ROOT = Path(__file__).resolve().parents[2]
ALLOWLIST = ROOT / "scripts" / "stubtest-allowlist.txt"
MODULE_DIR = Path(plovane.__file__).resolve().parent
# Installed from a wheel: module and stub package in this interpreter's
# site-packages (an editable install's module lives in its build folder).
STUB_PACKAGE = MODULE_DIR / "plovane-stubs" / "__init__.pyi"
INSTALLED = MODULE_DIR in {Path(p).resolve() for p in site.getsitepackages()} and STUB_PACKAGE.is_file()


def test_stubtest(tmp_path):
    # The module pytest imported, with the source tree's stubs unless a wheel installed its own.
    env = {**os.environ, "PYTHONPATH": str(MODULE_DIR)}
    env.pop("MYPYPATH", None)
    if not INSTALLED:
        (tmp_path / "stubs").mkdir()
        (tmp_path / "stubs" / "plovane.pyi").write_text((ROOT / "plovane.pyi").read_text())
        env["MYPYPATH"] = str(tmp_path / "stubs")
    result = subprocess.run([sys.executable, "-m", "mypy.stubtest", "plovane", "--allowlist", str(ALLOWLIST),
                             "--mypy-config-file", os.devnull], cwd=tmp_path, env=env, capture_output=True, text=True,
                            timeout=600)
    assert result.returncode == 0 and "Success" in result.stdout, result.stdout + result.stderr


@pytest.mark.skipif(not INSTALLED, reason="only for an installed wheel: its stub package")
def test_installed_stub_package_is_the_source_stub():
    assert STUB_PACKAGE.read_text() == (ROOT / "plovane.pyi").read_text()
