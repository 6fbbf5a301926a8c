#!/usr/bin/env bash
# Checks the files that run ozu-ddns as a service, and every manual page in the tree:
#   tools/check_service_files.sh SOURCE_DIR BUILD_DIR
# mandoc -T lint fails on any warning; the init script must pass sh -n; systemd-analyze verify checks
# the unit, whose ExecStart is pointed at the build's ozu-ddns since it requires the program to exist.
# Where systemd-analyze cannot run (a container without systemd's tools), the unit is skipped.
set -euo pipefail

source_dir=${1:?usage: $0 SOURCE_DIR BUILD_DIR}
tool_dir=${2:?usage: $0 SOURCE_DIR BUILD_DIR}/tools/ozu-ddns
work_dir=$(mktemp -d)
trap 'rm -rf "$work_dir"' EXIT

mapfile -t pages < <(find "$source_dir" \( -path "$source_dir/build*" -o -path "$source_dir/.git" \) -prune \
    -o -type f -name '*.[1-9]' -print | sort)
((${#pages[@]} > 0)) || { echo "no manual pages found under $source_dir" >&2; exit 1; }
mandoc -T lint -W warning "${pages[@]}"
echo "mandoc: ${#pages[@]} pages clean"

sh -n "$tool_dir/ozu-ddns.init"
echo "sh -n: ozu-ddns.init clean"

if ! systemd-analyze --version >/dev/null 2>&1; then
    echo "systemd-analyze cannot run here: the unit is not verified"
    exit 0
fi
sed -E "s|^ExecStart=[^ ]*/ozu-ddns |ExecStart=$tool_dir/ozu-ddns |" "$tool_dir/ozu-ddns.service" \
    >"$work_dir/ozu-ddns.service"
# It reports some problems without failing: any word from it is a finding.
findings=$(systemd-analyze verify --man=no "$work_dir/ozu-ddns.service" 2>&1) || true
if [[ -n $findings ]]; then
    echo "$findings" >&2
    exit 1
fi
echo "systemd-analyze verify: ozu-ddns.service clean"
