# Every target provisions what it needs first (scripts/setup.sh is idempotent).
SHELL := /bin/bash
VENV ?= .venv
BUILD ?= build
PY := $(VENV)/bin/python
JOBS ?= $(shell nproc)
CMAKE := $(VENV)/bin/cmake
CMAKE_FLAGS ?=
SOAK_SECONDS ?= 120

.PHONY: all setup build test sanitize tsan test-ft check-free-threaded soak huge demo bench fuzz format clean wheel

all: build

setup:
	@scripts/setup.sh >/dev/null

build: setup
	@$(CMAKE) -S . -B $(BUILD) -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) \
	    -DPython_EXECUTABLE=$(abspath $(PY)) -DPLOVANE_TESTS=ON -DPLOVANE_WERROR=ON $(CMAKE_FLAGS) >/dev/null
	@$(CMAKE) --build $(BUILD) -j $(JOBS)

# C++ tests under CTest, then the Python tests (the thread soak for its
# short default time); fails if either fails.
test: build
	@python3 scripts/check-layers.py
	@cd $(BUILD) && $(abspath $(VENV))/bin/ctest --output-on-failure -j $(JOBS); c=$$?; \
	 cd $(CURDIR) && PYTHONPATH=$(BUILD) $(PY) -m pytest -q; p=$$?; \
	 exit $$(( c != 0 || p != 0 ))

# Both suites again, built with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-sanitize/, leak detection on.
sanitize: setup
	@JOBS=$(JOBS) VENV=$(VENV) scripts/sanitize.sh address

# The C++ suite, the thread soak and the concurrency test against a
# ThreadSanitizer build in build-tsan/.
tsan: setup
	@JOBS=$(JOBS) VENV=$(VENV) scripts/sanitize.sh thread

# The whole pytest suite on the free-threaded CPython 3.14 that PYTHON_FT
# names (fails when there is none); not part of `test`.
test-ft:
	@JOBS=$(JOBS) scripts/test-free-threaded.sh

# The binding compiled as for a free-threaded interpreter (compile only).
check-free-threaded: setup
	@JOBS=$(JOBS) VENV=$(VENV) scripts/check-free-threaded-build.sh

# The thread soak alone, for SOAK_SECONDS.
soak: build
	@PLOVANE_SOAK_SECONDS=$(SOAK_SECONDS) PYTHONPATH=$(BUILD) $(PY) -m pytest -q -s -m soak

# A document larger than 4 GiB read and written back (minutes, ~14 GiB of memory).
huge: build
	@PYTHONPATH=$(BUILD) $(PY) bench/huge_check.py

demo: build
	@PYTHONPATH=$(BUILD) $(PY) bench/demo.py

# Every libFuzzer target in fuzz/ for FUZZ_SECONDS (default 60) each; not part of `test`.
fuzz:
	@EXTRA_APT="clang libclang-rt-14-dev" scripts/setup.sh >/dev/null
	@scripts/fuzz.sh

# Benchmarks against lxml and ElementTree on a corpus gathered once into bench/data (real
# documents from Debian packages plus generated ones): prints the ratio tables and writes
# bench/results/results.md and figure.png, then the native index benchmark. BENCH_ARGS
# passes options to bench/run_all.py (e.g. --quick, --only read,write).
BENCH_ARGS ?=
bench: build
	@scripts/bench-corpus.sh $(PY)
	@PYTHONPATH=$(BUILD) $(PY) bench/run_all.py $(BENCH_ARGS)
	@scripts/bench-index.sh

# The sdist and manylinux wheels into dist/: x86-64 (installed and checked in a
# fresh environment) and aarch64 (cross-compiled, checked under qemu).
# WHEEL_ARCHES=x86_64 builds only the first; see scripts/wheel.sh.
wheel: setup
	@JOBS=$(JOBS) VENV=$(VENV) scripts/wheel.sh

format:
	@EXTRA_APT="clang-format" scripts/setup.sh >/dev/null
	@clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'fuzz/*.cpp')

clean:
	rm -rf $(BUILD)
