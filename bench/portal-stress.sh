#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The GNOME and KDE end-to-end tests, each run again and again beside two busy processes, as on
# a machine that builds while the agent types: every run must pass. Not part of `make test`.
# Usage: bench/portal-stress.sh [runs]   (10 by default; needs the test build, make build-test)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/programs.sh"
runs=${1:-10}
build="$root/build/sanitize"
log=$(mktemp -d)

hogs=()
for _ in 1 2; do
    listed yes >/dev/null &
    hogs+=($!)
done
trap 'kill "${hogs[@]}"' EXIT

failed=0
for test in gnome kde; do
    passed=0
    for run in $(seq "$runs"); do
        if (cd "$build" && listed ctest -R "^e2e.test_${test}_wayland\$" --output-on-failure) \
            >"$log/$test-$run.log" 2>&1; then
            passed=$((passed + 1))
        else
            echo "$test run $run failed: $log/$test-$run.log" >&2
        fi
    done
    echo "$test: $passed of $runs passed"
    [ "$passed" -eq "$runs" ] || failed=1
done
exit $failed
