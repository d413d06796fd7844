#!/usr/bin/env bash
# Runs the cross-built kestrelux.exe under Wine in the current folder, as if
# it were the Linux program: the end-to-end tests (tests/*_run_test.cpp and
# friends, built natively by tools/windows/e2e/) start this script in its
# place. The Windows console writes "\r\n"; the "\r" is dropped from standard
# output and standard error so the tests read the same text as on Linux
# (log.txt is left as it stands). The exit code is the program's; a stop
# signal to this script ends the program too.
#
# Environment (set by tools/windows/test.sh):
#   KX_WIN_DIST     the folder holding kestrelux.exe and its DLLs
#                   (default: dist/kestrelux-win64 in the source tree)
#   KX_WINE_DISPLAY the X display Wine draws on (an Xvfb)
#   WINEPREFIX      the Wine prefix
set -uo pipefail

SCRIPT_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
dist="${KX_WIN_DIST:-$SCRIPT_DIR/../../dist/kestrelux-win64}"
[[ -f "$dist/kestrelux.exe" ]] || { echo "wine-player: no $dist/kestrelux.exe" >&2; exit 125; }

# The tests ask for a headless Linux player (no display, SDL's dummy
# drivers); the Windows program runs in Wine's own X window instead.
unset SDL_VIDEODRIVER SDL_AUDIODRIVER ASAN_OPTIONS
export DISPLAY="${KX_WINE_DISPLAY:-${DISPLAY:-}}"
export WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="

# The output is collected in files and passed on once the program has ended,
# so nothing arrives after this script's exit. One file when the caller
# reads both streams from the same place, keeping their order.
work="$(mktemp -d "${TMPDIR:-/tmp}/kx-wine-player.XXXXXX")"
pid=
stopped=0
stop() { stopped=1; [[ -n "$pid" ]] && kill "$pid" 2>/dev/null; }
trap stop TERM INT HUP
trap 'rm -rf "$work"' EXIT

# Starts the program and waits for it; sets status.
run_program()
{
    rm -f "$work/out" "$work/err"
    if [[ "$(readlink /proc/$$/fd/1)" == "$(readlink /proc/$$/fd/2)" ]]; then
        wine "$dist/kestrelux.exe" "$@" >"$work/out" 2>&1 </dev/null &
    else
        wine "$dist/kestrelux.exe" "$@" >"$work/out" 2>"$work/err" </dev/null &
    fi
    pid=$!
    # wait returns early when a trapped signal arrives; wait again for the end.
    while :; do
        wait "$pid"
        status=$?
        kill -0 "$pid" 2>/dev/null || break
    done
}

# Now and then Wine ends a program it is starting with status 1 before the
# program has run a line of its own (seen on a busy machine, as the Wine
# server winds down the services of the previous program). The player
# always prints something before it can end, so status 1 with nothing
# printed is Wine's: the program is started once more, and the restart is
# noted in KX_WINE_RESTARTS (a file) for the suite's summary.
status=0
for attempt in 1 2; do
    run_program "$@"
    if ((attempt == 1 && status == 1 && !stopped)) && [[ ! -s "$work/out" && ! -s "$work/err" ]]; then
        [[ -n "${KX_WINE_RESTARTS:-}" ]] && echo "$(date -u +%T) kestrelux.exe $*" >>"$KX_WINE_RESTARTS"
        sleep 1
        continue
    fi
    break
done
tr -d '\r' <"$work/out"
[[ -f "$work/err" ]] && tr -d '\r' <"$work/err" >&2
exit "$status"
