#!/usr/bin/env bash
# Smoke test of the Windows cross-build set-up: cross-compiles two small C++
# programs (tools/windows/smoke/) against the dependency prefixes through the
# toolchain file and pkg-config, puts the DLLs they need beside them and runs
# them under Wine:
#  - smoke.exe on a WAV and an Ogg Vorbis file made here with sox and oggenc:
#    every library of sound and pictures loads and works, and the decoded
#    frame counts are right;
#  - controllers_smoke.exe: oscpack sends an OSC message to itself over
#    127.0.0.1 and parses it back, RtMidi lists the WinMM MIDI input ports
#    (none under Wine, which it must say).
#
# Usage: smoke.sh [--keep]
#   --keep   keep the work folder (printed at the end)
# Environment: KX_WIN_DEPS_PREFIX (default: build-deps.sh --print-prefix),
#   KX_WINEPREFIX (default: ${XDG_CACHE_HOME:-$HOME/.cache}/kestrelux/wine64).
set -euo pipefail

SCRIPT_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
readonly SCRIPT_DIR

log() { printf 'smoke: %s\n' "$*" >&2; }
die() { printf 'smoke: error: %s\n' "$*" >&2; exit 1; }

keep=0
case "${1:-}" in
    --keep) keep=1 ;;
    "") ;;
    *) die "unknown option '$1'" ;;
esac

for tool in cmake sox oggenc wine; do
    command -v "$tool" >/dev/null || die "$tool is missing: apt-get install \$(grep -v '^#' $SCRIPT_DIR/debian-packages.txt)"
done

prefix="${KX_WIN_DEPS_PREFIX:-}"
if [[ -z "$prefix" ]]; then
    prefix="$("$SCRIPT_DIR/build-deps.sh" --print-prefix)" || die "no dependency prefix: run $SCRIPT_DIR/build-deps.sh first"
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/kx-win-smoke.XXXXXX")"
if ((keep)); then
    trap 'log "work folder kept: $work"' EXIT
else
    trap 'rm -rf "$work"' EXIT
fi

log "cross-compiling against $prefix"
cmake -S "$SCRIPT_DIR/smoke" -B "$work/build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$SCRIPT_DIR/mingw-w64-x86_64.cmake" -DKX_WIN_DEPS_PREFIX="$prefix" \
    >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; die "configuring failed"; }
cmake --build "$work/build" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; die "building failed"; }

run="$work/run"
mkdir -p "$run"
cp "$work/build/smoke.exe" "$work/build/controllers_smoke.exe" "$run/"
dlls="$("$SCRIPT_DIR/copy-dlls.sh" --prefix "$prefix" "$run" "$run/smoke.exe" "$run/controllers_smoke.exe")" ||
    die "could not gather the DLLs"
log "DLLs beside the programs: $(paste -sd' ' - <<<"$dlls")"

# Half a second of stereo at 44.1 kHz: 22050 frames.
readonly frames=22050
sox -n -r 44100 -c 2 -b 16 "$run/tone.wav" synth 0.5 sine 440 sine 660
oggenc -Q -o "$run/tone.ogg" "$run/tone.wav"

export WINEPREFIX="${KX_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/kestrelux/wine64}"
export WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko install prompts.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    log "creating the Wine prefix $WINEPREFIX (first time only, may take a minute)"
    mkdir -p "$WINEPREFIX"
    wineboot --init >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; die "wineboot failed"; }
fi

# Both programs on one Wine server, which is then waited for.
log "running smoke.exe and controllers_smoke.exe under Wine"
status=0
(cd "$run" && wine smoke.exe tone.wav tone.ogg round.mp3) >"$work/output.txt" 2>"$work/wine.log" || status=$?
controllers_status=0
(cd "$run" && wine controllers_smoke.exe) >"$work/controllers.txt" 2>"$work/wine-controllers.log" ||
    controllers_status=$?
wineserver -w || true

tr -d '\r' <"$work/output.txt"
if ((status != 0)); then
    cat "$work/wine.log" >&2
    die "smoke.exe failed with status $status"
fi
output="$(tr -d '\r' <"$work/output.txt")"
for file in tone.wav tone.ogg; do
    grep -q "^libsndfile: $file: 44100 Hz, 2 channels, $frames frames decoded$" <<<"$output" ||
        die "$file: expected $frames decoded frames"
done
grep -q '^smoke: all libraries work$' <<<"$output" || die "smoke.exe did not finish its checks"

output="$(tr -d '\r' <"$work/controllers.txt")"
printf '%s\n' "$output"
if ((controllers_status != 0)); then
    cat "$work/wine-controllers.log" >&2
    die "controllers_smoke.exe failed with status $controllers_status"
fi
grep -q '^osc: received /kestrelux/set tune volume 0.504 1099511627783 timetag 0x0123456789abcdef$' <<<"$output" ||
    die "the OSC message did not come back whole"
grep -Eq '^midi: (no MIDI input ports|opened and closed port 0)$' <<<"$output" ||
    die "RtMidi did not list the MIDI input ports"
grep -q '^controllers smoke: oscpack and RtMidi work$' <<<"$output" ||
    die "controllers_smoke.exe did not finish its checks"
log "passed"
