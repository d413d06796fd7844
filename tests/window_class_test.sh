#!/usr/bin/env bash
# The player's windows in a real X server (Xvfb): every window carries its own
# class name "quandor_<title>_<date>_<time>" in WM_CLASS, the webcam's small
# window too, and the webcam window shows the camera's picture (the test
# pattern), not whatever the screen held before.
set -euo pipefail
player="$1"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p data
cat > data/script.txt <<'SCRIPT'
<demo name="classone" width="160" height="120"><create/><load/><run/></demo>
<demo name="classtwo" width="160" height="120">
  <loadplugin file="irisloom.dll"/>
  <add type="webcam" name="cam"/><cam device="testpattern"/>
  <draworder effect="cam"/>
  <create/><load/><run/>
</demo>
SCRIPT

cat > drive.sh <<'DRIVE'
set -u
player="$1"
KESTRELUX_TEST_DEADLINE=60 ASAN_OPTIONS=detect_leaks=0 SDL_AUDIODRIVER=dummy "$player" > player.out 2>&1 &
pid=$!
window() { timeout 20 xdotool search --sync --name "^$1\$" | head -n 1; }
class() { xprop -id "$1" WM_CLASS >> classes.txt; xwininfo -id "$1" | grep -i 'xwininfo: Window id' >> classes.txt; }
close() { xdotool windowfocus --sync "$1" || true; xdotool key Escape; }
rgb() { convert webcam.png -format "%[fx:int(255*p{$1,$2}.r+0.5)],%[fx:int(255*p{$1,$2}.g+0.5)],%[fx:int(255*p{$1,$2}.b+0.5)]" info:; }

one=$(window classone)
[ -n "$one" ] || { echo "no window classone"; kill $pid; exit 1; }
class "$one"
close "$one"

two=$(window classtwo)
cam=$(window webcam)
[ -n "$two" ] && [ -n "$cam" ] || { echo "no window classtwo or webcam"; kill $pid; exit 1; }
class "$two"
class "$cam"
# The preview follows the frames the show grabs; wait (at most 20 s) until
# the pattern's bars are there.
for _ in $(seq 100); do
    import -window "$cam" webcam.png 2>/dev/null || true
    if [ -f webcam.png ] && [ "$(rgb 20 40) $(rgb 300 40)" = "255,255,255 0,0,0" ]; then break; fi
    sleep 0.2
done
close "$two"
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.2; done
if kill -0 $pid 2>/dev/null; then echo "Escape did not close the player"; kill $pid; exit 1; fi
wait $pid
DRIVE

xvfb-run -a -n 117 -s "-screen 0 640x480x24" bash drive.sh "$player"

fail() { echo "FAIL: $*"; echo "--- classes.txt"; cat classes.txt 2>/dev/null; echo "--- player.out"; tail -20 player.out; exit 1; }

cat classes.txt
for title in classone classtwo webcam; do
    grep -Eq "^WM_CLASS\(STRING\) = \"quandor_${title}_[0-9]+_[0-9]+\", \"quandor_${title}_[0-9]+_[0-9]+\"\$" classes.txt ||
        fail "window $title has no class quandor_${title}_<date>_<time>"
done
# Two windows of one build share the numbers.
numbers=$(sed -n 's/^WM_CLASS(STRING) = "quandor_[a-z]*_\([0-9]*_[0-9]*\)".*/\1/p' classes.txt | sort -u | wc -l)
[ "$numbers" -eq 1 ] || fail "the class names differ in their build numbers"

# The webcam window, 320 x 240, shows the eight bars over the top two thirds
# and the blue strip below, upright.
[ -f webcam.png ] || fail "no screenshot of the webcam window"
[ "$(convert webcam.png -format '%w %h' info:)" = "320 240" ] || fail "the webcam window is not 320 x 240"
rgb() { convert webcam.png -format "%[fx:int(255*p{$1,$2}.r+0.5)],%[fx:int(255*p{$1,$2}.g+0.5)],%[fx:int(255*p{$1,$2}.b+0.5)]" info:; }
bars=(255,255,255 255,255,0 0,255,255 0,255,0 255,0,255 255,0,0 0,0,255 0,0,0)
for i in "${!bars[@]}"; do
    x=$((40 * i + 20))
    got=$(rgb $x 60)
    [ "$got" = "${bars[$i]}" ] || fail "webcam window at ($x, 60) is $got, expected ${bars[$i]}"
done
got=$(rgb 300 232)
[ "$got" = "0,0,255" ] || fail "webcam window at (300, 232) is $got, expected the blue strip"
echo "every window has its own class; the webcam window shows the test pattern"
