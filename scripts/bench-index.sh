#!/usr/bin/env bash
# Builds the C++ benchmarks into $BENCH_BUILD (default build-bench) and runs
# the structural index benchmark, then the UTF-8 encoder and escape scan
# benchmark; arguments go to the index benchmark (--huge also indexes a
# document of more than 4 GiB, which needs about 12 GiB of memory).
set -euo pipefail
cd "$(dirname "$0")/.."
VENV=${VENV:-.venv}
BUILD=${BENCH_BUILD:-build-bench}
"$VENV/bin/cmake" -S . -B "$BUILD" -G Ninja -DCMAKE_MAKE_PROGRAM="$(realpath "$VENV/bin/ninja")" \
    -DPLOVANE_CORE_ONLY=ON -DPLOVANE_BENCH=ON -DPLOVANE_WERROR=ON >/dev/null
out=$("$VENV/bin/cmake" --build "$BUILD" -j "${JOBS:-2}" --target index_bench encode_bench) || { echo "$out"; exit 1; }
"$BUILD/bench/index_bench" "$@"
"$BUILD/bench/encode_bench"
