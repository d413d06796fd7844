#!/usr/bin/env bash
# The Windows test suite, under Wine: cross-builds the tree with its unit
# tests (build.sh --tests), builds the end-to-end tests natively
# (tools/windows/e2e/, in build-win-e2e/) with tools/windows/wine-player.sh
# standing in for the player, and runs both on an Xvfb display of its own:
#  - the unit tests, kx_win_unit_tests.exe: the test files of tests/ whose code
#    needs neither SDL, an OpenGL context nor Linux (tests/windows_unit_tests.cmake);
#  - the end-to-end cases: every case plays kestrelux.exe under Wine in
#    capture mode in a fresh temporary folder holding a data/ tree and checks
#    its exit code, console, log.txt, frames and audio.wav, with the same code
#    and the same reference file (tests/golden/bundled_show.txt) as the Linux
#    suite;
#  - the window cases (e2e/wine_window_test.sh, named WineWindow.* for
#    --filter): the program's manifest; real X key presses from xdotool
#    reach the player and Escape ends it; Alt+F4 closes the window with the
#    effects unloaded in their GL context and the webcam's driver dialogs
#    in their order; the session's end stops a capture
#    with a complete audio.wav; OSC messages over 127.0.0.1 press keys and
#    end the show, and no MIDI port is one log line;
#  - the smoke test of the third-party DLLs (smoke.sh, named Smoke for
#    --filter): the libraries of sound and pictures at work, an OSC message
#    through 127.0.0.1 and back through oscpack, RtMidi's WinMM input ports;
#    and every third-party DLL in the package has its licence texts.
# Prints the cases passed and failed; exits non-zero on any failure.
#
# Usage: test.sh [--no-build] [--jobs N] [--filter PATTERN]
#   --no-build        use the existing build-win, dist/kestrelux-win64 and
#                     build-win-e2e
#   --jobs N          parallel build jobs (default: number of processors)
#   --filter PATTERN  a GoogleTest filter to run fewer cases
# Environment: KX_WIN_DEPS_PREFIX as for build.sh; KX_WINEPREFIX (default:
#   ${XDG_CACHE_HOME:-$HOME/.cache}/kestrelux/wine64).
set -euo pipefail

SCRIPT_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$SCRIPT_DIR/../.." && pwd)"
readonly SCRIPT_DIR ROOT

log() { printf 'test: %s\n' "$*" >&2; }
die() { printf 'test: error: %s\n' "$*" >&2; exit 1; }

# Unit test cases that do not apply to Windows, each with its reason:
unit_excluded=(
    # They compare the JPEG decoder with Debian's cjpeg, djpeg and ImageMagick,
    # Linux programs started through a POSIX shell.
    'JpegCorpus.*'
    # Their OGG file is made by Debian's oggenc or sox (Linux programs).
    AudioStream.OggAndMp3DecodeTo440HzAndStereoKeepsItsSides
    AudioHostile.CorruptAndTruncatedFilesAreRefusedOrHarmless
)

# Cases of the Linux end-to-end suite that do not apply to the Windows
# program, each with its reason:
excluded=(
    # A POSIX stop signal; a Windows program has no SIGTERM to handle.
    PlayerTest.StopSignalEndsTheWholeRunCleanly
    # They load the test plug-ins (kxtest_*), which are built for Linux only.
    EffectsRun.ClearColourAndBufferSwitches
    EffectsRun.MultiplicativeAndInvertingFlashes
    EffectsRun.LoadOrderDecidesWhichLibraryMakesAType
    EffectsRun.TeardownDestroysEveryEffectBeforeAnyLibraryUnloads
    EffectsRun.ParameterDescriptionIsLogged
    EffectsRun.PluginsShareThePlayersPlatformState
    EffectsRun.BadPluginsAndAddsAreLoggedNotFatal
    EffectsRun.LibraryNamesGetTheSuffixAndReachTheSystemLoader
    # Video4Linux device paths and their messages.
    WebcamRun.WithoutAUsableDeviceTheShowGoesOnInBlack
    # They need ffmpeg.exe itself, which does not run under Wine here (the
    # pipe to the encoder is checked with the stand-in encoder), or fake
    # ffmpeg programs written as shell scripts.
    VideoCaptureRun.EveryContainerHoldsThePngCapturesFramesAndSoundOfTheSameLength
    VideoCaptureRun.WithoutAUsableFfmpegNothingIsWritten
    PlayerTest.StopSignalLeavesAPlayableVideo
    # They read the frames through the pixel-probe test plug-in (kxtest_pixel),
    # built for Linux only; the window cases play OSC into the player instead.
    OscRun.KeysBankAndSetDriveTheShowBadInputIsOneLinePerKindAndAReloadKeepsTheListener
    OscRun.APerformanceCapturedFromOscReplaysFromItsKeyLogOnTheSameFrames
)

