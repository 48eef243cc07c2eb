#!/usr/bin/env bash
# Builds the MinGW toolchain the Windows build needs: Qt 5.15.8 (qtbase, qtsvg, qtserialport) and
# Qwt 6.1.4, cross-compiled into a cache folder outside the checkout, and the Wine that the
# Windows stage runs the programs with (wine/build.sh: Debian's Wine with its serial code
# mended, in a folder of its own beside the toolchain). Rerunning skips every part
# already built; a changed configure flag gives a new cache key and so a fresh build.
#
#   VORNEX_WIN_CACHE          cache folder (default ~/.cache/vornexcontrol-win)
#   VORNEX_QTSERIALPORT_TAR   qtserialport source archive (default: the one in ../shared/third_party)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/env.sh"

bash "$here/deps.sh"


if [ ! -f "$qtserialport_tar" ]; then
    echo "qtserialport source not found: $qtserialport_tar (set VORNEX_QTSERIALPORT_TAR)" >&2
    exit 1
fi

mkdir -p "$cache/src" "$cache/build"
timings="$prefix/timings.txt"
mkdir -p "$prefix"

timed() {
    local name=$1
    shift
    local start=$SECONDS
    "$@"
    local took=$((SECONDS - start))
    printf '%-14s %4d min %02d s\n' "$name" $((took / 60)) $((took % 60)) | tee -a "$timings"
}

have_deb_src() {
    grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/
}

# Source packages come from the same suite as the binary ones.
add_deb_src() {
    have_deb_src && return 0
    local list=/etc/apt/sources.list.d/debian.sources
    [ -f "$list" ] || { echo "No deb-src entry and no $list to copy one from" >&2; exit 1; }
    local as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    sed 's/^Types: deb$/Types: deb-src/' "$list" |
        "${as_root[@]}" tee /etc/apt/sources.list.d/vornex-deb-src.sources >/dev/null
    "${as_root[@]}" apt-get update -qq
}

fetch_sources() {
    cd "$cache/src"
    if [ ! -d qtbase-opensource-src-$qt_version+dfsg ] || [ ! -d qtsvg-opensource-src-$qt_version ]; then
        add_deb_src
        apt-get source -qq qtbase-opensource-src qtsvg-opensource-src
    fi
    # Qwt without Debian's patches: only the Qt 5.15 include fix is wanted.
    if [ ! -d qwt-$qwt_version ]; then
        add_deb_src
        apt-get source -qq --download-only qwt
        dpkg-source -x --skip-patches qwt_$qwt_version-*.dsc >/dev/null
    fi
    [ -d qtserialport-everywhere-src-$qt_version ] || tar -xf "$qtserialport_tar"
}

build_qtbase() {
    local dir="$cache/build/qtbase-$key"
    rm -rf "$dir" && mkdir -p "$dir" && cd "$dir"
    MAKEFLAGS=-j$jobs "$cache/src/qtbase-opensource-src-$qt_version+dfsg/configure" \
        -prefix "$prefix" "${qt_flags[@]}" >configure.log
    make -j"$jobs" >make.log 2>&1 || { tail -40 make.log >&2; exit 1; }
    make install >install.log
}

build_module() {
    local name=$1 src=$2
    local dir="$cache/build/$name-$key"
    rm -rf "$dir" && mkdir -p "$dir" && cd "$dir"
    "$prefix/bin/qmake" "$src" >qmake.log
    make -j"$jobs" >make.log 2>&1 || { tail -40 make.log >&2; exit 1; }
    make install >install.log
}

# Debian's other qwt patches add ELF-only linker flags that a MinGW link refuses.
build_qwt() {
    local dir="$cache/build/qwt-$key"
    rm -rf "$dir" && cp -r "$cache/src/qwt-$qwt_version" "$dir" && cd "$dir"
    patch -p1 -s <debian/patches/06_ftbs.patch
    sed -i -e "s|^\(\s*QWT_INSTALL_PREFIX\s*=\).*|\1 $prefix|" \
        -e 's/^\(QWT_CONFIG\s*+=\s*\(QwtOpenGL\|QwtMathML\|QwtDesigner\|QwtExamples\|QwtPlayground\|QwtTests\)\)/#\1/' \
        qwtconfig.pri
    "$prefix/bin/qmake" qwt.pro >qmake.log
    make -j"$jobs" >make.log 2>&1 || { tail -40 make.log >&2; exit 1; }
    make install >install.log
    # The installer shows the licence of what it ships.
    install -D -m 644 COPYING "$prefix/share/qwt/COPYING"
}

step() {
    local name=$1
    shift
    if [ -f "$prefix/.done-$name" ]; then
        echo "$name: already built"
        return
    fi
    echo "$name: building"
    timed "$name" "$@"
    touch "$prefix/.done-$name"
}

echo "Toolchain cache: $prefix"

step sources fetch_sources
step qtbase build_qtbase
step qtsvg build_module qtsvg "$cache/src/qtsvg-opensource-src-$qt_version"
step qtserialport build_module qtserialport "$cache/src/qtserialport-everywhere-src-$qt_version"
step qwt build_qwt
if [ -f "$wine_tree/.done" ]; then
    echo "wine: already built"
else
    echo "wine: building"
    add_deb_src
    timed wine bash "$here/wine/build.sh" "$cache/build/wine-$wine_key" "$wine_tree"
    touch "$wine_tree/.done"
fi
echo "Toolchain ready in $prefix, Wine in $wine_tree"
cat "$timings"
