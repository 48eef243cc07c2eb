#!/usr/bin/env bash
# Runs each fuzz target for a bounded time; exits non-zero on the first finding.
# usage: fuzz/run.sh <build-dir> <seconds-per-target>
set -euo pipefail
if [ $# -ne 2 ]; then
    echo "usage: $0 <build-dir> <seconds-per-target>" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)

status=0
for target in fuzz_decodereply fuzz_typedreads fuzz_scpiline fuzz_scpiinput; do
    binary=$build/fuzz/$target
    if [ ! -x "$binary" ]; then
        echo "missing $binary (build with -DVORNEX_FUZZ=ON first)" >&2
        exit 2
    fi
    # New inputs go to a scratch corpus so that the committed seeds stay as they are.
    work=$build/fuzz/work-$target
    artifacts=$build/fuzz/artifacts-$target
    mkdir -p "$work" "$artifacts"
    echo "== $target for ${seconds}s"
    # Replies longer than 600 bytes add nothing beyond the 255-byte limit at 513; a script line
    # of 600 bytes already holds dozens of units.
    if ! "$binary" -max_total_time="$seconds" -max_len=600 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$work" "$here/corpus/$target"; then
        echo "$target: finding saved in $artifacts" >&2
        status=1
    fi
done
exit $status
