#!/usr/bin/env bash
# The whole pytest suite on a free-threaded CPython 3.14, the one PYTHON_FT
# names: builds the extension for it into build-ft/, with a virtual
# environment .venv-ft/ holding the test tools (made by scripts/setup.sh, as
# .venv is), and fails if importing the module (or anything during the run)
# enabled the global lock again.
# Without such an interpreter it says so and fails.
#   usage: PYTHON_FT=/path/to/python3.14t scripts/test-free-threaded.sh [pytest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
VENV=${VENV_FT:-.venv-ft}
OUT=build-ft
JOBS=${JOBS:-2}
root=$PWD

is_free_threaded_314='import sys, sysconfig
sys.exit(0 if sys.version_info[:2] == (3, 14) and sysconfig.get_config_var("Py_GIL_DISABLED") == 1 else 1)'
if [[ -z ${PYTHON_FT:-} ]]; then
    echo "test-ft: no free-threaded interpreter: set PYTHON_FT to a free-threaded CPython 3.14 (python3.14t)" >&2
    exit 1
fi
if ! "$PYTHON_FT" -c "$is_free_threaded_314" 2>/dev/null; then
    echo "test-ft: $PYTHON_FT is not a free-threaded CPython 3.14 (sysconfig Py_GIL_DISABLED is not 1)" >&2
    exit 1
fi

# The lock must stay off because the module says so, not because it is forced.
unset PYTHON_GIL

# The same set-up as every other target, on this interpreter and environment.
PYTHON=$PYTHON_FT VENV=$VENV scripts/setup.sh >/dev/null

"$VENV/bin/cmake" -S . -B "$OUT" -G Ninja -DCMAKE_MAKE_PROGRAM="$root/$VENV/bin/ninja" \
    -DPython_EXECUTABLE="$root/$VENV/bin/python" -DPLOVANE_WERROR=ON >/dev/null
"$VENV/bin/cmake" --build "$OUT" -j "$JOBS" --target plovane

PYTHONPATH=$OUT "$VENV/bin/python" -c '
import sys
import plovane
if sys._is_gil_enabled():
    sys.exit("test-ft: importing plovane enabled the global lock")
print("test-ft: plovane imported with the global lock off", file=sys.stderr)
'

PYTHONPATH=$OUT "$VENV/bin/python" - "$@" <<'PY'
import sys

import pytest

code = pytest.main(["-q", "-p", "no:cacheprovider", *sys.argv[1:]])
if sys._is_gil_enabled():
    print("test-ft: the global lock was enabled during the run (by a module the tests imported)", file=sys.stderr)
    code = code or 1
sys.exit(code)
PY
