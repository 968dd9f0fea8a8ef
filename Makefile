# make run   install what is missing, build, start Tavrine
# make test  install what is missing, build, run the whole suite through CTest
# make bench build and run the benchmarks
BUILD_DIR ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench format check-format clean

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
	@if [ -x $(BUILD_DIR)/src/tavrine ]; then exec $(BUILD_DIR)/src/tavrine; \
	else echo "Tavrine has no application window yet: the libraries, tests and benchmarks are built."; fi

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD_DIR)/bench/*; do [ -x "$$b" ] && [ -f "$$b" ] || continue; \
	  case "$$(basename $$b)" in *-bench) echo "== $$b"; "$$b" || exit 1;; esac; done

format:
	scripts/check-format --fix

check-format:
	scripts/check-format

clean:
	rm -rf $(BUILD_DIR)
