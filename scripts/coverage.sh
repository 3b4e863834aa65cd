#!/usr/bin/env bash
# Builds the tests with gcov instrumentation into build-coverage/, runs them, and prints gcovr's
# line and branch summary of Orvane/ (the plug-in and the codec-parser library). Counters start
# from zero on every run. Branches the compiler adds for exception unwinding are left out of the
# branch figure: they are not decisions of our code.
#
# Env: JOBS (default nproc), ORVANE_DEPS_DIR (default <repo>/third_party).
set -euo pipefail
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}
BUILD="$REPO/build-coverage"

echo "=== coverage: instrumented build"
cmake -S "$REPO" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_BUILD_BENCH=OFF \
  -DORVANE_DEPS_DIR="${ORVANE_DEPS_DIR:-$REPO/third_party}" \
  -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$BUILD" -j "$JOBS"

echo "=== coverage: tests"
find "$BUILD" -name '*.gcda' -delete
ctest --test-dir "$BUILD" --output-on-failure -j "$JOBS"

echo "=== coverage: Orvane/"
gcovr --root "$REPO" --filter "$REPO/Orvane/" --exclude-throw-branches --exclude-unreachable-branches \
  --print-summary --txt "$BUILD/coverage.txt" -j "$JOBS" "$BUILD" | grep -E "^(lines|branches):"
echo "(per file: $BUILD/coverage.txt)"
