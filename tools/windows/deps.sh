#!/usr/bin/env bash
# Installs the Debian packages the Windows cross build and its tests under Wine need.
set -euo pipefail

packages=(
    g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
    wine64 nsis
    build-essential cmake ninja-build perl python3 dpkg-dev patch xz-utils
    xvfb x11-apps x11-utils imagemagick xdotool unzip
    # Fonts with the metrics of the Windows ones, so the window is laid out as on Windows.
    fonts-wine fonts-liberation fonts-crosextra-carlito
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
