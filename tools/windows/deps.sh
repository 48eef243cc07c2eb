#!/usr/bin/env bash
# Installs the Debian packages the Windows cross build and its tests under Wine need.
set -euo pipefail

packages=(
    g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
    wine64 nsis
    build-essential cmake ninja-build perl python3 dpkg-dev patch xz-utils
    # The rig's Wine is rebuilt from Debian's source package (wine/build.sh).
    flex bison autoconf autotools-dev
    # The PyVISA script driven against the installed panel's SCPI server.
    python3-pyvisa python3-pyvisa-py
    xvfb x11-apps x11-utils imagemagick xdotool unzip
    # Fonts with the metrics of the Windows ones, so the window is laid out as on Windows.
    fonts-wine fonts-liberation fonts-crosextra-carlito
)
exec bash "$(dirname "$0")/../deps.sh" "${packages[@]}"
