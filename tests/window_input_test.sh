#!/usr/bin/env bash
# The player in a real X window (Xvfb), driven by real key presses and mouse
# buttons through xdotool: a key event fires and the key log grows, holding
# the right button with vhs on runs the show clock backwards, Escape closes.
set -euo pipefail
player="$1"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p data
cat > data/script.txt <<'SCRIPT'
<demo name="keytest" vhs="1" width="200" height="150">
  <event key="A"><markKeyA/></event>
  <create/><load/><run/>
</demo>
SCRIPT

cat > drive.sh <<'DRIVE'
set -u
player="$1"
KESTRELUX_TEST_DEADLINE=60 ASAN_OPTIONS=detect_leaks=0 SDL_AUDIODRIVER=dummy "$player" > player.out 2>&1 &
pid=$!
wid=$(timeout 20 xdotool search --sync --name '^keytest$' | head -n 1)
[ -n "$wid" ] || { echo "no window"; kill $pid; exit 1; }
xdotool windowfocus --sync "$wid" || true
sleep 2
xdotool key a
sleep 0.3
# Hold the right button: the clock runs back at 100 times real time.
xdotool mousemove --window "$wid" 50 50 mousedown 3
sleep 0.4
xdotool mouseup 3
sleep 0.3
xdotool key a
sleep 0.3
xdotool key Escape
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.2; done
if kill -0 $pid 2>/dev/null; then echo "Escape did not close the player"; kill $pid; exit 1; fi
wait $pid
DRIVE

xvfb-run -a -s "-screen 0 640x480x24" bash drive.sh "$player"

fail() { echo "FAIL: $*"; echo "--- keylog.txt"; cat keylog.txt 2>/dev/null; echo "--- log.txt"; tail -20 log.txt; exit 1; }

[ -f keylog.txt ] || fail "no key log"
# Two presses of A, then Escape: every press is recorded.
records=$(grep -c '<event time=' keylog.txt || true)
[ "$records" -eq 3 ] || fail "expected 3 key log records, got $records"
[ "$(grep -c 'trigger="A">' keylog.txt)" -eq 2 ] || fail "expected 2 records of A"
grep -q "trigger=\"$(printf '\033')\">" keylog.txt || fail "no record of Escape"
first=$(sed -n 's/.*time="\([0-9.]*\)".*/\1/p' keylog.txt | sed -n 1p)
second=$(sed -n 's/.*time="\([0-9.]*\)".*/\1/p' keylog.txt | sed -n 2p)
grep -q 'bank="0" trigger="A">' keylog.txt || fail "record format"
awk -v a="$first" 'BEGIN { exit !(a >= 1.0) }' || fail "first press at $first, expected after 1 s"
awk -v a="$first" -v b="$second" 'BEGIN { exit !(b < a) }' || fail "clock did not run back: $first then $second"
fired=$(grep -c '\[markKeyA\]' log.txt || true)
[ "$fired" -eq 2 ] || fail "key event fired $fired times, expected 2"
echo "key presses at $first s and $second s; key event fired $fired times"
