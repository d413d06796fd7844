#!/usr/bin/env bash
# Reload in a real X window (Xvfb) with the webcam's preview window open:
# after a save rebuilds the show, the next key press (no window focused by
# hand) still reaches the show; F5 rebuilds it too and is not written to
# the key log, where only the performance's keys belong.
set -euo pipefail
player="$1"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p data
show() {
    cat > "$2" <<SCRIPT
<demo name="reloadkeys" width="200" height="150">
  <loadplugin file="irisloom.dll"/>
  <add type="webcam" name="cam"/><cam device="testpattern"/>
  <draworder effect="cam"/>
  <event key="A"><mark$1/></event>
  <create/><load/><run/>
</demo>
SCRIPT
}
show KeyA data/script.txt
show KeyAfterSave next.txt

cat > drive.sh <<'DRIVE'
set -u
player="$1"
KESTRELUX_TEST_DEADLINE=60 ASAN_OPTIONS=detect_leaks=0 SDL_AUDIODRIVER=dummy "$player" > player.out 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null' EXIT
wid=$(timeout 20 xdotool search --sync --name '^reloadkeys$' | head -n 1)
[ -n "$wid" ] || { echo "no window"; exit 1; }
timeout 20 xdotool search --sync --name '^webcam$' > /dev/null || { echo "no webcam window"; exit 1; }
xdotool windowfocus --sync "$wid" || true
sleep 1
waitlog() { for _ in $(seq 100); do [ "$(grep -c "$1" log.txt || true)" -ge "$2" ] && return 0; sleep 0.1; done; return 1; }
# A save rebuilds the show, and its new webcam effect opens a new preview.
cat next.txt > data/script.txt
waitlog 'reload: first frame of the new show' 1 || { echo "no reload after the save"; exit 1; }
sleep 0.5
xdotool key a
waitlog '\[markKeyAfterSave\]' 1 || echo "the key after the save did not reach the show"
# F5 rebuilds it again (pressed on the show's window whatever happened above).
xdotool windowfocus --sync "$wid" || true
xdotool key F5
waitlog 'reload: first frame of the new show' 2 || echo "F5 did not rebuild the show"
sleep 0.5
xdotool key a
waitlog '\[markKeyAfterSave\]' 2 || echo "the key after F5 did not reach the show"
xdotool key Escape
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.2; done
DRIVE

xvfb-run -a -s "-screen 0 640x480x24" bash drive.sh "$player" | tee drive.out

fail() { echo "FAIL: $*"; echo "--- keylog.txt"; cat keylog.txt 2>/dev/null; echo "--- log.txt"; tail -30 log.txt; exit 1; }
[ -s drive.out ] && fail "$(tr '\n' ';' < drive.out)"
[ "$(grep -c 'first frame of the new show' log.txt)" -eq 2 ] || fail "expected two rebuilds"
# The key log: the two presses of A and Escape; no F5 (virtual key 0x74, "t").
records=$(grep -c '<event time=' keylog.txt || true)
grep -q 'trigger="t"' keylog.txt && fail "F5 was written to the key log"
[ "$records" -eq 3 ] || fail "expected 3 key log records, got $records"
echo "keys reached the show after a save and after F5; F5 stayed out of the key log"
