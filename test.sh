#!/usr/bin/env bash
# Installs what the project needs, builds a Debug build with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs the whole suite.
# When clang is present, the fuzz targets also run for 30 seconds each.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-packages.sh

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DKX_SANITIZE=ON
cmake --build build-test -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd build-test && ctest --output-on-failure -j2)

if command -v clang++ >/dev/null; then
    tools/fuzz.sh 30
fi
