#!/usr/bin/env bash
# Installs everything the build, the tests and the tools need on a Debian 12 machine (as root),
# then builds libheif 1.15.1 from Debian's source package as a static, position-independent
# library into third_party/. Safe to run again: it only does what is missing.
#
# Env: DEPS_DIR (default <repo>/third_party), JOBS (default nproc).
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
DEPS_DIR=${DEPS_DIR:-$REPO/third_party}
JOBS=${JOBS:-$(nproc)}
LIBHEIF_UPSTREAM=1.15.1
LIBHEIF_DEB_VERSION=${LIBHEIF_DEB_VERSION:-1.15.1-1+deb12u1}
# sha256 of libheif_1.15.1.orig.tar.gz (the same for every 1.15.1-1+deb12uN revision)
LIBHEIF_ORIG_SHA256=28d5a376fe7954d2d03453f983aaa0b7486f475c27c7806bda31df9102325556

log() { printf '=== setup: %s\n' "$*"; }

# ------------------------------------------------------------------ Debian packages
PKGS=(
  build-essential cmake ninja-build pkg-config dpkg-dev xz-utils ca-certificates
  libboost1.81-dev            # intrusive_ptr, Boost.Exception with source_location, Stacktrace
  libgcc-12-dev               # libbacktrace, which names the frames of our call stacks
  libunwind-dev               # libunwind, which takes them
  libgoogle-glog-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libavcodec-dev libavutil-dev libavformat-dev
  libexiv2-dev
  libcli11-dev nlohmann-json3-dev   # command-line options and JSON of the tools
  clang libclang-rt-14-dev    # libFuzzer and the sanitizer runtimes
  libgstreamer-plugins-bad1.0-dev  # the peer parser our benchmarks compare against
  x265 x264 ffmpeg libheif-examples libimage-exiftool-perl   # test streams and independent readers
  gcovr                       # line and branch coverage of the tests (scripts/coverage.sh)
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  log "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
else
  log "Debian packages present"
fi

# ------------------------------------------------------------------ libheif from source
STAGE="$DEPS_DIR/libheif-static"
STAMP="$STAGE/.built-$LIBHEIF_UPSTREAM"
if [[ -f "$STAMP" && -f "$STAGE/lib/libheif.a" ]]; then
  log "libheif $LIBHEIF_UPSTREAM present in $STAGE"
  exit 0
fi

mkdir -p "$DEPS_DIR"
APTSRC="$DEPS_DIR/apt-src"      # private apt state that knows deb-src entries only
SRCDIR="$DEPS_DIR/src/libheif-$LIBHEIF_UPSTREAM"
rm -rf "$APTSRC" "$DEPS_DIR/src"
mkdir -p "$APTSRC/parts" "$APTSRC/lists/partial" "$APTSRC/archives/partial" "$DEPS_DIR/src"

log "deriving deb-src entries from the system's apt sources"
shopt -s nullglob
for f in /etc/apt/sources.list.d/*.sources; do
  sed -E 's/^Types:.*/Types: deb-src/' "$f" > "$APTSRC/parts/$(basename "$f")"
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [[ -f "$f" ]] || continue
  sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' "$f" > "$APTSRC/parts/$(basename "$f")"
done
shopt -u nullglob
APT_SRC_OPTS=(
  -o Dir::Etc::SourceList=/dev/null
  -o Dir::Etc::SourceParts="$APTSRC/parts"
  -o Dir::State::Lists="$APTSRC/lists"
  -o Dir::Cache::Archives="$APTSRC/archives"
  -o APT::Sandbox::User=root
)
apt-get "${APT_SRC_OPTS[@]}" update
mapfile -t AVAILABLE < <(apt-cache "${APT_SRC_OPTS[@]}" showsrc libheif |
                         sed -n "s/^Version: \(${LIBHEIF_UPSTREAM//./\\.}-.*\)/\1/p" | sort -u -r -V)

cd "$DEPS_DIR/src"
# The pinned revision first; any other 1.15.1 revision keeps a later point release from breaking us.
fetched=""
for want in "libheif=$LIBHEIF_DEB_VERSION" "${AVAILABLE[@]/#/libheif=}"; do
  rm -f ./*.dsc ./*.debian.tar.* ./*.orig.tar.*
  if apt-get "${APT_SRC_OPTS[@]}" source --download-only "$want"; then fetched=$want; break; fi
  echo "setup: fetching $want failed, trying the next revision" >&2
done
[[ -n "$fetched" ]] || { echo "setup: could not fetch the libheif $LIBHEIF_UPSTREAM source package" >&2; exit 1; }
DSC=$(ls libheif_"$LIBHEIF_UPSTREAM"-*.dsc)
echo "$LIBHEIF_ORIG_SHA256  libheif_$LIBHEIF_UPSTREAM.orig.tar.gz" | sha256sum -c -
dpkg-source -x "$DSC" "$SRCDIR"
rm -rf "$APTSRC"

# ENABLE_PARALLEL_TILE_DECODING must stay off: it adds a member to heif::HeifFile, and our code
# (which never defines it) would then disagree with the library on the class layout.
BUILD="$DEPS_DIR/build-libheif"
rm -rf "$BUILD" "$STAGE"
log "building libheif (static, PIC, no codec plug-ins)"
cmake -S "$SRCDIR" -B "$BUILD" -G Ninja \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
  -DENABLE_PLUGIN_LOADING=OFF -DENABLE_MULTITHREADING_SUPPORT=OFF -DENABLE_PARALLEL_TILE_DECODING=OFF \
  -DWITH_EXAMPLES=OFF -DWITH_LIBDE265=OFF -DWITH_X265=OFF \
  -DWITH_DAV1D=OFF -DWITH_AOM_DECODER=OFF -DWITH_AOM_ENCODER=OFF -DWITH_RAV1E=OFF -DWITH_SvtEnc=OFF \
  -DWITH_DEFLATE_HEADER_COMPRESSION=OFF >/dev/null
cmake --build "$BUILD" --target heif -j "$JOBS"

mkdir -p "$STAGE/lib" "$STAGE/include/libheif"
cp "$BUILD/libheif/libheif.a" "$STAGE/lib/"
cp "$SRCDIR"/libheif/*.h "$STAGE/include/libheif/"
cp "$BUILD/libheif/heif_version.h" "$STAGE/include/libheif/"
rm -f "$STAGE/include/libheif/heif_emscripten.h"
rm -rf "$BUILD"
echo "$fetched" > "$STAMP"
log "libheif $LIBHEIF_UPSTREAM ($fetched) staged in $STAGE"
