#!/usr/bin/env bash
# Prints the non-blank C++ lines under tests/ (support code included, test data excluded) and
# under Orvane/, host/ and tools/, and the tests as a percentage of the code. Counts the files
# git tracks; our aim is at most 35 %.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

count() {
  git ls-files -- "$@" | grep -E '\.(cpp|cc|h|hpp)$' | grep -v '/data/' |
    xargs -r cat | grep -cv '^[[:space:]]*$' || true
}
tests=$(count tests)
code=$(count Orvane host tools)
echo "test lines: $tests (tests/)"
echo "code lines: $code (Orvane/, host/, tools/)"
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests/code: %.1f %%\n", c ? 100 * t / c : 0 }'
