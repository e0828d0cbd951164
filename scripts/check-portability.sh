#!/usr/bin/env bash
# Builds the source with the toolchains that stand in for the systems the
# wheels cannot be tested on here, warnings as errors:
#   1. clang with libc++ (as on macOS): the whole extension and the C++ tests,
#      and the C++ tests run;
#   2. mingw-w64 (as on Windows): the core library, which holds every
#      operating-system call of the module.
# The binding uses no call that only Linux has, so the second build covers
# the system-specific code; the Windows interpreter itself is not here.
#   usage: scripts/check-portability.sh      (VENV and JOBS as for make)
set -euo pipefail
cd "$(dirname "$0")/.."
VENV=${VENV:-.venv}
JOBS=${JOBS:-2}
root=$PWD
EXTRA_APT="clang libc++-14-dev libc++abi-14-dev g++-mingw-w64-x86-64-posix" scripts/setup.sh >/dev/null

echo "portability: clang + libc++" >&2
"$VENV/bin/cmake" -S . -B build-libcxx -G Ninja -DCMAKE_MAKE_PROGRAM="$root/$VENV/bin/ninja" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="-stdlib=libc++" \
    -DCMAKE_EXE_LINKER_FLAGS="-stdlib=libc++" -DCMAKE_SHARED_LINKER_FLAGS="-stdlib=libc++" \
    -DPython_EXECUTABLE="$root/$VENV/bin/python" -DPLOVANE_WERROR=ON -DPLOVANE_TESTS=ON \
    -DPLOVANE_GTEST_FROM_SOURCE=ON >/dev/null
"$VENV/bin/cmake" --build build-libcxx -j "$JOBS"
(cd build-libcxx && "$root/$VENV/bin/ctest" -j "$JOBS" --output-on-failure | tail -n 3)

echo "portability: mingw-w64 core" >&2
"$VENV/bin/cmake" -S . -B build-mingw -G Ninja -DCMAKE_MAKE_PROGRAM="$root/$VENV/bin/ninja" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DPLOVANE_CORE_ONLY=ON -DPLOVANE_WERROR=ON >/dev/null
"$VENV/bin/cmake" --build build-mingw -j "$JOBS"
echo "portability: ok" >&2
