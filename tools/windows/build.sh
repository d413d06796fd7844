#!/usr/bin/env bash
# Cross-builds the Windows version on Linux and packs it: the third-party
# DLLs (build-deps.sh, cached, in two layers), a Release build in build-win/
# through the mingw-w64 toolchain file, then dist/kestrelux-win64/ and
# dist/kestrelux-win64.zip holding the player, its plug-ins, the project's
# DLLs, every DLL they need (found by copy-dlls.sh through their import
# tables) with the licence texts the prefixes carry for them (licenses/),
# the bundled show (data/), README.txt for the person who plays shows
# (tools/windows/README.txt) and the guides (README.md, docs/).
#
# Usage: build.sh [--offline] [--tests] [--jobs N] [--build-dir DIR]
#   --offline        build-deps.sh without downloads (sources already cached)
#   --tests          also build the unit tests (bin/kx_win_unit_tests.exe)
#                    with the tools they run and the DLLs they need beside them
#   --jobs N         parallel jobs (default: number of processors)
#   --build-dir DIR  the build folder (default: build-win in the source tree)
# Environment: KX_WIN_DEPS_PREFIX names the finished dependency prefixes to
#   use instead of running build-deps.sh, separated by colons as it prints
#   them.
# The last line of standard output is the path of the zip.
set -euo pipefail

SCRIPT_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$SCRIPT_DIR/../.." && pwd)"
readonly SCRIPT_DIR ROOT
readonly HOST=x86_64-w64-mingw32
readonly NAME=kestrelux-win64

log() { printf 'build: %s\n' "$*" >&2; }
die() { printf 'build: error: %s\n' "$*" >&2; exit 1; }

