#!/usr/bin/env bash
# Runs clang-tidy with .clang-tidy over every C++ source the build knows, LINT_JOBS at a time, and
# fails on any finding. Usage: tools/lint.sh BUILD_DIR (make lint passes build/lint).
# The build directory is configured with clang, the tests and the fuzz targets, so that every
# source has a compile command; nothing is compiled.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:?usage: $0 BUILD_DIR}
jobs=${LINT_JOBS:-2}

cmake -S "$root" -B "$build_dir" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DOZU_BUILD_TESTS=ON -DOZU_BUILD_FUZZERS=ON >/dev/null

# The fuzz targets compile the library's sources and fuzz_targets.cpp more than once; one command
# per source is enough.
database="$build_dir/lint-database"
mkdir -p "$database"
python3 - "$build_dir/compile_commands.json" "$database/compile_commands.json" >"$database/files" <<'PYTHON'
import json, sys
seen, unique = set(), []
for entry in json.load(open(sys.argv[1])):
    if entry["file"].endswith(".cpp") and entry["file"] not in seen:
        seen.add(entry["file"])
        unique.append(entry)
json.dump(unique, open(sys.argv[2], "w"), indent=1)
print("\n".join(entry["file"] for entry in unique))
PYTHON

# Findings go to stdout; from stderr only clang's count of the diagnostics that were filtered out
# (those in headers outside the filter) is dropped.
if ! xargs -a "$database/files" -d '\n' -n 1 -P "$jobs" clang-tidy -p "$database" --quiet \
    2> >(grep -v -E '^[0-9]+ (warning|error)s?( and [0-9]+ errors?)? generated\.$' >&2); then
    echo "lint: clang-tidy found problems (above)" >&2
    exit 1
fi
echo "lint: $(wc -l <"$database/files") files clean"
