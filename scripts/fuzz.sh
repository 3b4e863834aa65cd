#!/usr/bin/env bash
# Usage: scripts/fuzz.sh TARGET SECONDS
# Builds the fuzz targets (as scripts/fuzz-smoke.sh does) and runs fuzz_TARGET for SECONDS on a
# corpus kept outside the repository, in $FUZZ_HOME/corpus/TARGET (default FUZZ_HOME:
# ~/.cache/orvane-fuzz), which starts from the seeds in fuzz/corpus/TARGET and keeps growing
# from run to run. Prints libFuzzer's final stats; a finding fails the run, and the input that
# did it is kept in $FUZZ_HOME/artifacts/. The full log is $FUZZ_HOME/logs/TARGET.log.
#
# Env: FUZZ_HOME, JOBS (default nproc), DEPS_DIR (as for setup.sh).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/fuzz-common.sh"
if (($# != 2)) || ! [[ $2 =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS" >&2
  exit 2
fi
target=$1 seconds=$2
FUZZ_HOME=${FUZZ_HOME:-${XDG_CACHE_HOME:-$HOME/.cache}/orvane-fuzz}

fuzz_build
if [[ " ${FUZZ_TARGETS[*]} " != *" $target "* ]]; then
  echo "fuzz: no target '$target'; the targets are: ${FUZZ_TARGETS[*]}" >&2
  exit 2
fi

corpus="$FUZZ_HOME/corpus/$target"
mkdir -p "$corpus"
# Seeds join the corpus without replacing what earlier runs found.
if [[ -d "$REPO/fuzz/corpus/$target" ]]; then
  cp -n "$REPO/fuzz/corpus/$target"/* "$corpus"/ 2>/dev/null || true
fi
echo "=== fuzz: $target for ${seconds}s, corpus $corpus ($(ls "$corpus" | wc -l) inputs)"
fuzz_run "$target" "$seconds" "$FUZZ_HOME/logs/$target.log" "$FUZZ_HOME/artifacts/$target-" "$corpus"
echo "=== fuzz: corpus now $(ls "$corpus" | wc -l) inputs"
