#!/usr/bin/env bash
# Runs the X11 input benchmarks on a private Xvfb against a release build of the agent and
# prints the machine and the results. Usage: bench/run-x11-bench.sh [events] [moves]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench"
"$root/scripts/install-deps.sh" test
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DOLVANE_BENCH=ON \
    >/dev/null
cmake --build "$build" -j2 --target olvane-helper x11_pointer_bench ws_motion_latency_bench >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1920x1080x24 -noreset -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
until [ -s "$work/display" ]; do sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"

mkdir -p -m 700 "$work/xdg"
env XDG_RUNTIME_DIR="$work/xdg" XDG_CONFIG_HOME="$work/config" HOME="$work" \
    DBUS_SESSION_BUS_ADDRESS=disabled: DBUS_SYSTEM_BUS_ADDRESS=disabled: \
    QT_QPA_PLATFORM=offscreen OLVANE_WS_PORT=0 OLVANE_FIXED_CODE=4321 \
    "$build/olvane-helper" >"$work/agent.log" 2>&1 &
pids+=($!)
port=""
for _ in $(seq 200); do
    port=$(sed -n 's/.*WS server on port \([0-9]*\).*/\1/p' "$work/agent.log")
    [ -n "$port" ] && break
    sleep 0.05
done
[ -n "$port" ] || { cat "$work/agent.log"; exit 1; }

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores, $(uname -sr)"
echo "X server: Xvfb $(dpkg-query -W -f='${Version}' xvfb 2>/dev/null)"
echo "-- one posted pointer event through the X11 backend"
"$build/bench/x11_pointer_bench" "${1:-20000}"
echo "-- WebSocket \"mv\" to the first X raw motion event, through the agent"
"$build/bench/ws_motion_latency_bench" "$port" 4321 "${2:-200}"
