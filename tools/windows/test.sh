#!/usr/bin/env bash
# Builds the Windows programs and packages (build.sh) and tests them under Wine, headless:
# - the shipped DLLs are exactly those the programs and plugins load;
# - the Windows build of every test that needs no pseudo-terminal, through ctest, with the
#   Linux emulator on a pseudo-terminal mapped into the prefix as COM7;
# - the window fit at 100 %, 125 %, 150 % and 200 % display scaling;
# - vornexctl.exe against COM7 and against a port that does not exist;
# - the installer, silently into a fresh prefix, and the installed panel's window and icon,
#   with a screenshot in build/windows/screenshots.
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
for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
done
Xvfb ":$n" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=:$n
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

new_prefix() {
    local dir=$1
    prefixes+=("$dir")
    WINEPREFIX=$dir WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" limit 300 "$wine" wineboot -i \
        >/dev/null 2>&1 || true
    settle "$dir"
}

# Starts the emulator on a pseudo-terminal and makes it COM port $2 of prefix $1, as Wine maps
# serial ports (HKLM\Software\Wine\Ports; Wine's device manager then lists it in the system's
# device map, as Windows does its ports); its request log goes to $3. Wine leaves the line at
# 38400 when asked for 9200, so the emulator answers whatever the line is set to.
start_emulator() {
    local dir=$1 com=$2 log=$3 link
    link=$work/tty-$(basename "$dir")
    "$sim" --link "$link" --no-line-check --output-on --voltage 12000 --current 1000 \
        --load 22 >/dev/null 2>"$log" &
    pids+=($!)
    for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
    reg_add "$dir" 'HKLM\Software\Wine\Ports' /v "$com" /d "$(readlink -f "$link")"
    WINEPREFIX=$dir "$wineserver" -k
    settle "$dir"
}

# What the emulator's request log says was asked, most frequent first.
requests() { sed 's/^[0-9. ]*s *#[0-9A-F]* *//' "$1" | sort | uniq -c | sort -rn; }

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
start_emulator "$tests_prefix" COM7 "$work/emulator-tests.log"
# One at a time: on Windows every test shares the one settings store in the registry.
VORNEX_TEST_COM_PORT=COM7 limit 1200 ctest --test-dir "$build" --output-on-failure -j1
# The Apply that tst_windowspanel clicks: four attempts, then "Ошибка записи".
[ "$(grep -c "write setpoints" "$work/emulator-tests.log")" -eq 4 ] ||
    { echo "the panel's setpoint write did not reach the emulator four times" >&2; exit 1; }
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
before=$(grep -c "read status" "$work/emulator-tests.log" || true)
set +e
# Wine's serial warnings show the rate the program asks for. Now and then Wine's wait on a
# pseudo-terminal never returns, and the program with it: up to three tries.
for attempt in 1 2 3; do
    WINEDEBUG=warn+comm limit 30 "$here/wine-run.sh" "$prefix" "$build/cli/vornexctl.exe" \
        --port COM7 --json status >"$work/ctl.out" 2>"$work/ctl.wine"
    ctl_status=$?
    [ "$ctl_status" -ne 124 ] && break
    echo "try $attempt: vornexctl.exe did not end within 30 s under Wine"
    WINEPREFIX=$tests_prefix "$wineserver" -k
    settle "$tests_prefix"
done
limit 60 "$here/wine-run.sh" "$prefix" "$build/cli/vornexctl.exe" --port COM99 --json status \
    >"$work/absent.out" 2>&1
absent_status=$?
set -e
[ "$ctl_status" -ne 124 ] && [ "$absent_status" -ne 124 ] ||
    { echo "vornexctl.exe did not end under Wine" >&2; exit 1; }
after=$(grep -c "read status" "$work/emulator-tests.log" || true)
echo "--port COM7: exit $ctl_status; $(cat "$work/ctl.out" "$work/ctl.wine" | tr -d '\r' | grep '^{')"
[ "$after" -gt "$before" ] || { echo "vornexctl's request did not reach the emulator" >&2; exit 1; }
grep -q "non-standard baud rate 9200" "$work/ctl.wine" ||
    { echo "vornexctl did not ask for 9200 baud" >&2; exit 1; }
echo "asked for 9200 baud (Wine sets a pseudo-terminal to 38400 then)"
echo "--port COM99: exit $absent_status; $(tr -d '\r' <"$work/absent.out" | head -3)"
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
start_emulator "$install_prefix" COM7 "$work/emulator-install.log"
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
for _ in $(seq 100); do grep -q "read status" "$work/emulator-install.log" && break; sleep 0.1; done
grep -q "read status" "$work/emulator-install.log" ||
    { echo "the installed panel's requests did not reach the emulator" >&2; exit 1; }
requests "$work/emulator-install.log"
# Off the toolbar, and long enough for four unanswered readings to show in the status bar.
xdotool mousemove 0 0
sleep 8
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
