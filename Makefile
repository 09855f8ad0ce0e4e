# The two commands of the README, and a few helpers.
#   make run    - build, then grab 10 images from an emulated camera into out/
#   make test   - build and run every test (g++, clang+ASan+UBSan, fuzzers)
.PHONY: run test setup build bench-view format format-check tests-gcc tests-sanitize tests-tsan check-32bit fuzz bench clean

JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 45
GCC_DIR := build/gcc
SAN_DIR := build/sanitize
TSAN_DIR := build/tsan
FUZZ_DIR := build/fuzz
BENCH_DIR := build/bench

# The main job: serve an emulated camera on a free loopback address and grab
# 10 images from it into out/ as PNG files; the camera is stopped whatever
# happens.
run: build
	scripts/run.sh $(GCC_DIR)/bin out 10

test: setup format-check check-32bit tests-gcc tests-sanitize tests-tsan fuzz
	@echo "make test: all checks passed"

setup:
	@scripts/setup.sh

build: setup
	cmake -S . -B $(GCC_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	    -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
	cmake --build $(GCC_DIR) -j $(JOBS)

tests-gcc: build
	cd $(GCC_DIR) && ctest --output-on-failure -j $(JOBS)

tests-sanitize: setup
	cmake -S . -B $(SAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKACQ_SANITIZE=ON \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	    -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" >/dev/null
	cmake --build $(SAN_DIR) -j $(JOBS)
	cd $(SAN_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# The threaded code (transport library, emulator network side) under
# ThreadSanitizer: only those suites are built and run (labels = suite names).
TSAN_SUITES := gtrans_tests|emulator_tests
tests-tsan: setup
	cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKACQ_TSAN=ON \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	    -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" >/dev/null
	cmake --build $(TSAN_DIR) -j $(JOBS) --target tsan_suites
	cd $(TSAN_DIR) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	    ctest --output-on-failure -j $(JOBS) -L '^($(TSAN_SUITES))$$'

# The host records must match the host's 32-bit layout to the byte.
check-32bit: setup
	g++ -m32 -std=c++17 -Wall -Wextra -Werror -fsyntax-only -Isrc tests/layout/HostRecordsLayout32.cpp
	@echo "check-32bit: host record layout proven for ILP32"

fuzz: setup
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKACQ_FUZZ=ON -DKACQ_TESTS=OFF \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers
	scripts/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

bench: setup
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKACQ_BENCH=ON \
	    -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
	cmake --build $(BENCH_DIR) -j $(JOBS) --target kacq_bench
	$(BENCH_DIR)/bin/kacq_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true $(BENCH_ARGS)

# kacq view in headless Chromium: frames shown per second at 640x480 Mono8 and
# the server's CPU per shown frame, against kacq stream on the same camera.
bench-view: build
	python3 tests/tools/view_browser.py $(GCC_DIR)/bin/kacq-emu $(GCC_DIR)/bin/kacq $(GCC_DIR) --bench 10

format:
	scripts/check-format.sh --fix

format-check:
	scripts/check-format.sh

clean:
	rm -rf build
