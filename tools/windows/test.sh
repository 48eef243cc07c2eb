#!/usr/bin/env bash
# Builds the Windows programs and packages (build.sh) and tests them under the rig's Wine
# (toolchain.sh builds it: Debian's Wine with its serial code mended), headless, against the
# Linux emulator on a pseudo-terminal mapped into each prefix as COM7, with its 9200-8N1 line
# check on and its console on a loopback port:
# - the shipped DLLs are exactly those the programs and plugins load;
# - the Windows build of the tests through ctest, the exchange with the emulator among them;
# - the window fit at 100 %, 125 %, 150 % and 200 % display scaling;
# - vornexctl.exe: status, set, output and the calibration backup, with the values checked,
#   and a port that does not exist;
# - the installer, silently into a fresh prefix; the installed panel connects to COM7, shows
#   live values (a screenshot in build/windows/screenshots) and serves them to a PyVISA script
#   on Linux through its SCPI server.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/env.sh"
# Wine's programs get /dev/null as input, whatever this was started with (CI gives it none).
exec </dev/null
# Every Wine step has a time limit, so that a hang fails this stage instead of outlasting CI.
limit() {
    local seconds=$1
    shift
    timeout -k 10 "$seconds" "$@"
}
# Waits until the programs of prefix $1 have ended and its registry is on disk.
settle() { WINEPREFIX=$1 limit 120 "$wineserver" -w; }
# Adds a registry value in prefix $1: the rest are reg add's arguments.
reg_add() {
    local dir=$1
    shift
    WINEPREFIX=$dir limit 120 "$wine" reg add "$@" /f >/dev/null 2>&1
}
trap '[[ $- == *e* ]] && echo "Windows stage failed at line $LINENO" >&2' ERR

bash "$here/build.sh"
echo "== emulator (Linux)"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/release" --target vornex-sim -j "$jobs" >/dev/null
sim=$root/build/release/sim/vornex-sim

