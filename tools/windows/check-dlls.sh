#!/usr/bin/env bash
# Checks that a portable zip carries every DLL its programs and plugins load and nothing else:
# each import is either in the zip or one of Windows' own DLLs (those of a Wine prefix's
# system32), and each shipped DLL is imported by something shipped or is a plugin Qt loads by
# name. Prints the files with their sizes.
#   check-dlls.sh <zip> <wine prefix>
set -euo pipefail
source "$(dirname "$0")/env.sh"
zip=$1
system32=$2/drive_c/windows/system32

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
(cd "$unpacked" && unzip -q "$zip")

lower() { tr '[:upper:]' '[:lower:]'; }
imports() { "$mingw_triplet-objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p' | lower; }

mapfile -t binaries < <(cd "$unpacked" && find . -iname '*.exe' -o -iname '*.dll' | sort)
shipped=$(for b in "${binaries[@]}"; do basename "$b"; done | lower | sort)
status=0
imported=""
for binary in "${binaries[@]}"; do
    for dll in $(imports "$unpacked/$binary"); do
        imported+="$dll"$'\n'
        if ! grep -qx "$dll" <<<"$shipped" && [ ! -e "$system32/$dll" ] &&
            [ -z "$(find "$system32" -maxdepth 1 -iname "$dll" -print -quit)" ]; then
            echo "missing: $binary loads $dll" >&2
            status=1
        fi
    done
done
for binary in "${binaries[@]}"; do
    name=$(basename "$binary" | lower)
    case "$binary" in
    *.exe | ./platforms/* | ./styles/*) continue ;;
    esac
    if ! grep -qx "$name" <<<"$imported"; then
        echo "not needed: $binary" >&2
        status=1
    fi
done

echo "| File | Size |"
echo "|---|---:|"
(cd "$unpacked" && find . -type f | sort | while read -r file; do
    printf '| `%s` | %s |\n' "${file#./}" "$(stat -c %s "$file")"
done)
echo "In all: $(du -sb "$unpacked" | cut -f1) bytes unpacked; the zip $(stat -c %s "$zip") bytes"
exit $status
