# Sourced by scripts/fuzz.sh and scripts/fuzz-smoke.sh: the clang build of the tree with the fuzz
# targets (-DORVANE_FUZZ=ON, in build-fuzz/), and one libFuzzer run.
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}
FUZZ_BUILD="$REPO/build-fuzz"
# Where setup.sh staged libheif, when not the default <repo>/third_party (or the build's cache).
DEPS_ARGS=()
[[ -z ${DEPS_DIR:-} ]] || DEPS_ARGS=(-DORVANE_DEPS_DIR="$DEPS_DIR")

# Builds every fuzz target and sets FUZZ_TARGETS to the names the build lists. Runs started side
# by side take turns at the build.
fuzz_build() {
  mkdir -p "$FUZZ_BUILD"
  (
    flock 9
    CC=clang CXX=clang++ cmake -S "$REPO" -B "$FUZZ_BUILD" -G Ninja -DORVANE_FUZZ=ON \
      -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCH=OFF "${DEPS_ARGS[@]}" >/dev/null
    cmake --build "$FUZZ_BUILD" -j "$JOBS" --target fuzz
  ) 9>"$FUZZ_BUILD/.build-lock"
  mapfile -t FUZZ_TARGETS < "$FUZZ_BUILD/fuzz/targets.txt"
}

# fuzz_run TARGET SECONDS LOG ARTIFACT_PREFIX CORPUS...: new inputs go to the first corpus folder.
# A crash, a sanitizer report or an escaped exception fails the run (the log's tail is shown);
# otherwise libFuzzer's final stats are printed.
fuzz_run() {
  local target=$1 seconds=$2 log=$3 artifacts=$4
  shift 4
  mkdir -p "$(dirname "$log")" "$(dirname "$artifacts")" "$1"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "$FUZZ_BUILD/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$artifacts" "$@" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "fuzz: $target failed; see $log and ${artifacts}*" >&2
    return 1
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE|^stat::' "$log" || true
}
