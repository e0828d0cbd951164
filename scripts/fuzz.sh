#!/usr/bin/env bash
# Builds every libFuzzer target fuzz/<name>.cpp with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer into build-fuzz/, then runs each for
# FUZZ_SECONDS (default 60) on its seed corpus fuzz/corpus/<name without
# _fuzz>/ (read only; new inputs go to build-fuzz/corpus/) with the
# dictionary fuzz/<name>.dict when there is one. Fails if any target fails.
# FUZZ_TARGETS (space-separated names, e.g. "read_fuzz") limits the run.
set -euo pipefail
cd "$(dirname "$0")/.."
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
CXX=${FUZZ_CXX:-clang++}
OUT=build-fuzz
JOBS=${JOBS:-2}
mkdir -p "$OUT/obj" "$OUT/corpus"

common=(-std=c++20 -O1 -g -fno-omit-frame-pointer -Isrc -Itests/cpp
        -fsanitize=address,undefined -fno-sanitize-recover=all)

# The core, compiled once; vector kernels (<name>_<set>.cpp) get the flags
# of their instruction set, as cmake/instruction_sets.cmake defines them.
declare -A set_flags=()
while read -r set flags; do
    set_flags[$set]=$flags
done < <("${CMAKE:-.venv/bin/cmake}" -DPROCESSOR="$(uname -m)" -P cmake/print_instruction_sets.cmake)
compile() {
    local src=$1 obj=$OUT/obj/${1//\//_}.o set=${1##*_} extra=()
    set=${set%.cpp}
    if [[ -n ${set_flags[$set]:-} ]]; then read -ra extra <<<"${set_flags[$set]}"; fi
    if [[ ! $obj -nt $src ]] || find src cmake -name '*.h' -newer "$obj" -o -name '*.cmake' -newer "$obj" | grep -q .; then
        "$CXX" "${common[@]}" -fsanitize=fuzzer-no-link "${extra[@]}" -c "$src" -o "$obj"
    fi
    echo "$obj"
}
shopt -s nullglob
objects=()
for src in src/{platform,simd,index,read,write,storage}/*.cpp; do objects+=("$(compile "$src")"); done

status=0
for target in fuzz/*.cpp; do
    name=$(basename "$target" .cpp)
    if [[ -n ${FUZZ_TARGETS:-} && " $FUZZ_TARGETS " != *" $name "* ]]; then continue; fi
    corpus=fuzz/corpus/${name%_fuzz}
    echo "fuzz: building $name" >&2
    "$CXX" "${common[@]}" -fsanitize=fuzzer "$target" "${objects[@]}" -o "$OUT/$name"
    mkdir -p "$OUT/corpus/$name" "$corpus"
    dict=()
    [[ -f fuzz/$name.dict ]] && dict=(-dict="fuzz/$name.dict")
    echo "fuzz: running $name for ${FUZZ_SECONDS}s" >&2
    if ! "$OUT/$name" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 "${dict[@]}" \
            -artifact_prefix="$OUT/$name-" "$OUT/corpus/$name" "$corpus" 2>"$OUT/$name.log"; then
        echo "fuzz: $name FAILED, see $OUT/$name.log" >&2
        tail -n 30 "$OUT/$name.log" >&2
        status=1
        continue
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$OUT/$name.log")
    echo "fuzz: $name passed, $runs executions in ${FUZZ_SECONDS}s"
done
exit $status
