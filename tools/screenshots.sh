#!/usr/bin/env bash
# Renews the README's screenshots: builds the release tree and a small driver program that runs
# the real panel against the converter emulator on the offscreen platform, connects, runs a log,
# reads the service pages and grabs the five pages and the log settings dialog as PNG files.
#
#   tools/screenshots.sh [output-folder]      (default: docs/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/screenshots}")

bash tools/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release --target vornex-screenshots >/dev/null

# A private home keeps the log settings of this run out of your own settings store; the link
# trace on standard output is of no interest here.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home QT_QPA_PLATFORM=offscreen \
    build/release/tools/screenshots/vornex-screenshots "$out" >/dev/null
