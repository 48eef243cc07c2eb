#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, the same tests under
# AddressSanitizer/UndefinedBehaviorSanitizer with leak checking, and a short run of each fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

bash tools/deps.sh

echo "== build"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$jobs"
echo "== tests"
ctest --test-dir build/release --output-on-failure -j "$jobs"
echo "== package"
bash tools/check-package.sh build/release

echo "== sanitizer build"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORNEX_SANITIZE=ON >/dev/null
cmake --build build/sanitize -j "$jobs"
echo "== tests under ASan/UBSan"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS="suppressions=$root/.ci/lsan.supp:print_suppressions=0:fast_unwind_on_malloc=0" \
    ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

if [ -x fuzz/run.sh ]; then
    echo "== fuzz build"
    CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DVORNEX_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
    cmake --build build/fuzz -j "$jobs"
    echo "== fuzzers"
    bash fuzz/run.sh build/fuzz "${VORNEX_FUZZ_SECONDS:-30}"
fi
