#!/usr/bin/env bash
# Cross-builds the Windows programs and tests with the toolchain from toolchain.sh, then makes the
# installer and the zip: build/windows/vornexcontrol-<version>-win64.{exe,zip}.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/env.sh"

if [ ! -f "$prefix/.done-qwt" ]; then
    echo "No Windows toolchain in $prefix: run bash tools/windows/toolchain.sh first" >&2
    exit 1
fi
bash "$here/deps.sh"

start=$SECONDS
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DVORNEX_WIN_PREFIX="$prefix" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$here/wine-run.sh;$prefix" >/dev/null
cmake --build "$build" -j "$jobs"
echo "Windows build: $((SECONDS - start)) s"
start=$SECONDS
(cd "$build" && cpack -C Release >/dev/null)
echo "Packages ($((SECONDS - start)) s):"
ls -l "$build"/vornexcontrol-*-win64.exe "$build"/vornexcontrol-*-win64.zip
