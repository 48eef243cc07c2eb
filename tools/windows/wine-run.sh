#!/usr/bin/env bash
# Runs a program of the Windows build under Wine with the toolchain's Qt, Qwt and MinGW runtime
# DLLs on its path. ctest runs each Windows test through it.
#   wine-run.sh <toolchain folder> <program> [arguments...]
#   VORNEX_WINEPREFIX   the Wine prefix (default: build/windows/wine/tests in the checkout)
# The toolchain folder comes as an argument, since tests run with a HOME of their own; the rig's
# Wine is found in the same cache.
set -euo pipefail
VORNEX_WIN_CACHE=$(dirname "$1")
source "$(dirname "$0")/env.sh"
prefix=$1
shift

export WINEPREFIX=${VORNEX_WINEPREFIX:-$root/build/windows/wine/tests}
export WINEDEBUG=${WINEDEBUG:--all}
# Keeps Wine from offering to download Mono and Gecko on a machine without internet access.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPATH="Z:$prefix/bin;Z:$prefix/lib;Z:/usr/lib/gcc/$mingw_triplet/12-posix;Z:/usr/$mingw_triplet/lib"
export QT_PLUGIN_PATH="Z:$prefix/plugins"
exec "$wine" "$@"
