#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, as a package does, and
# checks the installed tree: what is there, that the programs find their
# shared libraries without LD_LIBRARY_PATH, and that nothing of the tests is
# installed. Then plays the installed player from an empty folder, which
# plays the installed show (frames, audio, plug-ins loaded; nothing written
# into the installed tree), and from folders that have data/, which keep
# their own.
set -euo pipefail
cmake="$1" build="$2" bindir="$3" programdir="$4" homedir="$5" docdir="$6"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
fail() { echo "FAIL: $*"; for f in console.txt log.txt; do [ -f "$f" ] && { echo "--- $f"; tail -20 "$f"; }; done; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" > "$work/install.txt" || { cat "$work/install.txt"; fail "install"; }
cd "$prefix"

for f in "$bindir/kestrelux" "$programdir/kestrelux" "$programdir/lumafold.so" "$programdir/irisloom.so" \
         "$programdir/libkxaudio.so" "$bindir/kx_image_dump" "$homedir/data/script.txt" \
         "$homedir/data/music/kestrel.mod" "$docdir/README.md" "$docdir/docs/user-guide.md" \
         "$docdir/docs/images/flash-envelope.png"; do
    [ -e "$f" ] || fail "$f is not installed"
done
[ "$(readlink -f "$bindir/kestrelux")" = "$prefix/$programdir/kestrelux" ] || fail "$bindir/kestrelux is no link to the program"

# Only the player, its plug-ins, the project's shared libraries and the
# image tool are programs; nothing of the tests, benchmarks or fuzzers.
while read -r f; do
    case "$(basename "$f")" in
        kestrelux | lumafold.so | irisloom.so | libkx*.so* | kx_image_dump) ;;
        *) fail "unexpected program installed: $f" ;;
    esac
    # Found through the RPATH alone: every library resolves, ours inside the prefix.
    deps="$(env -u LD_LIBRARY_PATH ldd "$f")"
    ! grep -q "not found" <<< "$deps" || fail "$f: $(grep 'not found' <<< "$deps")"
    ! grep "libkx" <<< "$deps" | grep -vq "=> $prefix/" || fail "$f takes a library from outside: $(grep libkx <<< "$deps")"
done < <(find . -type f -exec sh -c 'head -c 4 "$1" | grep -q ELF' _ {} \; -print)
stray="$(find . -name 'kxtest_*' -o -name '*_test*' -o -name '*bench*' -o -name '*fuzz*' -o -name '*.a' -o -name '*.h')"
[ -z "$stray" ] || fail "test artefacts installed: $stray"

find "$prefix" | sort > "$work/tree-before.txt"
play() { SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 \
         env -u LD_LIBRARY_PATH "$prefix/$bindir/kestrelux" "$@" > console.txt 2>&1 || fail "exit code $?"; }

# An empty folder: the installed show plays; everything is written here.
mkdir "$work/empty" && cd "$work/empty"
play --capture out --fps 10 --frames 20
grep -q "playing the installed show in $prefix/$homedir/data" console.txt || fail "no word of the installed show"
! grep -q "file not found" console.txt || fail "a data file was not found"
grep -q "loadlibrary: lumafold.dll" log.txt || fail "lumafold not loaded"
grep -q "loadlibrary: irisloom.dll" log.txt || fail "irisloom not loaded"
! grep -q "ERROR" log.txt || fail "errors in the log"
[ "$(ls out/frame_*.png | wc -l)" -eq 20 ] || fail "expected 20 frames, got $(ls out | wc -l)"
[ -f out/frame_000019.png ] || fail "no last frame"
# Two seconds of 44.1 kHz 16-bit stereo after the 44-byte header, not all silence.
[ "$(stat -c %s out/audio.wav)" -eq $((44 + 2 * 44100 * 4)) ] || fail "audio.wav is $(stat -c %s out/audio.wav) bytes"
[ "$(tail -c +45 out/audio.wav | tr -d '\0' | head -c 1 | wc -c)" -eq 1 ] || fail "audio.wav is silent"
find "$prefix" | sort | cmp -s - "$work/tree-before.txt" || fail "the player wrote into the installed tree"
# A script that is not installed either: the usual error, here.
rm -f log.txt && play missing.txt
grep -q "file not found data/missing.txt" console.txt || fail "no file-not-found message for missing.txt"
! grep -q "installed show" console.txt || fail "the installed show was named for a script it lacks"

# A folder whose path is too long for the log file name: the player says so
# and plays nothing rather than write its log elsewhere.
long="$work/$(printf 'x%.0s' {1..250})"
mkdir "$long" && cd "$long"
play
grep -q "too long to keep log.txt here" console.txt || fail "no word of the long path"
! grep -q "loadlibrary" log.txt || fail "played with the log elsewhere"

# A folder with its own show plays it, not the installed one.
mkdir -p "$work/own/data" && cd "$work/own"
echo '<demo name="own"><markOwnShow/></demo>' > data/script.txt
play
grep -q '\[markOwnShow\]' log.txt || fail "the folder's own show did not play"
! grep -q "installed show" console.txt || fail "the installed show was chosen over data/"

# A folder with data/ but no script: the same error as ever.
mkdir -p "$work/other/data" && cd "$work/other"
play
grep -q "file not found data/script.txt" console.txt || fail "no file-not-found message"
! grep -qE "installed show|loadlibrary" console.txt log.txt || fail "the installed show was played"
echo "installed, played the installed show from an empty folder: 20 frames, $(stat -c %s "$work/empty/out/audio.wav") bytes of audio"
