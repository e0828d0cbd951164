#!/usr/bin/env bash
# Builds the extension and the C++ tests with a sanitizer (GCC), runs the
# whole C++ suite under CTest, then pytest against the instrumented
# extension. Any report fails the run.
#   address: AddressSanitizer + UndefinedBehaviorSanitizer with leak
#            detection, into build-sanitize/; the whole pytest suite.
#   thread:  ThreadSanitizer, into build-tsan/; the thread soak and the
#            concurrency test.
#   usage: scripts/sanitize.sh address|thread [pytest arguments]
#          (make sanitize, make tsan; VENV and JOBS as for make)
set -euo pipefail
cd "$(dirname "$0")/.."
VENV=${VENV:-.venv}
JOBS=${JOBS:-2}
CXX=g++  # its runtimes are the ones preloaded below
root=$PWD
kind=${1:-}
shift || true

runtime() { realpath "$("$CXX" -print-file-name="$1")"; }

case "$kind" in
address)
    out=build-sanitize option=PLOVANE_SANITIZE name=sanitize
    # Stop at the first report; leaks are checked when each process exits.
    export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    export LSAN_OPTIONS=suppressions=$root/scripts/lsan-python.supp:print_suppressions=0
    preload="$(runtime libasan.so) $(runtime libubsan.so)"
    tests=()
    what="Python tests"
    ;;
thread)
    out=build-tsan option=PLOVANE_TSAN name=tsan
    # Stop at the first report, and fail the process with it.
    export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:suppressions=$root/scripts/tsan-python.supp:print_suppressions=0"
    preload=$(runtime libtsan.so)
    tests=(tests/python/test_concurrency.py)
    what="thread soak and concurrency test"
    ;;
*)
    echo "usage: scripts/sanitize.sh address|thread [pytest arguments]" >&2
    exit 2
    ;;
esac

"$VENV/bin/cmake" -S . -B "$out" -G Ninja -DCMAKE_MAKE_PROGRAM="$root/$VENV/bin/ninja" \
    -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPython_EXECUTABLE="$root/$VENV/bin/python" \
    -DPLOVANE_TESTS=ON -DPLOVANE_WERROR=ON -D$option=ON >/dev/null
"$VENV/bin/cmake" --build "$out" -j "$JOBS"

echo "$name: C++ tests" >&2
(cd "$out" && "$root/$VENV/bin/ctest" --output-on-failure -j "$JOBS")

# The interpreter is not instrumented, so the runtimes must be loaded before
# anything else; they see only the module's own memory accesses and the
# library calls they intercept (locks, malloc, memcpy), hence the
# suppression files. PYTHONMALLOC=malloc sends every Python object through
# malloc: the sanitizer then checks the objects the module makes, the leak
# checker sees every object and every pointer they hold, and memory freed by
# one thread and reused by another is known to the thread sanitizer.
# --capture=sys: a report halts the process at once, and pytest's default
# capture of file descriptor 2 would swallow it.
run_pytest() {
    LD_PRELOAD=$preload PYTHONMALLOC=malloc PYTHONPATH=$out \
        "$VENV/bin/python" -m pytest -q -p no:cacheprovider --capture=sys "${tests[@]}" "$@"
}
echo "$name: $what" >&2
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if run_pytest "$@" 2>&1 | tee "$log"; then exit 0; fi
# Now and then the leak checker's own tracer crashes while it stops the
# process's threads at exit ("Tracer caught signal 11", then "LeakSanitizer
# has encountered a fatal error"): the checker failed, it found nothing. Only
# then is the run made once more; any report of a finding fails at once.
if grep -q "LeakSanitizer has encountered a fatal error" "$log" &&
    ! grep -q -e "ERROR: AddressSanitizer" -e "ERROR: LeakSanitizer: detected" \
        -e "runtime error:" -e "WARNING: ThreadSanitizer" -e " failed" "$log"; then
    echo "$name: the leak checker itself failed; running the $what once more" >&2
    run_pytest "$@"
    exit
fi
exit 1
