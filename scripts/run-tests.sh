#!/usr/bin/env bash
# Sets everything up, builds, and runs every test: the unit and end-to-end tests, the same tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, and a short run of each fuzz target.
set -euo pipefail
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}

bash "$REPO/scripts/setup.sh"

echo "=== tests: release build"
cmake -S "$REPO" -B "$REPO/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
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
echo "installed h26x-inspect: ok"

echo "=== tests: sanitizer build"
cmake -S "$REPO" -B "$REPO/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON \
  -DORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$REPO/build-asan" -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$REPO/build-asan" --output-on-failure -j "$JOBS"
bash "$REPO/scripts/fuzz-smoke.sh"
