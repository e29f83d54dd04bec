#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one fuzzer for a while over its committed seeds. What it finds goes to a work folder,
# never into the repository; a crash leaves its input there.
# Usage: fuzz/run-fuzzer.sh <fuzzer binary> <seconds> <work folder>
set -euo pipefail
binary=$1 seconds=$2 work=$3
name=$(basename "$binary" _fuzzer)
here=$(cd "$(dirname "$0")" && pwd)
export TMPDIR=/dev/shm  # the token file is synced at each save: in memory, it costs little
mkdir -p "$work/corpus" "$work/crashes"
options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
         -artifact_prefix="$work/crashes/")
[ -f "$here/$name.dict" ] && options+=(-dict="$here/$name.dict")
exec "$binary" "${options[@]}" "$work/corpus" "$here/corpus/$name"
