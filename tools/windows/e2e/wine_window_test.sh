#!/usr/bin/env bash
# The Windows player under Wine in a real X window, as a person meets it:
#  0. its application manifest declares per-monitor DPI awareness (sizes in
#     physical pixels on a scaled desktop) and the UTF-8 code page;
#  1. real key presses (X key events from xdotool, through Wine's keyboard
#     driver, not messages sent to the window): a key event fires, every
#     press reaches the key log, and Escape ends the player;
#  1b. Alt+F4, the system's close of the window (the close box's own
#     message, which needs no window manager): the effects unload while
#     their GL context is still current, the webcam's driver dialogs come
#     in their order around the capture parameters (the test-pattern
#     driver's), and the log says the window was closed;
#  2. the session's end (wineboot --end-session, which sends the session
#     console events and messages to every program and then ends them, as
#     Windows does) during a capture: the sound track is complete and fits
#     the frames written;
#  3. controllers: OSC messages from this machine over 127.0.0.1 (--osc)
#     press keys as the keyboard does, key events, key log and Escape
#     included; a show with a <midi> mapping says in one log line that there
#     is no MIDI input port (Wine has none here).
# Runs in a Wine prefix of its own (a copy of the suite's), so ending its
# session touches no other Wine program. Prints one line per part; exits
# non-zero on the first failure.
#
# Usage: wine_window_test.sh DIST OSC_SEND PLUGINS
#   DIST      the folder holding kestrelux.exe (dist/kestrelux-win64)
#   OSC_SEND  the native OSC sender (kx_osc_send, tools/windows/e2e/)
#   PLUGINS   the folder of the cross-built test plug-ins (build-win/bin)
# Environment: WINEPREFIX (the suite's prefix, copied), DISPLAY (an X server
#   of the caller's, an Xvfb).
set -euo pipefail
dist="$(cd "$1" && pwd)"
[[ -f "$dist/kestrelux.exe" ]] || { echo "wine_window_test: no $dist/kestrelux.exe" >&2; exit 2; }
osc_send="${2:-}"
[[ -x "$osc_send" ]] || { echo "wine_window_test: no OSC sender ('$osc_send')" >&2; exit 2; }
osc_send="$(cd "$(dirname "$osc_send")" && pwd)/$(basename "$osc_send")"
plugins="${3:-}"
[[ -f "$plugins/kxtest_context.dll" ]] || { echo "wine_window_test: no kxtest_context.dll in '$plugins'" >&2; exit 2; }
plugins="$(cd "$plugins" && pwd)"
for tool in wine wineserver wineboot xdotool x86_64-w64-mingw32-objcopy; do
    command -v "$tool" >/dev/null || { echo "wine_window_test: $tool is missing" >&2; exit 2; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/kx-wine-window.XXXXXX")"
pid=
cleanup()
{
    [[ -n "$pid" ]] && kill "$pid" 2>/dev/null
    WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
cp -a "${WINEPREFIX:?}" "$work/prefix"
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

fail()
{
    echo "FAIL: $*"
    for f in keylog.txt log.txt player.out; do
        [[ -f "$f" ]] && { echo "--- $f"; tr -d '\r' <"$f" | tail -n 15; }
    done
    exit 1
}

# Waits up to $1 tenths of a second for the player to end.
wait_for_end()
{
    for _ in $(seq "$1"); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
    return 1
}

# Starts the player on the show in this folder and waits for its window
# named $1, which gets the X input focus (the keyboard goes there): $wid.
start_in_window()
{
    wine "$dist/kestrelux.exe" >player.out 2>&1 </dev/null &
    pid=$!
    wid="$(timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1)" || true
    [[ -n "$wid" ]] || fail "no window named $1"
    xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
}

# 0. The manifest, resource 1 of type 24 in the program's resources.
x86_64-w64-mingw32-objcopy -O binary --only-section=.rsrc "$dist/kestrelux.exe" "$work/rsrc.bin"
for setting in '<dpiAwareness[^>]*>PerMonitorV2, PerMonitor<' '<dpiAware[^>]*>true/pm<' '<activeCodePage[^>]*>UTF-8<'; do
    grep -aq "$setting" "$work/rsrc.bin" || fail "the manifest has no $setting"
done
echo "manifest: per-monitor DPI awareness and the UTF-8 code page"

# 1. Real key presses.
mkdir -p "$work/keys/data" && cd "$work/keys"
cat >data/script.txt <<'SCRIPT'
<demo name="winkeys" width="200" height="150">
  <event key="A"><markKeyA/></event>
  <create/><load/><run/>
</demo>
SCRIPT
start_in_window winkeys
xdotool mousemove --window "$wid" 100 75
sleep 1
xdotool key --window 0 a
sleep 0.5
xdotool key --window 0 a
sleep 0.5
xdotool key --window 0 Escape
wait_for_end 150 || fail "Escape did not end the player"
wait "$pid" || true
pid=
[[ -f keylog.txt ]] || fail "no key log"
[[ "$(grep -c 'trigger="A">' keylog.txt || true)" -eq 2 ]] || fail "expected 2 key log records of A"
grep -q "trigger=\"$(printf '\033')\">" keylog.txt || fail "no key log record of Escape"
fired="$(grep -c '\[markKeyA\]' log.txt || true)"
[[ "$fired" -eq 2 ]] || fail "the key event fired $fired times, expected 2"
echo "keys: two presses of A fired their event and Escape ended the player"

# 1b. Alt+F4 closes the window.
mkdir -p "$work/close/data" && cd "$work/close"
cp "$plugins/kxtest_context.dll" .
cat >data/script.txt <<'SCRIPT'
<demo name="winclose" width="200" height="150">
  <loadplugin file="kxtest_context"/>
  <loadplugin file="irisloom.dll"/>
  <add type="context" name="probe"/>
  <add type="webcam" name="cam"/>
  <cam device="testpattern:dialogs"/>
  <draworder effect="cam"/>
  <create/><load/><run/>
</demo>
SCRIPT
start_in_window winclose
sleep 1
xdotool key --window 0 alt+F4
wait_for_end 150 || fail "Alt+F4 did not end the player"
wait "$pid" || true
pid=
out="$(tr -d '\r' <player.out)"
grep -q 'probe: context at unload: current' <<<"$out" || fail "the probe effect did not unload with its context current"
! grep -q 'probe: context at unload: none' <<<"$out" || fail "an effect unloaded without a GL context"
order="$(grep -Eo 'testpattern: (source dialog|format dialog|capture parameters|display dialog)' <<<"$out" | tr '\n' ',')"
[[ "$order" == "testpattern: source dialog,testpattern: format dialog,testpattern: capture parameters,testpattern: display dialog," ]] ||
    fail "the driver's dialogs came as: $order"
tr -d '\r' <log.txt | grep -q 'Show ended: the window was closed\.' || fail "the log does not say the window was closed"
echo "close: Alt+F4 ended the show, its effects unloaded with their context current, the dialogs came in order"

# 2. The session ends during a capture.
mkdir -p "$work/session/data" && cd "$work/session"
cat >data/script.txt <<'SCRIPT'
<demo name="winsession" width="64" height="48">
  <create/><load/><run/>
</demo>
SCRIPT
wine "$dist/kestrelux.exe" --capture cap --fps 10 --seconds 3600 >player.out 2>&1 </dev/null &
pid=$!
for _ in $(seq 300); do [[ -f cap/frame_000020.png ]] && break; sleep 0.1; done
[[ -f cap/frame_000020.png ]] || fail "the capture did not start"
wineboot --end-session >/dev/null 2>&1 || true
wait_for_end 300 || fail "the session's end did not end the player"
wait "$pid" || true
pid=
# A console program hears of it twice, from its console and from its
# windows; Wine may end it before it writes its last log line, so the log
# is only reported. The sound track must be complete either way.
how="$(tr -d '\r' <log.txt | grep -Eo "Session ending|Stopped by (log-off|shut-down)" | head -n 1 || true)"
frames="$(find cap -name 'frame_*.png' | wc -l)"
# 44 header bytes, then 4410 sample pairs of 4 bytes for every frame at 10 fps.
size="$(stat -c %s cap/audio.wav)"
declared="$(od -An -tu4 -j40 -N4 cap/audio.wav | tr -d ' ')"
[[ "$declared" -eq $((size - 44)) ]] || fail "audio.wav declares $declared data bytes but holds $((size - 44))"
[[ "$declared" -eq $((frames * 4410 * 4)) ]] ||
    fail "audio.wav holds $declared bytes for $frames frames (expected $((frames * 4410 * 4)))"
echo "session end: stopped after $frames frames with a complete audio.wav of $declared bytes (log: ${how:-no last line})"

# 3. Controllers.
mkdir -p "$work/controllers/data" && cd "$work/controllers"
cat >data/script.txt <<'SCRIPT'
<demo name="wincontrollers" width="200" height="150">
  <midi note="36" key="A"/>
  <event key="A"><markKeyA/></event>
  <create/><load/><run/>
</demo>
SCRIPT
port="$("$osc_send" --free-port)" || fail "no free UDP port"
wine "$dist/kestrelux.exe" --osc "$port" >player.out 2>&1 </dev/null &
pid=$!
wid="$(timeout 60 xdotool search --sync --onlyvisible --name '^wincontrollers$' | head -n 1)" || true
[[ -n "$wid" ]] || fail "no window named wincontrollers"
for _ in $(seq 300); do grep -q "OSC: listening on 127.0.0.1:$port " log.txt 2>/dev/null && break; sleep 0.1; done
grep -q "OSC: listening on 127.0.0.1:$port " log.txt || fail "the player does not say it listens on 127.0.0.1:$port"
"$osc_send" "$port" /kestrelux/key s:A
sleep 0.5
"$osc_send" "$port" /kestrelux/key s:A
sleep 0.5
# Escape by its virtual-key code.
"$osc_send" "$port" /kestrelux/key i:27
wait_for_end 150 || fail "Escape from OSC did not end the player"
wait "$pid" || true
pid=
[[ "$(grep -c 'trigger="A">' keylog.txt || true)" -eq 2 ]] || fail "expected 2 key log records of A"
grep -q "trigger=\"$(printf '\033')\">" keylog.txt || fail "no key log record of Escape"
fired="$(grep -c '\[markKeyA\]' log.txt || true)"
[[ "$fired" -eq 2 ]] || fail "the key event fired $fired times, expected 2"
grep -q "OSC: stopped listening (3 packets read)" log.txt || fail "the player did not read the 3 OSC packets"
[[ "$(grep -c 'MIDI: ' log.txt || true)" -eq 1 ]] &&
    grep -q 'MIDI: no input port to open (WinMM: no MIDI input device)' log.txt ||
    fail "expected one MIDI line: no WinMM input device"
! grep -q 'MidiInWinMM' player.out || fail "RtMidi wrote on the console"
echo "controllers: two OSC presses of A fired their event, OSC's Escape ended the player, no MIDI port is one log line"
