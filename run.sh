#!/usr/bin/env bash
# Installs what the player needs, builds it (Release) and plays the bundled
# show data/script.txt from the repository root.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-packages.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKX_TESTS=OFF
cmake --build build -j"$(nproc)"
exec build/bin/kestrelux "$@"
