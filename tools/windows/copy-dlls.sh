#!/usr/bin/env bash
# Copies the DLLs that Windows programs and DLLs need, and the DLLs those
# need in turn, into a folder: from the dependency prefixes (build-deps.sh), the
# mingw-w64 compiler's runtime (libstdc++, libgcc, winpthreads) and the
# mingw-w64 sysroot. DLLs that Windows itself provides are left out, and so
# are DLLs already in the destination (the project's own); a DLL found
# nowhere is an error.
#
# Usage: copy-dlls.sh [--prefix DIR] [--strip] DEST FILE.exe|FILE.dll...
#   --prefix DIRS  the dependency prefixes, separated by colons (default:
#                  $KX_WIN_DEPS_PREFIX, else build-deps.sh --print-prefix)
#   --strip        strip the copies (Debian's libstdc++-6.dll carries debug
#                  information: 23 MB, 2 MB stripped)
# Prints the copied DLLs, one a line.
set -euo pipefail

readonly HOST=x86_64-w64-mingw32
SCRIPT_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
readonly SCRIPT_DIR

die() { printf 'copy-dlls: error: %s\n' "$*" >&2; exit 1; }

prefix="${KX_WIN_DEPS_PREFIX:-}"
strip=0
while [[ "${1:-}" == --* ]]; do
    case "$1" in
        --prefix) [[ $# -ge 2 ]] || die "--prefix needs a folder"
                  prefix="$2"; shift ;;
        --strip) strip=1 ;;
        *) die "unknown option '$1'" ;;
    esac
    shift
done
[[ $# -ge 2 ]] || die "usage: copy-dlls.sh [--prefix DIR] [--strip] DEST FILE..."
dest="$1"
shift
if [[ -z "$prefix" ]]; then
    prefix="$("$SCRIPT_DIR/build-deps.sh" --print-prefix)" || die "no dependency prefix (run build-deps.sh)"
fi

runtime_dir="$(dirname "$("$HOST-g++-posix" -print-file-name=libstdc++-6.dll)")"
search_dirs=()
IFS=: read -r -a prefixes <<<"$prefix"
for dir in "${prefixes[@]}"; do search_dirs+=("$dir/bin"); done
search_dirs+=("$runtime_dir" "/usr/$HOST/lib" "/usr/$HOST/bin")

# DLLs of Windows itself (the ones our code and libraries import).
is_system_dll()
{
    case "${1,,}" in
        kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | msvcrt.dll | ucrtbase.dll | ntdll.dll | \
            ws2_32.dll | shell32.dll | shlwapi.dll | ole32.dll | oleaut32.dll | comdlg32.dll | comctl32.dll | \
            winmm.dll | opengl32.dll | glu32.dll | avicap32.dll | msvfw32.dll | version.dll | imm32.dll | \
            dsound.dll | setupapi.dll | bcrypt.dll | crypt32.dll | dbghelp.dll | mpr.dll | winspool.drv | \
            api-ms-win-*) return 0 ;;
    esac
    return 1
}

find_dll()
{
    local dir
    for dir in "${search_dirs[@]}"; do
        if [[ -f "$dir/$1" ]]; then
            printf '%s\n' "$dir/$1"
            return 0
        fi
    done
    return 1
}

mkdir -p "$dest"
declare -A seen=()
queue=("$@")
while ((${#queue[@]})); do
    file="${queue[0]}"
    queue=("${queue[@]:1}")
    [[ -f "$file" ]] || die "no such file: $file"
    while read -r dll; do
        key="${dll,,}"
        [[ -n "${seen[$key]:-}" ]] && continue
        seen[$key]=1
        is_system_dll "$dll" && continue
        # Already there (one of the files given, or copied before): its own
        # imports are followed all the same.
        if [[ -f "$dest/$dll" ]]; then
            queue+=("$dest/$dll")
            continue
        fi
        found="$(find_dll "$dll")" || die "$(basename "$file") needs $dll, which is in none of: ${search_dirs[*]}"
        cp -f "$found" "$dest/"
        if ((strip)); then "$HOST-strip" --strip-unneeded "$dest/$(basename "$found")"; fi
        printf '%s\n' "$dll"
        queue+=("$found")
    done < <("$HOST-objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
done
