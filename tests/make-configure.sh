#!/usr/bin/env bash
# make-configure.sh SOURCE
#
# The Makefile's configure step on a tree that `make run` configured before the test packages were
# installed: Google Benchmark hidden from CMake (its absence recorded in the cache, as a machine without
# the package leaves it), GoogleTest found. Once the package is there (the record dropped), the step that
# `make test` and `make bench` take configures the tree again, which then holds every benchmark; `make run`'s
# leaves it alone, and a tree that lacks nothing is not configured again. Package installation is skipped
# (make -o deps): only the decision and CMake's record are tested.
set -euo pipefail
source=$(realpath -e "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrine-configure.XXXXXX")
trap 'rm -rf "$work"' EXIT
tree="$work/build"

fail() {
  echo "make-configure: $*" >&2
  exit 1
}
# Nothing of a make that runs this test (its command-line variables, its job server) reaches these.
configure() {
  env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL make -s -C "$source" -o deps configure BUILD_DIR="$tree" "$@" >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log" >&2; fail "make configure $* failed"; }
}
has_benchmarks() { grep -q '^build bench/capture-bench:' "$tree/build.ninja"; }
has_tests() { [ -f "$tree/tests/CTestTestfile.cmake" ]; }
left_out() { sed -n 's/^TAVRINE_LEFT_OUT:INTERNAL=//p' "$tree/CMakeCache.txt"; }
# Whether the last step ran CMake: it says so as it generates the tree.
ran_cmake() { grep -q -- '-- Generating done' "$work/configure.log"; }

configure DEPS_SET=run CMAKE_FLAGS=-DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
has_tests || fail "GoogleTest was found, yet the tests are left out"
has_benchmarks && fail "the benchmarks are built without Google Benchmark"
[ "$(left_out)" = benchmarks ] || fail "the cache records '$(left_out)' as left out, not benchmarks"

# The package installed: CMake may find it now.
sed -i 's/^\(CMAKE_DISABLE_FIND_PACKAGE_benchmark:[A-Z]*\)=ON$/\1=OFF/' "$tree/CMakeCache.txt"
configure DEPS_SET=run
ran_cmake && fail "make run's step configured the tree again"

configure
ran_cmake || fail "make test's step did not configure the tree again"
has_benchmarks || fail "the benchmarks are still left out after make test's step: $(left_out)"
[ -z "$(left_out)" ] || fail "the cache still records '$(left_out)' as left out"
configure
ran_cmake && fail "a tree that lacks nothing was configured again"
echo "make-configure: the benchmarks left out by a missing package come back with make test's step, once"
