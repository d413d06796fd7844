#!/usr/bin/env bash
# Installs what the player needs, builds it (Release) and plays the bundled
# show data/script.txt from the repository root. Without a display the show
# is rendered in capture mode into capture/ instead.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-packages.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKX_TESTS=OFF
cmake --build build -j"$(nproc)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: rendering the show into capture/ (frames and audio) instead."
    exec build/bin/kestrelux --capture capture --fps 30 --seconds "${KX_CAPTURE_SECONDS:-60}" "$@"
fi
exec build/bin/kestrelux "$@"
