#!/usr/bin/env bash
# Builds Tessaro and Vorlith and shows them working against two simulated modules (a
# 2-channel TQM-5502AI on COM1 and an 8-channel TQM-5508AI on COM2), with the example range
# catalogue. Needs no hardware and no root beyond installing packages. With a display the
# Vorlith window opens; without one Vorlith runs offscreen, searches both panels and saves a
# screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

scripts/install-deps.sh

build=$repo/build-demo
demo=$build/demo
mkdir -p "$demo/ports"
cp examples/ai_value_range_info.json "$demo/ai_value_range_info.json"
# This build reads its range file from the demo folder instead of /etc/tessaro.
cmake -S . -B "$build" -G Ninja -DTESSARO_BUILD_TESTS=OFF \
    -DTESSARO_RANGE_FILE="$demo/ai_value_range_info.json" > "$build/configure.log" 2>&1 \
    || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)"

export TESSARO_PORT_DIR=$demo/ports
sim_log=$demo/simulator.log
"$build/sim/tessaro-sim" \
    --port COM1 --alias ttyVCP1 --name TQM-5502AI --firmware 1.00 --codes 0A,0B --values +03.125,+12.500 \
    --port COM2 --alias ttyVCP2 --name TQM-5508AI --firmware 1.00 > "$sim_log" 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    grep -qx ready "$sim_log" && break
    kill -0 "$sim_pid" 2>/dev/null || { cat "$sim_log"; exit 1; }
    sleep 0.1
done
grep -qx ready "$sim_log" || { echo "the simulator did not start"; cat "$sim_log"; exit 1; }
echo "Simulated modules in $TESSARO_PORT_DIR:"
grep '^ready COM' "$sim_log" | sed 's/^ready /  /'

echo
echo "=== tessaro-identify COM1 COM2"
"$build/bin/tessaro-identify" COM1 COM2

echo
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "=== vorlith (close the window to end the demo; diagnostics appear here)"
    "$build/bin/vorlith"
else
    shot=$demo/vorlith-window.png
    # Qt wants a private runtime folder; headless root sessions often have none.
    if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
        export XDG_RUNTIME_DIR=$demo/runtime
        mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    fi
    echo "=== vorlith, no display: offscreen, Search in both panels, screenshot"
    QT_QPA_PLATFORM=offscreen "$build/bin/vorlith" --demo-screenshot "$shot"
    echo
    echo "Screenshot of the window: $shot"
fi
