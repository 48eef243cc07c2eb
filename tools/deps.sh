#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the fuzzers need, if any are missing;
# with arguments, the packages named there instead (tools/windows/deps.sh).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libqt5svg5-dev libqwt-qt5-dev
    clang libclang-rt-14-dev
    fonts-dejavu-core tzdata
    dpkg-dev desktop-file-utils
    python3-pyvisa python3-pyvisa-py
)
[ $# -eq 0 ] || packages=("$@")

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
