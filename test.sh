#!/usr/bin/env bash
# Installs what the project needs, builds a Debug build with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs the whole suite,
# then the audio and music clock tests built with ThreadSanitizer.
# When clang is present, the fuzz targets also run for 30 seconds each.
# Then the Windows version is cross-built with mingw-w64 and its suite runs
# under Wine (tools/windows/test.sh); a failing Windows case fails the run.
#
# KX_SKIP_WINDOWS=1 leaves the Windows part out (and its packages
# uninstalled) on a developer's machine; under CI (CI=true) it always runs.
set -euo pipefail
cd "$(dirname "$0")"

windows=1
if [ "${KX_SKIP_WINDOWS:-0}" = 1 ]; then
    if [ "${CI:-}" = true ]; then
        echo "test.sh: KX_SKIP_WINDOWS is ignored under CI: the Windows suite runs" >&2
    else
        windows=0
    fi
fi
lists=(tools/debian-packages.txt)
[ "$windows" = 0 ] || lists+=(tools/windows/debian-packages.txt)
tools/install-packages.sh "${lists[@]}"

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DKX_SANITIZE=ON
cmake --build build-test -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd build-test && ctest --output-on-failure -j2)

# The audio engine and the music clock under ThreadSanitizer: a build folder
# of their tests alone.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DKX_TSAN=ON -DKX_BENCH=OFF
cmake --build build-tsan --target kx_audio_tsan_tests -j"$(nproc)"
env -u ASAN_OPTIONS -u UBSAN_OPTIONS TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    build-tsan/bin/kx_audio_tsan_tests

if command -v clang++ >/dev/null; then
    tools/fuzz.sh 30
fi

if [ "$windows" = 1 ]; then
    # The Windows programs are not built with the sanitizers.
    env -u ASAN_OPTIONS -u UBSAN_OPTIONS tools/windows/test.sh --jobs "$(nproc)"
else
    echo "test.sh: the Windows suite was skipped (KX_SKIP_WINDOWS=1)"
fi
