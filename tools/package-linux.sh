#!/usr/bin/env bash
# Makes the Linux packages from a Release build in build-package/:
#   dist/kestrelux-linux-<machine>.tar.gz   the installed tree, to unpack anywhere
#   dist/kestrelux_<version>_<arch>.deb     the same tree under /usr, with its
#                                           dependencies worked out by dpkg-shlibdeps
# Needs cmake, dpkg-dev (dpkg-shlibdeps) and file, besides what the build needs.
set -euo pipefail
cd "$(dirname "$0")/.."

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DKX_SANITIZE=OFF -DKX_FUZZ=OFF -DKX_TESTS=OFF \
    -DKX_BENCH=OFF "${launcher[@]}"
cmake --build build-package -j"$(nproc)"

rm -rf build-package/packages
(cd build-package && cpack -B packages)
mkdir -p dist
for f in build-package/packages/*.tar.gz build-package/packages/*.deb; do
    cp "$f" dist/
    echo "made dist/$(basename "$f") ($(stat -c %s "$f") bytes)"
done
