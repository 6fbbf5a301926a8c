#!/usr/bin/env bash
# Prints the size of the tests against the rest of the code and fails when the tests exceed
# 40% of it (the aim is a quarter to a third). Counted: lines that carry code (not blank, not
# only a comment) in C/C++, Python, shell, CMake and Makefiles tracked by git; files whose first
# line says they are generated are left out; tests are what lies under tests/.
set -euo pipefail
cd "$(git -C "$(dirname "$0")" rev-parse --show-toplevel)"

readonly ceiling=40

count() {
    xargs -r -d '\n' awk 'FNR == 1 && /[Gg]enerated by/ { nextfile }
        !/^[[:space:]]*$/ && !/^[[:space:]]*(\/\/|#[^a-z]|\/\*|\*)/ { n++ } END { print n + 0 }'
}

files=$(git ls-files | grep -E '\.(c|cc|cpp|h|hpp|py|sh|cmake)$|(^|/)(CMakeLists\.txt|Makefile)$|^\.ci/run$')
code=$(grep -v -E '^tests/' <<<"$files" | count)
tests=$(grep -E '^tests/' <<<"$files" | count)
percent=$((100 * tests / code))
echo "test size: $tests lines of tests against $code lines of code ($percent%; aim 25-33%, ceiling $ceiling%)"
if ((percent > ceiling)); then
    echo "test size: over the ceiling" >&2
    exit 1
fi
