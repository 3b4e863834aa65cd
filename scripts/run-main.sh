#!/usr/bin/env bash
# Sets everything up, builds, and muxes the bundled sample into out/sample.heic with heifmux,
# then shows what independent readers make of the file.
set -euo pipefail
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}
DEPS_ARGS=()
[[ -z ${DEPS_DIR:-} ]] || DEPS_ARGS=(-DORVANE_DEPS_DIR="$DEPS_DIR")

bash "$REPO/scripts/setup.sh"
cmake -S "$REPO" -B "$REPO/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${DEPS_ARGS[@]}" >/dev/null
cmake --build "$REPO/build" -j "$JOBS" --target heifmux MuxerHEIF

mkdir -p "$REPO/out"
"$REPO/build/tools/heifmux" "$REPO/samples/sample.mp4" --exif Exif.Image.Make=Orvane \
  --exif Exif.Image.Model=heifmux -o "$REPO/out/sample.heic"
echo "=== wrote $REPO/out/sample.heic ($(stat -c %s "$REPO/out/sample.heic") bytes)"
echo "=== exiftool"
exiftool -s -FileType -MajorBrand -CompatibleBrands -Make -Model -ImageWidth -ImageHeight "$REPO/out/sample.heic"
echo "=== heif-info"
heif-info "$REPO/out/sample.heic"
echo "=== heif-convert"
heif-convert "$REPO/out/sample.heic" "$REPO/out/sample.png"
