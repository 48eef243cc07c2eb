#!/usr/bin/env bash
# Builds the Wine the Windows stage runs its programs with: Debian's Wine 8.0 with the serial
# patches beside this script, of which only ntdll.so is rebuilt. DEST links everything else to
# the system's Wine, which stays untouched. Stock 8.0 on a pseudo-terminal never delivers a
# received byte to QSerialPort, sets 9200 baud as 38400 and never reports a device that went
# away; the patches mend these:
# - 01: a refused modem-status ioctl (a pty has no modem lines) ends an event wait only when
#   modem events were asked for, and a wait started with a completion routine gets it queued;
# - 02: a rate without a Bnnnn constant is set exactly, through termios2;
# - 03: a pty whose master has gone (the emulator's hang-up) ends the event wait with
#   STATUS_ACCESS_DENIED, as Windows ends it for a USB serial adapter that was unplugged.
#   build.sh WORKDIR DEST
# WORKDIR receives the Wine source (about 1 GB once configured, removed afterwards). Run
# programs as WINESERVER=/usr/lib/wine/wineserver64 DEST/lib/wine/wine64 (tools/windows/env.sh).
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 WORKDIR DEST" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1" "$2"
work=$(cd "$1" && pwd)
dest=$(cd "$2" && pwd)
system_unix=/usr/lib/x86_64-linux-gnu/wine/x86_64-unix

cd "$work"
ls wine_8.0~repack-*.dsc >/dev/null 2>&1 || apt-get source -qq --download-only wine
rm -rf src
dpkg-source -x "$(ls wine_8.0~repack-*.dsc | head -1)" src >/dev/null
cd src
for patch in "$here"/0*.patch; do patch -s -p1 <"$patch"; done

# What Debian's own build generates before configure.
./debian/scripts/generate server/trace.generated make_requests
./debian/scripts/generate server/request.generated make_requests
./tools/make_requests
ln -sf /usr/share/misc/config.sub tools/config.sub
ln -sf /usr/share/misc/config.guess tools/config.guess
grep -E '^\s+ln -sf \.\./' debian/rules | sed 's/^\s*//' | sh
autoconf && autoheader
# Generated files that Debian's repack removed, as its copyright file lists them (the headers
# behind its two patterns by name): makedep only needs them to exist.
{
    sed -n '/^Files-Excluded:/,/^[^ ]/{s/^ //p}' debian/copyright | grep -v '[*?]'
    printf 'include/wine/%s\n' vulkan.h vulkan_driver.h wgl.h wgl_driver.h wglext.h
} | while read -r f; do
    [ -e "$f" ] || { mkdir -p "$(dirname "$f")" && touch "$f"; }
done
for f in $(grep -o '[A-Za-z0-9_]*\.nls' nls/Makefile.in | sort -u); do
    [ -e "nls/$f" ] || touch "nls/$f"
done
./configure -q --enable-win64 --with-mingw --disable-tests --without-x --without-freetype \
    CFLAGS="-g -O2" >configure.log
# Debian's paths, so that the rebuilt ntdll finds the system's DLLs and data files.
make -s -j"$(nproc)" dlls/ntdll/ntdll.so bindir=/usr/lib/wine \
    dlldir=/usr/lib/x86_64-linux-gnu/wine datadir=/usr/share/wine >make.log 2>&1 ||
    { tail -40 make.log >&2; exit 1; }

rm -rf "$dest/lib" "$dest/share"
mkdir -p "$dest/lib/wine" "$dest/lib/x86_64-linux-gnu" "$dest/share"
cp -as /usr/lib/x86_64-linux-gnu/wine "$dest/lib/x86_64-linux-gnu/"
cp /usr/lib/wine/wine64 "$dest/lib/wine/"
ln -sfn /usr/share/wine "$dest/share/wine"
rm "$dest/lib/x86_64-linux-gnu/wine/x86_64-unix/ntdll.so"
cp dlls/ntdll/ntdll.so "$dest/lib/x86_64-linux-gnu/wine/x86_64-unix/"
# Only ntdll differs from the system's Wine.
cmp -s "$dest/lib/x86_64-linux-gnu/wine/x86_64-unix/ntdll.so" "$system_unix/ntdll.so" &&
    { echo "the rebuilt ntdll.so is the system's" >&2; exit 1; }
cd "$work" && rm -rf src
