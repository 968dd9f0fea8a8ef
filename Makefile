# make run   install what building and running need, build the application alone, start Tavrine
# make test  install what is missing, build, run the whole suite through CTest (with each benchmark's smoke
#            round and each fuzz target's replay of its seeds)
# make bench install what is missing, build, run the benchmarks, each in full
# make install [PREFIX=~/.local]  install Tavrine with its desktop menu entry; make uninstall removes it
# make test-sanitize  the test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# make fuzz SECONDS=N  the fuzz targets (EPUB importer, stored JSON, Markdown reader) built with clang and libFuzzer, N seconds each
BUILD_DIR ?= build
SANITIZE_BUILD_DIR ?= build-sanitize
FUZZ_BUILD_DIR ?= build-fuzz
SECONDS ?= 60
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)
PREFIX ?= $(HOME)/.local
# The packages scripts/install-deps installs: run (building and running) or test (everything else too).
DEPS_SET ?= test
# Compiler warnings are errors in the developers' builds (build, test, bench, test-sanitize), never in what a
# user builds (run, install): a newer compiler's new warning must not stop them. The compile commands are the
# same in all of them (no -Werror), so that make run, make test and CI compile each object once and one
# compiler cache serves them all: scripts/checked-build fails a build in which the compiler warned.

# ccache keys objects by paths relative to the project root and leaves the working folder out, so every
# clone of the project, wherever it lies, shares one cache.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1

.PHONY: all deps configure build run install uninstall test test-sanitize fuzz bench format check-format clean

all: build

run install: DEPS_SET = run

# Succeeds when the tree in folder $(1) lacks nothing that the test set's packages add: its cache records
# that no missing package left anything out (a tree configured before that record existed lacks it).
has_all_parts = grep -qx 'TAVRINE_LEFT_OUT:INTERNAL=' $(1)/CMakeCache.txt

deps:
	@scripts/install-deps $(DEPS_SET)

# A tree configured before the test packages were installed (by `make run`) leaves the tests and the
# benchmarks out; it is configured again once they are wanted (the test set installed), which adds them
# and changes nothing already built.
configure: deps
	@if [ ! -f $(BUILD_DIR)/CMakeCache.txt ]; then \
	  cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache $(CMAKE_FLAGS); \
	elif [ "$(DEPS_SET)" = test ] && ! $(call has_all_parts,$(BUILD_DIR)); then \
	  cmake -S . -B $(BUILD_DIR); \
	fi

build: configure
	scripts/checked-build $(BUILD_DIR) -j $(JOBS)

# Only the executable is built for it.
run: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target tavrine
	exec $(BUILD_DIR)/src/tavrine

# Only the executable is built for it; scripts/install-app records what it installed, per prefix, in the
# build folder, and uninstall removes exactly that.
install: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target tavrine
	scripts/install-app install $(BUILD_DIR) "$(PREFIX)"

uninstall:
	scripts/install-app uninstall $(BUILD_DIR) "$(PREFIX)"

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure --no-tests=error -j $(JOBS)

# Its own folder: a debug build (assertions on, owner-thread checks included) with the sanitizers,
# without the benchmarks (the driver the tests use is built, and its smoke round runs); the fuzz targets
# replay their seeds under the sanitizers.
test-sanitize: deps
	@if [ ! -f $(SANITIZE_BUILD_DIR)/CMakeCache.txt ]; then \
	  cmake -S . -B $(SANITIZE_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVRINE_SANITIZE=ON \
	    -DTAVRINE_BUILD_BENCHMARKS=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache $(CMAKE_FLAGS); \
	elif ! $(call has_all_parts,$(SANITIZE_BUILD_DIR)); then \
	  cmake -S . -B $(SANITIZE_BUILD_DIR); \
	fi
	scripts/checked-build $(SANITIZE_BUILD_DIR) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SANITIZE_BUILD_DIR) --output-on-failure --no-tests=error -j $(JOBS)

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
