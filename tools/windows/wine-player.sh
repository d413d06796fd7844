#!/usr/bin/env bash
# Runs the cross-built kestrelux.exe under Wine in the current folder, as if
# it were the Linux program: the end-to-end tests (tests/*_run_test.cpp and
# friends, built natively by tools/windows/e2e/) start this script in its
# place. The Windows console writes "\r\n"; the "\r" is dropped from standard
# output and standard error so the tests read the same text as on Linux
# (log.txt is left as it stands). The exit code is the program's.
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

# Standard error goes through its own filter; both filters are waited for
# before the exit code is returned.
wine "$dist/kestrelux.exe" "$@" 2> >(tr -d '\r' >&2) | tr -d '\r'
status=${PIPESTATUS[0]}
wait
exit "$status"
