#!/usr/bin/env bash
# Builds the Debian package from a configured build tree, installs it, checks that the programs,
# the desktop entry and the icon are where a desktop menu looks for them, that the command-line
# tool and its manual page work, starts the installed panel on the offscreen platform and removes
# the package again.
#
#   tools/check-package.sh [build-dir]      (default: build/release)
#
# As root the package goes into this machine with apt-get, the way a user installs it, so its
# Depends are proven too; CI machines are thrown away afterwards. Otherwise, or with
# VORNEX_PACKAGE_ROOT=scratch, it is unpacked into a temporary root with dpkg -x and apt-get only
# simulates the install to check that the Depends can be met.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")

fail() {
    echo "check-package: $*" >&2
    exit 1
}

# Runs a command with its chatter kept aside, shown only when it fails.
quietly() {
    "$@" >"$build/check-package.log" 2>&1 || { cat "$build/check-package.log" >&2; return 1; }
}

[ -f "$build/CPackConfig.cmake" ] || fail "$build is not a configured build tree"
cmake --build "$build" --target vornexcontrol vornex-sim vornexctl vornexctl_manpage >/dev/null
rm -f "$build"/vornexcontrol_*.deb
quietly cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build" || fail "cpack failed"
debs=("$build"/vornexcontrol_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || fail "cpack made no package"
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"

scratch=$(mktemp -d)
was_installed=no
mode=${VORNEX_PACKAGE_ROOT:-}
[ -n "$mode" ] || { [ "$(id -u)" -eq 0 ] && mode=system || mode=scratch; }

cleanup() {
    if [ "$mode" = system ] && [ "$was_installed" = no ] &&
        dpkg-query -W -f='${Status}' vornexcontrol 2>/dev/null | grep -q 'install ok installed'; then
        quietly apt-get remove -y vornexcontrol || echo "check-package: could not remove" >&2
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
case "$mode" in
system)
    if dpkg-query -W -f='${Status}' vornexcontrol 2>/dev/null | grep -q 'install ok installed'; then
        was_installed=yes
    fi
    quietly apt-get install -y "$deb" || fail "apt-get could not install the package"
    root=
    ;;
scratch)
    quietly apt-get install -s "$deb" || fail "the package's Depends cannot be met"
    dpkg -x "$deb" "$scratch/root"
    root=$scratch/root
    ;;
*) fail "VORNEX_PACKAGE_ROOT must be system or scratch" ;;
esac
echo "installed ($mode)"

panel=$root/usr/bin/vornexcontrol
tool=$root/usr/bin/vornexctl
manpage=$root/usr/share/man/man1/vornexctl.1.gz
desktop=$root/usr/share/applications/vornexcontrol.desktop
for file in "$panel" "$root/usr/bin/vornex-sim" "$tool" "$manpage" "$desktop"; do
    [ -e "$file" ] || fail "missing $file"
done
[ -x "$panel" ] && [ -x "$root/usr/bin/vornex-sim" ] && [ -x "$tool" ] ||
    fail "the programs are not executable"
for program in "$panel" "$tool"; do
    if ldd "$program" | grep -q 'not found'; then
        ldd "$program" >&2
        fail "$(basename "$program") misses shared libraries"
    fi
done

desktop-file-validate "$desktop" || fail "invalid desktop entry"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$root/usr/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
if [ "$mode" = system ]; then
    [ "$(command -v "$exec_name")" = "/usr/bin/$exec_name" ] || fail "$exec_name is not on PATH"
fi
icon=$root/usr/share/icons/hicolor/256x256/apps/$icon_name.png
[ -f "$icon" ] || fail "no icon $icon_name in the hicolor theme"
[ "$(od -An -tx1 -N8 "$icon" | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$icon is not a PNG"
# Width and height are the two big-endian words after "IHDR".
[ "$(od -An -tu1 -j16 -N8 "$icon" | tr -s ' ' | sed 's/^ //')" = "0 0 1 0 0 0 1 0" ] ||
    fail "$icon is not 256 x 256"
echo "desktop entry and icon: ok"

"$root/usr/bin/vornex-sim" --help >/dev/null || fail "vornex-sim --help failed"

# The tool needs no port for its help; an unknown command is a usage error (2).
"$tool" --help | grep -q '^Коды завершения:' || fail "vornexctl --help failed"
"$tool" log --help >/dev/null || fail "vornexctl log --help failed"
status=0
"$tool" no-such-command 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "vornexctl gave $status for an unknown command, not 2"
gzip -t "$manpage" || fail "$manpage is not gzip"
if command -v groff >/dev/null; then
    warnings=$(zcat "$manpage" | groff -k -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "the manual page has troff warnings: $warnings"
fi
echo "vornexctl and its manual page: ok"

# The panel interprets no arguments, so it gets a private home for its settings store, shows its
# window and runs until the timeout ends it: 124 means it was still alive then.
home=$scratch/home
mkdir -p "$home"
status=0
HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$scratch QT_QPA_PLATFORM=offscreen \
    timeout 5 "$panel" >"$scratch/panel.out" 2>"$scratch/panel.err" || status=$?
cat "$scratch/panel.err" >&2
[ "$status" -eq 124 ] || fail "the installed panel ended by itself with status $status"
if grep -Eiq 'fatal|error|fail|could not|cannot|abort' "$scratch/panel.err"; then
    fail "the installed panel reported an error"
fi
echo "installed panel ran 5 s on the offscreen platform: ok"
