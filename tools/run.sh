#!/usr/bin/env bash
# Installs what is missing, builds, starts the converter emulator on a pseudo-terminal and the
# panel with that port first in its list. The emulator's output is on at 12 V into 22 ohm, so
# "Подключить" shows live values at once. The emulator stops when the panel closes. Extra
# arguments go to the emulator; a value given again there wins (see: vornex-sim --help).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)"

runtime=$(mktemp -d)
link="$runtime/ttyVORNEX"
build/release/sim/vornex-sim --link "$link" --output-on --voltage 12000 --current 1000 \
    --load 22 "$@" >"$runtime/sim.log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$runtime"' EXIT
for _ in $(seq 50); do
    [ -e "$link" ] && break
    sleep 0.1
done
[ -e "$link" ] || { cat "$runtime/sim.log"; echo "emulator did not start" >&2; exit 1; }
echo "Emulator on $link (log: $runtime/sim.log)"
VORNEX_EXTRA_PORTS="$link" build/release/app/vornexcontrol
