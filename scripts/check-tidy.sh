#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs clang-tidy's bug-finding checks (.clang-tidy) over the product's sources, with the
# compile commands of a configured build; fails on any finding.
set -euo pipefail
build=${1:?usage: check-tidy.sh BUILD_DIR}
cd "$(dirname "$0")/.."
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
git ls-files 'src/*.cpp' |
    xargs -P "${JOBS:-2}" -n 8 clang-tidy-14 -p "$build" --quiet >"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ] || grep -q -E ': (warning|error): ' "$log"; then
    grep -E -A3 ': (warning|error): ' "$log" || tail -20 "$log"
    echo "clang-tidy: findings above (checks in .clang-tidy)" >&2
    exit 1
fi
echo "clang-tidy: no findings"
