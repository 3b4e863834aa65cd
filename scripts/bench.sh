#!/usr/bin/env bash
# Builds the benchmarks and runs each of them once, then prints one Markdown table of the rows
# their summaries give: the family, ours and its peer with their figures, ours as a fraction of
# the peer's (below 1: faster), and the target an issue set. The machine, its load and the commit
# are printed above the table; each benchmark's whole output is kept in the log folder.
#
# Usage: scripts/bench.sh [BENCHMARK...]   (default: all of them)
# Env: BUILD_DIR (default <repo>/build, the release build of the test command), DEPS_DIR (as for
# run-tests.sh), JOBS (default 2), LOG_DIR (default <build>/bench/logs).
# The first run makes the large streams beside the binaries with ffmpeg, x264 and x265 (minutes).
set -euo pipefail
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD_DIR:-$REPO/build}
JOBS=${JOBS:-2}
LOGS=${LOG_DIR:-$BUILD/bench/logs}
DEPS_ARGS=()
[[ -z ${DEPS_DIR:-} ]] || DEPS_ARGS=(-DORVANE_DEPS_DIR="$DEPS_DIR")

ALL=(CodecParsersBench HEVCParameterSetsBench H264ParameterSetsBench RefusalBench HEVCSliceHeaderBench H264SliceHeaderBench HEVC_SEIBench
  StreamParsersBench ConversionBench MuxBench InspectBench HeifmuxBench)
BENCHMARKS=("${ALL[@]}")
(($# == 0)) || BENCHMARKS=("$@")

cmake -S "$REPO" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_BUILD_BENCH=ON "${DEPS_ARGS[@]}" >/dev/null
nice cmake --build "$BUILD" -j "$JOBS" >&2
mkdir -p "$LOGS"

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date -u '+%Y-%m-%d %H:%M UTC')
rows=()
for benchmark in "${BENCHMARKS[@]}"; do
  echo "=== $benchmark" >&2
  "$BUILD/bench/$benchmark" 2>&1 | tee "$LOGS/$benchmark.txt" >&2
  mapfile -t -O "${#rows[@]}" rows < <(grep '^| ' "$LOGS/$benchmark.txt")
done

. /etc/os-release
echo
echo "Run of $started, commit $(git -C "$REPO" rev-parse --short HEAD): $(nproc) cores" \
  "($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')), $PRETTY_NAME, $(g++ -dumpfullversion -dumpversion | sed 's/^/g++ /')," \
  "$(grep -m1 MemTotal /proc/meminfo | awk '{printf "%.0f GiB", $2 / 1048576}'); load average $load_before before," \
  "$(cut -d' ' -f1-3 /proc/loadavg) after. Logs: $LOGS"
echo
echo "| family | ours | peer | ours / peer | target |"
echo "| --- | --- | --- | --- | --- |"
printf '%s\n' "${rows[@]}"
