#!/usr/bin/env bash
# Compiles the binding (src/capi, src/entities, src/module) once more as for a
# free-threaded CPython 3.14: the 3.14 headers with Py_GIL_DISABLED=1, the
# module's own warnings, -Werror. Compile only: no free-threaded interpreter
# is needed (nor run). Code that would not build for one fails here.
# It then checks that the free-threaded branches really were compiled: the
# node allocation must use the interpreter's object allocator there.
#   usage: scripts/check-free-threaded-build.sh   (VENV and JOBS as for make)
set -euo pipefail
cd "$(dirname "$0")/.."
VENV=${VENV:-.venv}
OUT=build-ft-check
JOBS=${JOBS:-2}
root=$PWD

scripts/setup.sh >/dev/null
"$VENV/bin/cmake" -S . -B "$OUT" -G Ninja -DCMAKE_MAKE_PROGRAM="$root/$VENV/bin/ninja" \
    -DPython_EXECUTABLE="$root/$VENV/bin/python" -DPLOVANE_WERROR=ON >/dev/null
"$VENV/bin/cmake" --build "$OUT" -j "$JOBS" --target plovane_free_threaded_check

objects="$OUT/CMakeFiles/plovane_free_threaded_check.dir/src"
ninja_commands=$("$VENV/bin/ninja" -C "$OUT" -t commands plovane_free_threaded_check)
grep -q -- '-DPy_GIL_DISABLED=1' <<<"$ninja_commands" ||
    { echo "check-free-threaded-build: Py_GIL_DISABLED was not defined" >&2; exit 1; }
undefined=$(nm -u "$objects/entities/node.cpp.o")
for symbol in PyObject_Malloc PyObject_Free; do
    grep -qw "$symbol" <<<"$undefined" || {
        echo "check-free-threaded-build: node.cpp does not call $symbol: the free-threaded branch was not compiled" >&2
        exit 1
    }
done
# Unpickling builds its blocks attached there: no release of the interpreter.
if grep -qw PyEval_SaveThread <<<"$(nm -u "$objects/entities/node_pickle.cpp.o")"; then
    echo "check-free-threaded-build: node_pickle.cpp builds node blocks detached" >&2
    exit 1
fi
# The free-threaded header's critical sections are real calls.
grep -qw PyCriticalSection_Begin <<<"$(nm -u "$objects/capi/container_snapshot.cpp.o")" || {
    echo "check-free-threaded-build: no critical section in container_snapshot.cpp" >&2
    exit 1
}
echo "check-free-threaded-build: the binding compiles for a free-threaded interpreter" >&2