jobs="$(nproc 2>/dev/null || echo 2)"
build_dir="$ROOT/build-win"
deps_options=()
tests=OFF
while (($#)); do
    case "$1" in
        --offline) deps_options+=(--offline) ;;
        --tests) tests=ON ;;
        --jobs) [[ $# -ge 2 && "$2" =~ ^[1-9][0-9]*$ ]] || die "--jobs needs a positive number"
                jobs="$2"; shift ;;
        --build-dir) [[ $# -ge 2 ]] || die "--build-dir needs a folder"
                     build_dir="$2"; shift ;;
        -h|--help) sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//' >&2; exit 0 ;;
        *) die "unknown option '$1' (see --help)" ;;
    esac
    shift
done

for tool in cmake zip "$HOST-g++-posix" "$HOST-objdump"; do
    command -v "$tool" >/dev/null ||
        die "$tool is missing: apt-get install \$(grep -v '^#' $SCRIPT_DIR/debian-packages.txt)"
done

start=$SECONDS

# 1. The third-party DLLs: cached prefixes, built once per set of versions
# (the libraries of sound and pictures, then the controllers').
# A build under way in another process is waited for (build-deps.sh locks).
prefix="${KX_WIN_DEPS_PREFIX:-}"
if [[ -z "$prefix" ]]; then
    log "dependencies (build-deps.sh)"
    prefix="$("$SCRIPT_DIR/build-deps.sh" --jobs "$jobs" "${deps_options[@]}" | tail -n 1)"
fi
[[ -n "$prefix" ]] || die "build-deps.sh gave no prefix"
IFS=: read -r -a prefixes <<<"$prefix"
for dir in "${prefixes[@]}"; do
    [[ -d "$dir/lib/pkgconfig" ]] || die "build-deps.sh gave no usable prefix ('$dir' of '$prefix')"
done
log "dependency prefixes: ${prefixes[*]}"

# 2. Configure and build.
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# pkg-config results are cached with the prefix's paths in them: a build
# folder configured against another prefix (other library versions) starts
# afresh.
stamp="$build_dir/kx-deps-prefix.txt"
if [[ -f "$build_dir/CMakeCache.txt" && "$(cat "$stamp" 2>/dev/null)" != "$prefix" ]]; then
    log "the dependency prefix changed: configuring $build_dir afresh"
    rm -rf "$build_dir/CMakeCache.txt" "$build_dir/CMakeFiles"
fi
mkdir -p "$build_dir"
printf '%s\n' "$prefix" > "$stamp"
log "configuring $build_dir"
cmake -S "$ROOT" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$SCRIPT_DIR/mingw-w64-x86_64.cmake" -DKX_WIN_DEPS_PREFIX="$prefix" \
    -DKX_TESTS="$tests" -DKX_BENCH=OFF "${launcher[@]}" >&2
log "building with $jobs jobs"
cmake --build "$build_dir" -j "$jobs" >&2

bin="$build_dir/bin"
if [[ "$tests" == ON ]]; then
    # The unit tests run in bin/: the third-party and runtime DLLs beside them.
    "$SCRIPT_DIR/copy-dlls.sh" --prefix "$prefix" "$bin" "$bin"/*.exe "$bin"/*.dll >/dev/null
fi

# 3. The folder: program, plug-ins, the project's DLLs and what they need.
dist="$ROOT/dist"
folder="$dist/$NAME"
rm -rf "$folder" "$dist/$NAME.zip"
mkdir -p "$folder"
files=()
for file in kestrelux.exe lumafold.dll irisloom.dll kxplatform.dll kxaudio.dll; do
    if [[ -f "$bin/$file" ]]; then
        cp "$bin/$file" "$folder/"
        files+=("$folder/$file")
    elif [[ "$file" == kxaudio.dll ]]; then
        log "no kxaudio.dll in this build (its libraries were not found)"
    else
        die "the build made no $file"
    fi
done
needed="$("$SCRIPT_DIR/copy-dlls.sh" --prefix "$prefix" "$folder" "${files[@]}")"
log "DLLs they need: $(tr '\n' ' ' <<<"$needed")"
# The licence texts the prefixes carry, for the libraries whose DLLs are in
# the folder (share/licenses/NAME/ goes with libNAME*.dll).
for dir in "${prefixes[@]}"; do
    for licence in "$dir"/share/licenses/*/; do
        [[ -d "$licence" ]] || continue
        name="$(basename "$licence")"
        compgen -G "$folder/lib$name*.dll" >/dev/null || continue
        mkdir -p "$folder/licenses/$name"
        cp -r "$licence". "$folder/licenses/$name/"
    done
done
# The DLLs from Debian's own mingw-w64 packages (the compiler's runtime,
# winpthreads, zlib) take their package's copyright file.
for dll in $needed; do
    covered=0
    for licence in "$folder"/licenses/*/; do
        [[ -d "$licence" && "$dll" == lib"$(basename "$licence")"* ]] && covered=1
    done
    ((covered)) && continue
    package="$(dpkg -S "*/$dll" 2>/dev/null | grep "$HOST" | head -1 | cut -d: -f1 || true)"
    if [[ -n "$package" && -f "/usr/share/doc/$package/copyright" ]]; then
        mkdir -p "$folder/licenses/${dll%.dll}"
        cp -L "/usr/share/doc/$package/copyright" "$folder/licenses/${dll%.dll}/copyright"
    else
        log "no licence text found for $dll"
    fi
done
# Shrinks the copies (libstdc++ alone carries over 20 MB of debugging data);
# the build folder and the prefix keep theirs.
"$HOST-strip" --strip-unneeded "$folder"/*.exe "$folder"/*.dll

# The show beside the program (the player reads data/ from its working
# folder), and the guides where README.md links them. README.txt is the
# first page for the person who plays shows, with Windows line ends so
# every editor shows its lines.
cp -r "$ROOT/data" "$folder/data"
sed 's/$/\r/' "$SCRIPT_DIR/README.txt" > "$folder/README.txt"
cp "$ROOT/README.md" "$folder/"
cp -r "$ROOT/docs" "$folder/docs"

# 4. The zip, with the folder at its top.
(cd "$dist" && zip -q -r -X "$NAME.zip" "$NAME")
log "done in $((SECONDS - start)) s: $(du -h "$dist/$NAME.zip" | cut -f1)"
echo "$dist/$NAME.zip"
