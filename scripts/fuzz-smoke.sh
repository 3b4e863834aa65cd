#!/usr/bin/env bash
# Builds the libFuzzer targets (the clang build with -DORVANE_FUZZ=ON: AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs every target the build lists briefly over
# its seeds in fuzz/corpus/<target>/. A crash, a sanitizer report or an escaped exception fails
# the run; the input that did it is kept in build-fuzz/artifacts/.
#
# Env: FUZZ_SECONDS per target (default 5), JOBS (default nproc), DEPS_DIR (as for setup.sh).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/fuzz-common.sh"
SECONDS_PER_TARGET=${FUZZ_SECONDS:-5}

echo "=== fuzz smoke: build"
fuzz_build

# Seeds that no target uses mean a target missing from fuzz/CMakeLists.txt.
for seeds in "$REPO"/fuzz/corpus/*/; do
  name=$(basename "$seeds")
  if [[ " ${FUZZ_TARGETS[*]} " != *" $name "* ]]; then
    echo "fuzz smoke: fuzz/corpus/$name has no target in fuzz/CMakeLists.txt" >&2
    exit 1
  fi
done

for target in "${FUZZ_TARGETS[@]}"; do
  echo "=== fuzz smoke: $target, ${SECONDS_PER_TARGET}s"
  # New inputs go to a scratch folder; the seeds in the repository stay as they are.
  corpora=("$FUZZ_BUILD/corpus/$target")
  if [[ -d "$REPO/fuzz/corpus/$target" ]]; then
    corpora+=("$REPO/fuzz/corpus/$target")
  else
    echo "fuzz smoke: warning: no seeds in fuzz/corpus/$target" >&2
  fi
  fuzz_run "$target" "$SECONDS_PER_TARGET" "$FUZZ_BUILD/logs/$target.log" \
    "$FUZZ_BUILD/artifacts/$target-" "${corpora[@]}"
done
echo "=== fuzz smoke: all ${#FUZZ_TARGETS[@]} targets clean"
