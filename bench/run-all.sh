#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every benchmark against a release build, each beside its floor, on a private Xvfb,
# and writes the results with the machine into the performance table of docs/benchmarks.md.
# Usage: bench/run-all.sh [runs]   (2 by default; a run takes about six minutes)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/programs.sh"
runs=${1:-2}
build="$root/build/bench"
"$root/scripts/install-deps.sh" test
"$root/scripts/check-programs.py"
listed cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DOLVANE_BENCH=ON \
    >/dev/null
listed cmake --build "$build" -j2 --target olvane-helper x11_pointer_bench agent_bench ws_echo_server \
    >/dev/null
# The leak check runs the sanitized agent of the test build.
listed make -C "$root" --no-print-directory configure-test >/dev/null
listed cmake --build "$root/build/sanitize" -j2 --target olvane-helper >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
    # A stopped sound server ends only once it runs again.
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null && kill -CONT "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

listed Xvfb -displayfd 3 -screen 0 1920x1080x24 -noreset -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
until [ -s "$work/display" ]; do sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"
export DBUS_SESSION_BUS_ADDRESS=disabled: DBUS_SYSTEM_BUS_ADDRESS=disabled: HOME="$work"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

# Environment of one agent: its own runtime and configuration folders.
agent_env() {
    mkdir -p -m 700 "$work/env-$1/xdg"
    echo XDG_RUNTIME_DIR="$work/env-$1/xdg" XDG_CONFIG_HOME="$work/env-$1/config" OLVANE_FIXED_CODE=4321
}

# launch <variable> <log> <pattern> <command...>: starts the command in the background, sets
# the variable to its pid, and returns once the log shows the pattern.
launch() {
    local name=$1 log=$2 pattern=$3
    shift 3
    "$@" >"$log" 2>&1 &
    pids+=($!)
    printf -v "$name" %s $!
    for _ in $(seq 400); do
        grep -q "$pattern" "$log" && return
        sleep 0.05
    done
    cat "$log" >&2
    exit 1
}
port_of() { sed -n "s/.*$2 \([0-9]*\).*/\1/p" "$1" | head -1; }

# sound_server <variable> <environment name>: a PulseAudio with a null sink where the agent of
# that environment finds it; sets the variable to its pid once it answers.
sound_server() {
    local name=$1 env_name=$2
    (
        export $(agent_env "$env_name")
        listed pulseaudio --exit-idle-time=-1 --disallow-exit -n --load=module-null-sink \
            --load=module-native-protocol-unix
    ) >"$work/pulse-$env_name.log" 2>&1 &
    pids+=($!)
    printf -v "$name" %s $!
    for _ in $(seq 400); do
        (export $(agent_env "$env_name") && listed pactl info) >/dev/null 2>&1 && return
        sleep 0.05
    done
    cat "$work/pulse-$env_name.log" >&2
    exit 1
}

{
    echo "machine $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores, $(uname -sr)"
    echo "when $(date '+%Y-%m-%d %H:%M'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "software Qt $(dpkg-query -W -f='${Version}' libqt6core6 | cut -d- -f1)," \
        "Xvfb $(dpkg-query -W -f='${Version}' xvfb | cut -d: -f2 | cut -d- -f1)"
} >"$work/machine"

for run in $(seq "$runs"); do
    out="$work/run$run"
    echo "run $run of $runs" >&2
    sound_server pulse "run$run"
    launch agent "$work/agent$run.log" "WS server on port" \
        env $(agent_env "run$run") OLVANE_WS_PORT=0 "$build/olvane-helper"
    launch echo_pid "$work/echo$run.log" "^port" env OLVANE_WS_PORT=0 "$build/bench/ws_echo_server"
    agent_port=$(port_of "$work/agent$run.log" "WS server on port")
    echo_port=$(port_of "$work/echo$run.log" "port")
    "$build/bench/x11_pointer_bench" 20000 >"$out"
    "$build/bench/agent_bench" all "$agent_port" "$agent" "$echo_port" "$echo_pid" 4321 "$pulse" \
        >>"$out" ||
        { cat "$out" "$work/agent$run.log" >&2; exit 1; }
    listed /usr/bin/python3 "$root/bench/typing_bench.py" "$agent_port" 4321 >>"$out"
    listed /usr/bin/python3 "$root/bench/desktop_typing.py" "$build/olvane-helper" >>"$out"
    kill "$agent" "$echo_pid" "$pulse"
    wait "$agent" "$echo_pid" "$pulse" || true
    env $(agent_env "start$run") "$build/bench/agent_bench" start start.agent 15 \
        "$build/olvane-helper" >>"$out"
    "$build/bench/agent_bench" start start.floor 15 "$build/bench/ws_echo_server" >>"$out"
done

# Leaks: the sanitized agent takes 200,000 messages, then quits; LeakSanitizer reports at exit.
launch sanitized "$work/leaks.log" "WS server on port" env $(agent_env leaks) \
    LSAN_OPTIONS="suppressions=$root/tests/lsan.supp" OLVANE_WS_PORT=0 \
    "$root/build/sanitize/olvane-helper"
"$build/bench/agent_bench" flood "$(port_of "$work/leaks.log" "WS server on port")" 4321 200000 \
    >/dev/null
kill "$sanitized"
status=0
wait "$sanitized" || status=$?
echo "leaks.exit_status $status" >>"$work/run1"
echo "leaks.reports $(grep -c 'ERROR: LeakSanitizer' "$work/leaks.log" || true)" >>"$work/run1"

listed /usr/bin/python3 "$root/bench/report.py" "$root/docs/benchmarks.md" "$work/machine" "$work"/run*
cat "$work"/run* >&2
