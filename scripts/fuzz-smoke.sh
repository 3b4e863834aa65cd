#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, clang with AddressSanitizer and UndefinedBehaviorSanitizer)
# into build-fuzz/ and runs each briefly over its seeds in fuzz/corpus/<target>/. A crash, a
# sanitizer report or an escaped exception fails the run; the input that did it is kept in
# build-fuzz/artifacts/.
#
# Env: FUZZ_SECONDS per target (default 5), JOBS (default nproc).
set -euo pipefail
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}
SECONDS_PER_TARGET=${FUZZ_SECONDS:-5}
BUILD="$REPO/build-fuzz"

echo "=== fuzz smoke: build"
cmake -S "$REPO/fuzz" -B "$BUILD" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$BUILD" -j "$JOBS"

mkdir -p "$BUILD/artifacts"
for seeds in "$REPO"/fuzz/corpus/*/; do
  target=$(basename "$seeds")
  echo "=== fuzz smoke: $target, ${SECONDS_PER_TARGET}s"
  # New inputs go to a scratch folder; the seeds in the repository stay as they are.
  scratch="$BUILD/corpus/$target"
  mkdir -p "$scratch"
  log="$BUILD/$target.log"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "$BUILD/fuzz_$target" -max_total_time="$SECONDS_PER_TARGET" -print_final_stats=1 \
      -artifact_prefix="$BUILD/artifacts/$target-" "$scratch" "$seeds" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "fuzz smoke: $target failed; see $log and $BUILD/artifacts/" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^#[0-9]+ +DONE' "$log" || true
done
echo "=== fuzz smoke: all targets clean"
