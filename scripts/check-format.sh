#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails, naming the files, when C++ sources differ from the project's .clang-format.
# Fix with: clang-format -i <file>...
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find src tests fuzz bench -name '*.cpp' -o -name '*.h')
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/olvane-format.$$; then
    grep -o '^[^:]*\.\(cpp\|h\)' /tmp/olvane-format.$$ | sort -u | sed 's/^/not formatted: /'
    rm -f /tmp/olvane-format.$$
    echo "Run clang-format -i on the files above (clang-format 14, the project's .clang-format)."
    exit 1
fi
rm -f /tmp/olvane-format.$$
