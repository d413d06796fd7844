#!/usr/bin/env bash
# Makes the bundled show's media again: draws the pictures with kx_make_media,
# turns two of them into JPEG files with cjpeg (one baseline, one
# progressive), and writes the tune with kx_module_writer. The results go
# into data/textures/ and data/music/ and are committed as they come out.
#
#   tools/make_media.sh [BUILD_DIR]      (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
command -v cjpeg >/dev/null || { echo "make_media.sh: cjpeg is missing (Debian package libjpeg-turbo-progs)" >&2; exit 1; }
if [ -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" >/dev/null
else
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target kx_make_media kx_module_writer -j2

ppm=$(mktemp -d)
trap 'rm -rf "$ppm"' EXIT
mkdir -p data/textures data/music
"$build/bin/kx_make_media" data/textures "$ppm"
cjpeg -quality 85 -optimize -outfile data/textures/plasma.jpg "$ppm/plasma.ppm"
cjpeg -quality 82 -optimize -progressive -outfile data/textures/dusk.jpg "$ppm/dusk.ppm"
"$build/bin/kx_module_writer" data/music/kestrel.mod
ls -l data/textures data/music
