# make run   install what is missing, build, start Tavrine
# make test  install what is missing, build, run the whole suite through CTest
# make bench build and run the benchmarks
# make install [PREFIX=~/.local]  install Tavrine with its desktop menu entry; make uninstall removes it
# make test-sanitize  the test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# make fuzz SECONDS=N  the fuzz targets (EPUB importer, stored JSON) built with clang and libFuzzer, N seconds each
BUILD_DIR ?= build
SANITIZE_BUILD_DIR ?= build-sanitize
FUZZ_BUILD_DIR ?= build-fuzz
SECONDS ?= 60
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)
PREFIX ?= $(HOME)/.local

.PHONY: all deps configure build run install uninstall test test-sanitize fuzz bench format check-format clean

all: build

deps:
	@scripts/install-deps

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache $(CMAKE_FLAGS)

configure: deps $(BUILD_DIR)/CMakeCache.txt

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	exec $(BUILD_DIR)/src/tavrine

# Only the executable is built for it; scripts/install-app records what it installed, per prefix, in the
# build folder, and uninstall removes exactly that.
install: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target tavrine
	scripts/install-app install $(BUILD_DIR) "$(PREFIX)"

uninstall:
	scripts/install-app uninstall $(BUILD_DIR) "$(PREFIX)"

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# Its own folder: a debug build (assertions on, owner-thread checks included) with the sanitizers,
# without the benchmarks (the driver the tests use is built).
$(SANITIZE_BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(SANITIZE_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVRINE_SANITIZE=ON \
	  -DTAVRINE_BUILD_BENCHMARKS=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache $(CMAKE_FLAGS)

test-sanitize: deps $(SANITIZE_BUILD_DIR)/CMakeCache.txt
	cmake --build $(SANITIZE_BUILD_DIR) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SANITIZE_BUILD_DIR) --output-on-failure -j $(JOBS)

# Its own folder: clang, the fuzzer's coverage and the sanitizers in every target; only the fuzz targets
# and what they need are built.
$(FUZZ_BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(FUZZ_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DTAVRINE_FUZZ=ON -DTAVRINE_BUILD_BENCHMARKS=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache $(CMAKE_FLAGS)

fuzz: deps $(FUZZ_BUILD_DIR)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS) --target epub-archive-fuzz epub-files-fuzz epub-fuzz-seeds json-decode-fuzz markdown-read-fuzz
	scripts/run-fuzz $(FUZZ_BUILD_DIR) $(SECONDS)

bench: build
	@for b in $(BUILD_DIR)/bench/*; do [ -x "$$b" ] && [ -f "$$b" ] || continue; \
	  case "$$(basename $$b)" in *-bench) echo "== $$b"; "$$b" || exit 1;; esac; done

format:
	scripts/check-format --fix

check-format:
	scripts/check-format

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_BUILD_DIR) $(FUZZ_BUILD_DIR)