build=1
jobs="$(nproc 2>/dev/null || echo 2)"
filter="*"
while (($#)); do
    case "$1" in
        --no-build) build=0 ;;
        --jobs) [[ $# -ge 2 && "$2" =~ ^[1-9][0-9]*$ ]] || die "--jobs needs a positive number"
                jobs="$2"; shift ;;
        --filter) [[ $# -ge 2 ]] || die "--filter needs a pattern"
                  filter="$2"; shift ;;
        -h|--help) sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//' >&2; exit 0 ;;
        *) die "unknown option '$1' (see --help)" ;;
    esac
    shift
done

for tool in cmake wine wineserver Xvfb xdotool; do
    command -v "$tool" >/dev/null ||
        die "$tool is missing: apt-get install \$(grep -v '^#' $SCRIPT_DIR/debian-packages.txt)"
done

start=$SECONDS
e2e_build="$ROOT/build-win-e2e"
if ((build)); then
    "$SCRIPT_DIR/build.sh" --tests --jobs "$jobs" >/dev/null
    launcher=()
    if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
    cmake -S "$SCRIPT_DIR/e2e" -B "$e2e_build" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
    cmake --build "$e2e_build" -j "$jobs" >/dev/null
fi
export KX_WIN_DIST="$ROOT/dist/kestrelux-win64"
[[ -f "$KX_WIN_DIST/kestrelux.exe" ]] || die "no $KX_WIN_DIST/kestrelux.exe: run without --no-build"
[[ -x "$e2e_build/kx_win_e2e_tests" ]] || die "no $e2e_build/kx_win_e2e_tests: run without --no-build"
unit_tests="$ROOT/build-win/bin/kx_win_unit_tests.exe"
[[ -f "$unit_tests" ]] || die "no $unit_tests: run without --no-build"
build_seconds=$((SECONDS - start))

# Wine and a display of our own.
export WINEPREFIX="${KX_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/kestrelux/wine64}"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    log "creating the Wine prefix $WINEPREFIX (first time only, may take a minute)"
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1 || die "wineboot failed"
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/kx-win-test.XXXXXX")"
xvfb_pid=
own_wineserver=0
cleanup() {
    # A persistent Wine server stays up with Wine's service processes for
    # good: the one this run started is ended, with them.
    ((own_wineserver)) && wineserver -k 2>/dev/null
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The smoke test runs before this run's Wine server starts: it waits for the
# one its programs start.
smoke_passed=0
smoke_failed=0
if [[ "$filter" == "*" || "$filter" == *Smoke* ]]; then
    log "running the smoke test of the third-party DLLs under Wine"
    if "$SCRIPT_DIR/smoke.sh" >"$work/smoke.log" 2>&1; then smoke_passed=1; else smoke_failed=1; fi
    cat "$work/smoke.log"
    # The package: every DLL that is not the project's own ships with its
    # licence texts (licenses/STEM/ for libSTEM*.dll, or the DLL's own name).
    unlicensed=()
    for dll in "$KX_WIN_DIST"/*.dll; do
        name="$(basename "$dll" .dll)"
        [[ "$name" =~ ^(kxplatform|kxaudio|lumafold|irisloom)$ ]] && continue
        found=0
        for licence in "$KX_WIN_DIST"/licenses/*/; do
            stem="$(basename "$licence")"
            [[ -n "$(ls -A "$licence")" && ("$name" == lib"$stem"* || "$name" == "$stem") ]] && found=1
        done
        ((found)) || unlicensed+=("$name.dll")
    done
    if ((${#unlicensed[@]})); then
        echo "package: no licence texts for ${unlicensed[*]}"
        smoke_passed=0
        smoke_failed=1
    else
        echo "package: every third-party DLL has its licence texts in licenses/"
    fi
fi

display=
for n in $(seq 70 99); do
    [[ -e "/tmp/.X$n-lock" || -e "/tmp/.X11-unix/X$n" ]] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    sleep 1
    if kill -0 "$xvfb_pid" 2>/dev/null; then
        display=":$n"
        break
    fi
    xvfb_pid=
done
[[ -n "$display" ]] || die "no free X display for Xvfb"
export KX_WINE_DISPLAY="$display"
# One Wine server for the whole run instead of one per case.
# An already running one (wineserver then fails) is kept, and left running.
if wineserver -p 30 2>/dev/null; then own_wineserver=1; fi

# Counts the cases a GoogleTest log reports passed and failed: "P F".
count_cases()
{
    local passed failed
    passed="$(grep -c '^\[       OK \]' "$1" || true)"
    failed="$(grep -c '^\[  FAILED  \] .* ([0-9]* ms)$' "$1" || true)"
    echo "$passed $failed"
}

status=0
# The unit tests run in a folder of their own; each case makes its own
# temporary folders. They find their tools and plug-ins beside themselves.
log "running the unit tests under Wine"
mkdir -p "$work/unit"
unit_negative="$(IFS=:; echo "${unit_excluded[*]}")"
# The output goes to a file: Wine's services, started by the first program,
# keep the standard output they inherit open, so a pipe would never end.
# A sound device for them: ALSA's null PCM behind Wine's waveOut (through a
# home folder of their own holding the ALSA setting), so the output's own
# paths run, a device lost during the show among them; nothing is heard.
mkdir -p "$work/home"
printf 'pcm.!default { type null }\n' >"$work/home/.asoundrc"
(cd "$work/unit" && HOME="$work/home" DISPLAY="$display" wine "$unit_tests" --gtest_filter="$filter-$unit_negative" \
    >"$work/unit.out" 2>&1 </dev/null) || status=$?
tr -d '\r' <"$work/unit.out" | tee "$work/unit.log"
read -r unit_passed unit_failed < <(count_cases "$work/unit.log")

negative="$(IFS=:; echo "${excluded[*]}")"
export KX_WINE_RESTARTS="$work/wine-restarts"
log "running the end-to-end cases under Wine on display $display"
(cd "$work" && "$e2e_build/kx_win_e2e_tests" --gtest_filter="$filter-$negative" \
    --gtest_output="xml:$work/e2e.xml") | tee "$work/e2e.log" || status=$?
read -r e2e_passed e2e_failed < <(count_cases "$work/e2e.log")

window_passed=0
window_failed=0
if [[ "$filter" == "*" || "$filter" == *WineWindow* ]]; then
    log "running the window cases under Wine on display $display"
    if DISPLAY="$display" "$SCRIPT_DIR/e2e/wine_window_test.sh" "$KX_WIN_DIST" "$e2e_build/kx_osc_send" \
        "$ROOT/build-win/bin" |
        tee "$work/window.log"; then :; fi
    window_passed="$(grep -Ec '^(manifest|keys|close|session end|controllers): ' "$work/window.log" || true)"
    window_failed=$((5 - window_passed))
fi

passed=$((unit_passed + e2e_passed + window_passed + smoke_passed))
failed=$((unit_failed + e2e_failed + window_failed + smoke_failed))
log "build $build_seconds s, tests $((SECONDS - start - build_seconds)) s"
echo "Windows suite under Wine: unit tests $unit_passed passed, $unit_failed failed" \
    "(${#unit_excluded[@]} Linux-only patterns left out); end-to-end $e2e_passed passed, $e2e_failed failed" \
    "(${#excluded[@]} Linux-only cases left out); window cases $window_passed passed, $window_failed failed;" \
    "smoke test $smoke_passed passed, $smoke_failed failed"
echo "Windows: $passed passed, $failed failed"
if [[ -s "$KX_WINE_RESTARTS" ]]; then
    echo "Wine ended the player $(wc -l <"$KX_WINE_RESTARTS") time(s) before it ran (status 1, nothing printed);" \
        "each run was started once more:"
    sed 's/^/  /' "$KX_WINE_RESTARTS"
fi
if ((status != 0 || failed != 0 || passed == 0)); then exit 1; fi
