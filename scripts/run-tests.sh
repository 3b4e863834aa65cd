#!/usr/bin/env bash
# Sets everything up, builds, and runs every test: the unit and end-to-end tests, the installed
# layout and package, the same tests under AddressSanitizer and UndefinedBehaviorSanitizer, and a
# short run of each fuzz target.
#
# Env: JOBS (default nproc), DEPS_DIR (where setup.sh stages libheif; default <repo>/third_party),
# FUZZ_SECONDS (per fuzz target, default 5).
set -euo pipefail
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}
DEPS_ARGS=()
[[ -z ${DEPS_DIR:-} ]] || DEPS_ARGS=(-DORVANE_DEPS_DIR="$DEPS_DIR")

bash "$REPO/scripts/setup.sh"

echo "=== tests: release build"
cmake -S "$REPO" -B "$REPO/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${DEPS_ARGS[@]}" >/dev/null
cmake --build "$REPO/build" -j "$JOBS"
ctest --test-dir "$REPO/build" --output-on-failure -j "$JOBS"

echo "=== tests: installed layout"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$REPO/build" --prefix "$prefix" >/dev/null
"$prefix/bin/heifmux" "$REPO/samples/sample.mp4" -o "$prefix/sample.heic"
heif-info "$prefix/sample.heic" | grep -q 'image: 640x360' || { echo "installed heifmux: wrong image"; exit 1; }
echo "installed heifmux and plug-in: ok"
listing=$("$prefix/bin/h26x-inspect" --json --types 33 "$REPO/samples/sample.mp4")
grep -q '"pic_width_in_luma_samples":640' <<<"$listing" || { echo "installed h26x-inspect: no SPS listed"; exit 1; }
grep -q '"profile_tier_level":{"general_profile_space":0' <<<"$listing" ||
  { echo "installed h26x-inspect: profile_tier_level not named as the standard names it"; exit 1; }
echo "installed h26x-inspect: ok"

echo "=== tests: installed codec-parser package, used by a project of its own"
# Built out of tree against the prefix, once through the CMake package and once through
# pkg-config; on every HEVC test stream it must print the picture size that ffprobe reports.
for how in cmake pkg-config; do
  consumer="$prefix/consumer-$how"
  cmake -S "$REPO/tests/package-consumer" -B "$consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCONSUMER_USE_PKG_CONFIG=$([[ $how == pkg-config ]] && echo ON || echo OFF) >/dev/null
  cmake --build "$consumer" >/dev/null
  streams=0
  for stream in "$REPO"/tests/data/*/*.hevc; do
    expected=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 "$stream")
    got=$("$consumer/picture-size" "$stream")
    if [[ $got != "$expected" ]]; then
      echo "package consumer ($how): $(basename "$stream") gives $got, ffprobe $expected" >&2
      exit 1
    fi
    streams=$((streams + 1))
  done
  echo "package through $how: ok ($streams streams)"
done

echo "=== tests: sanitizer build"
cmake -S "$REPO" -B "$REPO/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON \
  -DORVANE_BUILD_BENCH=OFF "${DEPS_ARGS[@]}" >/dev/null
cmake --build "$REPO/build-asan" -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$REPO/build-asan" --output-on-failure -j "$JOBS"
bash "$REPO/scripts/fuzz-smoke.sh"

# Information, not a check: the size of the tests against the code (aim: at most 35 %).
echo "=== tests: size against the code"
bash "$REPO/scripts/test-ratio.sh" || true
