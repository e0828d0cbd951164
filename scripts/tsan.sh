#!/usr/bin/env bash
# Builds the extension and the C++ tests with ThreadSanitizer into
# build-tsan/ (GCC), then runs the whole C++ suite under CTest and, against
# the instrumented extension, the thread soak and the concurrency test. Any
# report fails the run.
#   usage: scripts/tsan.sh [pytest arguments]   (make tsan; VENV and JOBS as for make)
set -euo pipefail
cd "$(dirname "$0")/.."
VENV=${VENV:-.venv}
OUT=build-tsan
JOBS=${JOBS:-2}
CXX=g++  # its runtime is the one preloaded below
root=$PWD

"$VENV/bin/cmake" -S . -B "$OUT" -G Ninja -DCMAKE_MAKE_PROGRAM="$root/$VENV/bin/ninja" \
    -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPython_EXECUTABLE="$root/$VENV/bin/python" \
    -DPLOVANE_TESTS=ON -DPLOVANE_WERROR=ON -DPLOVANE_TSAN=ON >/dev/null
"$VENV/bin/cmake" --build "$OUT" -j "$JOBS"

# Stop at the first report, and fail the process with it.
export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:suppressions=$root/scripts/tsan-python.supp:print_suppressions=0"

echo "tsan: C++ tests" >&2
(cd "$OUT" && "$root/$VENV/bin/ctest" --output-on-failure -j "$JOBS")

# The interpreter is not instrumented: the runtime must be loaded before
# anything else, and it sees only the module's own memory accesses and the
# library calls it intercepts (locks, malloc, memcpy), which is where the
# suppressions file comes in. PYTHONMALLOC=malloc sends every object through
# malloc, so that memory freed by one thread and reused by another is known
# to the runtime. --capture=sys: a report halts the process at once, and
# pytest's capture of file descriptor 2 would swallow it.
echo "tsan: thread soak and concurrency test" >&2
LD_PRELOAD="$(realpath "$("$CXX" -print-file-name=libtsan.so)")" PYTHONMALLOC=malloc \
    PYTHONPATH=$OUT "$VENV/bin/python" -m pytest -q -p no:cacheprovider --capture=sys \
    tests/python/test_concurrency.py "$@"
