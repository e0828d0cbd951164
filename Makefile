# Every target provisions what it needs first (scripts/setup.sh is idempotent).
SHELL := /bin/bash
VENV ?= .venv
BUILD ?= build
PY := $(VENV)/bin/python
JOBS ?= $(shell nproc)
CMAKE := $(VENV)/bin/cmake
CMAKE_FLAGS ?=

.PHONY: all setup build test demo bench fuzz format clean

all: build

setup:
	@scripts/setup.sh >/dev/null

build: setup
	@$(CMAKE) -S . -B $(BUILD) -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) \
	    -DPython_EXECUTABLE=$(abspath $(PY)) -DPLOVANE_TESTS=ON -DPLOVANE_WERROR=ON $(CMAKE_FLAGS) >/dev/null
	@$(CMAKE) --build $(BUILD) -j $(JOBS)

# C++ tests under CTest, then the Python tests; fails if either fails.
test: build
	@cd $(BUILD) && $(abspath $(VENV))/bin/ctest --output-on-failure -j $(JOBS); c=$$?; \
	 cd $(CURDIR) && PYTHONPATH=$(BUILD) $(PY) -m pytest -q -m "not soak"; p=$$?; \
	 exit $$(( c != 0 || p != 0 ))

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

format:
	@clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'bench/*.cpp' 'fuzz/*.cpp')

clean:
	rm -rf $(BUILD)
