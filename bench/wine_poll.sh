#!/usr/bin/env bash
# The poll of the Windows panel under the rig's Wine beside the Linux panel's, in one run: each
# panel is connected to an emulator of its own (9200 8N1 checked, 12 V into 22 ohm) on one X
# server, with nothing moving the mouse, for SECONDS (default 300). Prints for each the poll
# period the emulator saw (p5, median, p95), the requests per tick and the CPU it took, then the
# Windows figures against the Linux ones.
#   bash bench/wine_poll.sh [SECONDS]
# Needs the Linux build (build/release), the Windows build (tools/windows/build.sh) and the
# rig's Wine (tools/windows/toolchain.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../tools/windows/env.sh"
seconds=${1:-300}
exec </dev/null
sim=$root/build/release/sim/vornex-sim
linux_panel=$root/build/release/app/vornexcontrol
windows_panel=$build/app/vornexcontrol.exe
for file in "$sim" "$linux_panel" "$windows_panel" "$wine"; do
    [ -x "$file" ] || [ -f "$file" ] || { echo "missing: $file" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    WINEPREFIX=$work/prefix "$wineserver" -k 2>/dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# One X server for every windowed program.
source "$here/../tools/windows/display.sh"
start_display

emulator() {
    "$sim" --link "$work/tty-$1" --output-on --voltage 12000 --current 1000 --load 22 \
        >/dev/null 2>"$work/$1.log" &
    pids+=($!)
    for _ in $(seq 50); do [ -e "$work/tty-$1" ] && break; sleep 0.1; done
}
emulator linux
emulator windows

export WINEPREFIX=$work/prefix
WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 "$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM7 /d "$(readlink -f "$work/tty-windows")" /f \
    >/dev/null 2>&1
"$wineserver" -k || true
"$wineserver" -w

XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
    VORNEX_EXTRA_PORTS=$(readlink -f "$work/tty-linux") "$linux_panel" >/dev/null 2>&1 &
pids+=($!)
linux_pid=$!
VORNEX_WINEPREFIX=$WINEPREFIX VORNEX_EXTRA_PORTS=COM7 "$root/tools/windows/wine-run.sh" "$prefix" "$windows_panel" \
    >/dev/null 2>&1 &
pids+=($!)

# Both windows, side by side, each connected by its first toolbar button.
for _ in $(seq 300); do
    [ "$(xdotool search --onlyvisible --name '^VORNEXcontrol$' 2>/dev/null | wc -l)" -ge 2 ] && break
    sleep 0.2
done
x=0
for window in $(xdotool search --onlyvisible --name '^VORNEXcontrol$'); do
    xdotool windowmove "$window" "$x" 0
    x=$((x + 600))
    xdotool mousemove --window "$window" 24 24 click 1
done
xdotool mousemove 1590 1190
for side in linux windows; do
    for _ in $(seq 100); do grep -q "read ADC" "$work/$side.log" && break; sleep 0.1; done
done
windows_pid=$(pgrep -f 'vornexcontrol\.exe' | head -1)
wineserver_pid=$(pgrep -f wineserver64 | head -1)

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
mark() { grep -c ' s  #' "$work/$1.log" || true; }
linux_from=$(mark linux)
windows_from=$(mark windows)
cpu_linux=$(cpu_ticks "$linux_pid")
cpu_windows=$(cpu_ticks "$windows_pid")
cpu_server=$(cpu_ticks "$wineserver_pid")
echo "measuring for $seconds s: Linux panel $linux_pid, Windows panel $windows_pid under Wine"
sleep "$seconds"
cpu_linux=$(($(cpu_ticks "$linux_pid") - cpu_linux))
cpu_windows=$(($(cpu_ticks "$windows_pid") - cpu_windows))
cpu_server=$(($(cpu_ticks "$wineserver_pid") - cpu_server))

python3 - "$work" "$linux_from" "$windows_from" "$seconds" "$(getconf CLK_TCK)" \
    "$cpu_linux" "$cpu_windows" "$cpu_server" <<'EOF'
import re
import statistics
import sys

work, linux_from, windows_from, seconds, hz = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4]), float(sys.argv[5])
cpu = {"linux": int(sys.argv[6]) / hz, "windows": int(sys.argv[7]) / hz}
server = int(sys.argv[8]) / hz
# A repeat of the same request this soon is the read's second attempt, not a new tick.
retry_window = 0.3


def poll(side, start):
    requests = []
    with open(f"{work}/{side}.log", encoding="utf-8", errors="replace") as log:
        lines = [line for line in log if " s  #" in line][start:]
    for line in lines:
        match = re.match(r"\s*([0-9.]+) s  (#\S+)  (.*)", line)
        if match and match.group(3) in ("read status", "read ADC"):
            requests.append((float(match.group(1)), match.group(2)))
    ticks = [t for i, (t, frame) in enumerate(requests)
             if i == 0 or frame != requests[i - 1][1] or t - requests[i - 1][0] > retry_window]
    periods = sorted((b - a) * 1000 for a, b in zip(ticks, ticks[1:]))
    cut = statistics.quantiles(periods, n=20)
    return {"requests": len(requests), "ticks": len(ticks), "perTick": len(requests) / len(ticks),
            "p5": cut[0], "median": statistics.median(periods), "p95": cut[-1],
            "cpu": 100 * cpu[side] / seconds}


results = {"linux": poll("linux", linux_from), "windows": poll("windows", windows_from)}
print(f"{'':28}{'Linux':>12}{'Windows/Wine':>14}{'ratio':>8}")
rows = [("poll period p5, ms", "p5"), ("poll period median, ms", "median"),
        ("poll period p95, ms", "p95"), ("requests", "requests"), ("ticks", "ticks"),
        ("requests per tick", "perTick"), ("panel CPU, % of a core", "cpu")]
for title, key in rows:
    linux, windows = results["linux"][key], results["windows"][key]
    print(f"{title:28}{linux:12.2f}{windows:14.2f}{windows / linux if linux else 0:8.2f}")
print(f"{'wineserver CPU, % of a core':28}{'':12}{100 * server / seconds:14.2f}")
EOF
for side in linux windows; do
    if grep -a "serial end set to" "$work/$side.log"; then
        echo "the $side emulator's line was not set to 9200 8N1" >&2
        exit 1
    fi
done
