# Shared by the Windows scripts: where the toolchain lives and what it is built with. The cache
# folder's name carries a hash of the versions and flags, so changing one builds a new toolchain.
# shellcheck shell=bash
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
jobs=$(nproc)
mingw_triplet=x86_64-w64-mingw32
qt_version=5.15.8
qwt_version=6.1.4
cache=${VORNEX_WIN_CACHE:-$HOME/.cache/vornexcontrol-win}
qtserialport_tar=${VORNEX_QTSERIALPORT_TAR:-$root/../shared/third_party/qtserialport-everywhere-src-$qt_version.tar.xz}

qt_flags=(-xplatform win32-g++ -device-option CROSS_COMPILE=$mingw_triplet-
    -release -shared -opensource -confirm-license
    -nomake examples -nomake tests -no-pch
    -no-opengl -no-dbus -no-icu -no-openssl
    -no-sql-odbc -no-sql-psql -no-sql-mysql -no-sql-sqlite
    -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-harfbuzz -qt-freetype
    -no-feature-tabletevent)
qwt_config="QwtDll QwtPlot QwtWidgets QwtSvg"

key=$(printf '%s\n' "$qt_version" "$qwt_version" "${qt_flags[@]}" "$qwt_config" |
    sha256sum | cut -c1-12)
prefix=$cache/qt-$qt_version-qwt-$qwt_version-$key

# The rig's Wine: Debian's Wine 8.0 with its serial code mended (tools/windows/wine), a tree of
# its own in the cache; the system's Wine is left as it is. Its loader starts the system's
# wineserver, which the mend does not touch.
wine_key=$(cat "$root/tools/windows/wine/build.sh" "$root"/tools/windows/wine/0*.patch |
    sha256sum | cut -c1-12)
wine_tree=$cache/wine-8.0-serial-$wine_key
wine=$wine_tree/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINESERVER=/usr/lib/wine/wineserver64
build=$root/build/windows