work=$build/wine
rm -rf "$work" "$build/screenshots"
mkdir -p "$work" "$build/screenshots"
version=$(sed -n 's/^project(VORNEXcontrol VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
installer=$build/vornexcontrol-$version-win64.exe
zip=$build/vornexcontrol-$version-win64.zip

pids=()
prefixes=()
cleanup() {
    for p in "${prefixes[@]}"; do WINEPREFIX=$p "$wineserver" -k 2>/dev/null || true; done
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

# One X server for every windowed program.
source "$here/display.sh"
start_display

new_prefix() {
    local dir=$1
    prefixes+=("$dir")
    WINEPREFIX=$dir WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" limit 300 "$wine" wineboot -i \
        >/dev/null 2>&1 || true
    settle "$dir"
}

# Starts the emulator on a pseudo-terminal and makes it COM port $2 of prefix $1, as Wine maps
# serial ports (HKLM\Software\Wine\Ports; Wine's device manager then lists it in the system's
# device map, as Windows does its ports); its request log goes to $3, and its console listens
# on loopback port $4. It understands only a line set to 9200 8N1.
start_emulator() {
    local dir=$1 com=$2 log=$3 console=$4 link
    link=$work/tty-$(basename "$dir")
    "$sim" --link "$link" --console-port "$console" --output-on --voltage 12000 --current 1000 \
        --load 22 >/dev/null 2>"$log" &
    pids+=($!)
    for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
    [ -e "$link" ] || { echo "the emulator did not start: $(cat "$log")" >&2; exit 1; }
    # The link, not the terminal it points to: after a hang-up the emulator comes back on a
    # new terminal behind the same link, as an adapter comes back under the same COM name.
    reg_add "$dir" 'HKLM\Software\Wine\Ports' /v "$com" /d "$link"
    WINEPREFIX=$dir "$wineserver" -k
    settle "$dir"
}

# What the emulator's request log says was asked, most frequent first.
requests() { grep -a ' s  #' "$1" | sed 's/^[0-9. ]*s *#[0-9A-F]* *//' | sort | uniq -c | sort -rn; }
# Fails the stage when the emulator saw a line not set to 9200 8N1.
line_checked() {
    if grep -a "serial end set to" "$1"; then
        echo "the emulator's line was not set to 9200 8N1" >&2
        exit 1
    fi
}

echo "== programs"
subsystem() { "$mingw_triplet-objdump" -p "$1" | sed -n 's/^Subsystem\s*[0-9a-f]*\s*//p'; }
[ "$(subsystem "$build/app/vornexcontrol.exe")" = "(Windows GUI)" ] ||
    { echo "vornexcontrol.exe must have no console window" >&2; exit 1; }
[ "$(subsystem "$build/cli/vornexctl.exe")" = "(Windows CUI)" ] ||
    { echo "vornexctl.exe must be a console program" >&2; exit 1; }
for exe in "$build/app/vornexcontrol.exe" "$build/cli/vornexctl.exe"; do
    for field in FileVersion ProductVersion; do
        strings -el "$exe" | grep -A1 -x "$field" | tail -1 | grep -qx "$version" ||
            { echo "$(basename "$exe"): no $field $version" >&2; exit 1; }
    done
done
echo "vornexcontrol.exe (Windows GUI) and vornexctl.exe (console), file and product version $version"

echo "== Wine prefix for the tests"
tests_prefix=$work/tests
new_prefix "$tests_prefix"
export VORNEX_WINEPREFIX=$tests_prefix

echo "== shipped files"
bash "$here/check-dlls.sh" "$zip" "$tests_prefix" | tee "$build/shipped-files.md"

echo "== tests under Wine"
console_port=$((20000 + RANDOM % 20000))
start_emulator "$tests_prefix" COM7 "$work/emulator-tests.log" "$console_port"
# One at a time: on Windows every test shares the one settings store in the registry.
VORNEX_TEST_COM_PORT=COM7 VORNEX_TEST_EMULATOR_CONSOLE=$console_port \
    limit 1200 ctest --test-dir "$build" --output-on-failure -j1
line_checked "$work/emulator-tests.log"
echo "requests from the Windows programs under Wine that reached the emulator:"
requests "$work/emulator-tests.log" | head -8

echo "== window fit at display scaling"
for dpi in 96 120 144 192; do
    reg_add "$tests_prefix" 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $dpi
    settle "$tests_prefix"
    echo "-- $((dpi * 100 / 96)) %"
    QT_QPA_PLATFORM=windows limit 300 "$here/wine-run.sh" "$prefix" "$build/tests/app/tst_windowfit.exe" -silent
done
reg_add "$tests_prefix" 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96

echo "== vornexctl.exe"
# Sends a command to the tests' emulator console and prints its answer.
console() {
    local line
    exec 3<>"/dev/tcp/127.0.0.1/$console_port"
    printf '%s\n' "$1" >&3
    while IFS= read -r -t 10 line <&3 && [ -n "$line" ]; do echo "$line"; done
    exec 3<&-
}
# As the stage started it, whatever the tests left.
console "fault none" >/dev/null
console "set 12000 1000" >/dev/null
console "output on" >/dev/null
# Runs vornexctl.exe with the arguments given; its output (Wine's CR LF made LF) in $work/ctl.out.
ctl() {
    local status=0
    limit 60 "$here/wine-run.sh" "$prefix" "$build/cli/vornexctl.exe" "$@" \
        >"$work/ctl.raw" 2>&1 || status=$?
    tr -d '\r' <"$work/ctl.raw" >"$work/ctl.out"
    echo "vornexctl $*: exit $status: $(head -c 300 "$work/ctl.out")"
    return $status
}
expect() {
    grep -qxF "$1" "$work/ctl.out" || { echo "wanted: $1" >&2; exit 1; }
}
ctl --port COM7 --json status
expect '{"cc":false,"current":0.545,"cv":true,"fineRange":false,"output":true,"voltage":12}'
ctl --port COM7 set 7.5 1
ctl --port COM7 --json setpoints
expect '{"current":1,"voltage":7.5}'
ctl --port COM7 off
ctl --port COM7 --json status
grep -q '"output":false' "$work/ctl.out" || { echo "the output stayed on" >&2; exit 1; }
ctl --port COM7 on
ctl --port COM7 set 12 1
ctl --port COM7 calibration get 'Z:'"$work/calibration.json"
grep -q '"kuDacVolt"' "$work/calibration.json" ||
    { echo "no calibration in the file" >&2; exit 1; }
ctl --port COM7 calibration set 'Z:'"$work/calibration.json"
backup=$(ls "$work"/calibration.backup-*.json)
cmp "$work/calibration.json" "$backup" ||
    { echo "the backup differs from the calibration read before" >&2; exit 1; }
echo "calibration backup: $(basename "$backup")"
line_checked "$work/emulator-tests.log"
set +e
ctl --port COM99 --json status
absent_status=$?
set -e
[ "$absent_status" -eq 3 ] || { echo "a port that does not exist must give exit 3" >&2; exit 1; }

echo "== installer"
install_prefix=$work/install
new_prefix "$install_prefix"
WINEPREFIX=$install_prefix WINEDEBUG=-all limit 300 "$wine" "$installer" /S
settle "$install_prefix"
installed="$install_prefix/drive_c/Program Files/VORNEXcontrol"
for file in vornexcontrol.exe vornexctl.exe Uninstall.exe platforms/qwindows.dll; do
    [ -f "$installed/$file" ] || { echo "not installed: $file" >&2; exit 1; }
done
shortcut=$(find "$install_prefix/drive_c" -path '*Start Menu*' -iname 'VORNEXcontrol.lnk' | head -1)
strings -a "$shortcut" | grep -qF 'C:\Program Files\VORNEXcontrol\vornexcontrol.exe' ||
    { echo "no Start-menu entry for the panel" >&2; exit 1; }
echo "installed into C:\Program Files\VORNEXcontrol, Start-menu entry ${shortcut#"$install_prefix/drive_c/"}"

echo "== installed panel"
start_emulator "$install_prefix" COM7 "$work/emulator-install.log" $((console_port + 1))
# Its SCPI server on, for the PyVISA script below.
reg_add "$install_prefix" 'HKCU\Software\brenta\TALMIR' /v scpiEnabled /d true
settle "$install_prefix"
# Only what the installer put there: no toolchain DLLs on the path.
VORNEX_EXTRA_PORTS=COM7 WINEPREFIX=$install_prefix WINEDEBUG=-all \
    "$wine" "C:\\Program Files\\VORNEXcontrol\\vornexcontrol.exe" >/dev/null 2>&1 &
pids+=($!)
# Ended by the uninstaller's step below; no job notice for that.
disown
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^VORNEXcontrol$' | head -1)
# Wine sets the icon a moment after it maps the window.
for _ in $(seq 100); do
    xprop -id "$window" _NET_WM_ICON 2>/dev/null | grep -q "Icon (" && break
    sleep 0.1
done
xprop -id "$window" _NET_WM_ICON | grep -q "Icon (" ||
    { echo "the window has no icon" >&2; exit 1; }
echo "window $window: title \"$(xdotool getwindowname "$window")\", with its icon"
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
# The first toolbar button: "Подключить".
xdotool mousemove --window "$window" 24 24 click 1
for _ in $(seq 100); do grep -q "read ADC" "$work/emulator-install.log" && break; sleep 0.1; done
grep -q "read ADC" "$work/emulator-install.log" ||
    { echo "the installed panel is not polling the emulator" >&2; exit 1; }
xdotool mousemove 0 0
echo "-- a PyVISA script on Linux, through the installed panel's SCPI server"
# Debian's own interpreter: that is where python3-pyvisa installs the module.
echo | limit 120 /usr/bin/python3 "$root/tests/remote/visa_client.py" 5025
requests "$work/emulator-install.log"
line_checked "$work/emulator-install.log"
# The screenshot shows the values the script left (10 V into 22 ohm) once two more status
# reads have been answered.
status_reads=$(grep -c "read status" "$work/emulator-install.log")
for _ in $(seq 100); do
    [ "$(grep -c "read status" "$work/emulator-install.log")" -ge $((status_reads + 2)) ] && break
    sleep 0.1
done
import -window root -crop "$(xdotool getwindowgeometry --shell "$window" |
    awk -F= '/WIDTH|HEIGHT|^X|^Y/ {v[$1]=$2} END {printf "%dx%d+%d+%d", v["WIDTH"], v["HEIGHT"], v["X"], v["Y"]}')" \
    "$build/screenshots/panel-wine.png"
echo "screenshot: $build/screenshots/panel-wine.png"

echo "== uninstaller"
WINEPREFIX=$install_prefix "$wineserver" -k
WINEPREFIX=$install_prefix WINEDEBUG=-all limit 300 "$wine" "C:\\Program Files\\VORNEXcontrol\\Uninstall.exe" /S
settle "$install_prefix"
if [ -e "$installed/vornexcontrol.exe" ] || [ -e "$shortcut" ]; then
    echo "the uninstaller left the program or its Start-menu entry behind" >&2
    exit 1
fi
echo "uninstalled"
echo "Windows stage passed"
