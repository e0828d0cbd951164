#!/usr/bin/env bash
# Builds the extension and the C++ tests with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-sanitize/ (GCC), then runs the whole
# C++ suite under CTest and the whole pytest suite against the instrumented
# extension, with leak detection on. Any sanitizer report fails the run.
#   usage: scripts/sanitize.sh        (make sanitize; VENV and JOBS as for make)
set -euo pipefail
cd "$(dirname "$0")/.."
VENV=${VENV:-.venv}
OUT=build-sanitize
JOBS=${JOBS:-2}
CXX=g++  # its runtimes are the ones preloaded below
root=$PWD

"$VENV/bin/cmake" -S . -B "$OUT" -G Ninja -DCMAKE_MAKE_PROGRAM="$root/$VENV/bin/ninja" \
    -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPython_EXECUTABLE="$root/$VENV/bin/python" \
    -DPLOVANE_TESTS=ON -DPLOVANE_WERROR=ON -DPLOVANE_SANITIZE=ON >/dev/null
"$VENV/bin/cmake" --build "$OUT" -j "$JOBS"

# Stop at the first report; leaks are checked when each process exits.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan-python.supp:print_suppressions=0

echo "sanitize: C++ tests" >&2
(cd "$OUT" && "$root/$VENV/bin/ctest" --output-on-failure -j "$JOBS")

# The interpreter is not instrumented, so the runtimes must be loaded before
# anything else. PYTHONMALLOC=malloc sends every Python object through
# malloc: the sanitizer then checks the objects the module makes, and the
# leak checker sees every object and every pointer they hold (the
# interpreter's own small-object arenas are invisible to it).
# --capture=sys: a report halts the process at once, and pytest's default
# capture of file descriptor 2 would swallow it.
echo "sanitize: Python tests" >&2
preload="$(realpath "$("$CXX" -print-file-name=libasan.so)") $(realpath "$("$CXX" -print-file-name=libubsan.so)")"
LD_PRELOAD=$preload PYTHONMALLOC=malloc PYTHONPATH=$OUT \
    "$VENV/bin/python" -m pytest -q -p no:cacheprovider --capture=sys "$@"
