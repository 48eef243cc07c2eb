#!/usr/bin/env bash
# Renews the README's screenshots: builds the release tree and a small driver program that runs
# the real panel against the converter emulator on the offscreen platform, connects, runs a log,
# reads the service pages, grabs the pages and the log settings dialog as PNG files, then runs an
# hour of log time with a changing load for the chart page. It runs twice: at the usual font
# size, and with large fonts (144 DPI, a 150 % desktop) into the folder 144dpi.
#
#   tools/screenshots.sh [output-folder]      (default: docs/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/screenshots}")

bash tools/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release --target vornex-screenshots >/dev/null

# A private home keeps the log settings and the log journal of this run out of your own; the link
# trace on standard output is of no interest here.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
for dpi in 96 144; do
    folder=$out
    [ "$dpi" = 96 ] || folder=$out/${dpi}dpi
    rm -rf "$home/.config"
    HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_RUNTIME_DIR=$home \
        QT_QPA_PLATFORM=offscreen \
        QT_FONT_DPI=$dpi build/release/tools/screenshots/vornex-screenshots "$folder" >/dev/null
done
