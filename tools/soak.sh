#!/usr/bin/env bash
# A long run of the bundled show as a performer uses it, looking for leaks.
#
#   tools/soak.sh [--seconds N] [--build DIR] [--out DIR]
#
# Plays a copy of data/ in a real window (a private Xvfb when there is no
# display) for N seconds (default 3600). The copy differs from the bundled
# show in two places: vhs="1" on the demo, so the mouse scrubs, and no exit
# at 60 s, so the show keeps running. While it plays:
#   every 10 s  the script is saved with another background colour (a reload);
#   every 30 s  F5 is pressed (a reload);
#   every 60 s  the clock is scrubbed with the mouse: the right button held
#               1.2 s (back by up to 120 s, stopping at 0), then the left
#               0.2 s (forward by up to 20 s); slow frames scrub less.
# Every 10 s, before the save, one row goes into OUT/soak.csv: seconds,
# resident memory (kB), open files, threads, and the textures, display lists
# and shader objects alive in the show's context (the player's --gl-census).
# OUT/soak.png draws them (gnuplot). At the end a table gives the first row,
# the row at one minute, the last row, the largest step between two rows and
# the change from one minute to the end, and the widest departure from the
# one-minute value; the run passes when every column stays within 5 % of its
# one-minute value. OUT defaults to soak-out/ in the current folder.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
seconds=3600
build="$root/build"
out="$PWD/soak-out"
while [ $# -gt 0 ]; do
    case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --build) build="$(cd "$2" && pwd)"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    -h | --help) sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "soak: unknown argument $1" >&2; exit 2 ;;
    esac
done
case "$seconds" in '' | *[!0-9]*) echo "soak: --seconds needs a whole number" >&2; exit 2 ;; esac
player="$build/bin/kestrelux"
[ -x "$player" ] || { echo "soak: no player at $player (build it first)" >&2; exit 2; }
command -v xdotool > /dev/null || { echo "soak: xdotool is missing (apt-get install xdotool)" >&2; exit 2; }
command -v gnuplot > /dev/null || echo "soak: gnuplot is missing, no picture (apt-get install gnuplot-nox)" >&2

mkdir -p "$out"
out="$(cd "$out" && pwd)"
work="$(mktemp -d)"
xvfb_pid=""
player_pid=""
cleanup() {
    [ -n "$player_pid" ] && kill "$player_pid" 2> /dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cp -r "$root/data" "$work/data"
sed -i 's/<demo name="kestrelux"/<demo name="kestrelux" vhs="1"/' "$work/data/script.txt"
sed -i '/<exit\/>/d' "$work/data/events.txt"
grep -q 'vhs="1"' "$work/data/script.txt" || { echo "soak: the bundled show's demo element changed" >&2; exit 1; }

if [ -z "${DISPLAY:-}" ]; then
    exec 7< <(Xvfb -displayfd 1 -screen 0 800x600x24 -nolisten tcp 2> "$out/xvfb.log")
    xvfb_pid=$!
    read -r -t 20 number <&7 || { echo "soak: Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$number"
fi

cd "$work"
SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}" "$player" --gl-census census.txt > player.out 2>&1 &
player_pid=$!
wid=$(timeout 60 xdotool search --sync --name '^kestrelux$' | head -n 1 || true)
[ -n "$wid" ] || { echo "soak: the show's window did not open" >&2; tail player.out log.txt >&2; exit 1; }

# The show's window takes the keys and the mouse.
focus() { xdotool windowfocus --sync "$wid" 2> /dev/null || true; }
census() { awk -v k="$1" '$1 == k { print $2 }' census.txt 2> /dev/null; }
sample() {
    local t="$1" rss threads files
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$player_pid/status")
    threads=$(awk '/^Threads:/ { print $2 }' "/proc/$player_pid/status")
    files=$(ls "/proc/$player_pid/fd" | wc -l)
    echo "$t,$rss,$files,$threads,$(census textures),$(census lists),$(census programs)" >> "$out/soak.csv"
}
save() {
    # Rewrites the script in place, as an editor's save does.
    local colour
    colour=$(printf 'ff%02x%02x%02x' $(($1 * 37 % 256)) $(($1 * 11 % 256)) $(($1 * 5 % 256 + 16)))
    sed "0,/<bg color=\"[0-9a-f]*\"/s//<bg color=\"$colour\"/" data/script.txt > script.new
    cat script.new > data/script.txt
}
scrub() {
    focus
    xdotool mousemove --window "$wid" 100 100
    xdotool mousedown 3; sleep 1.2; xdotool mouseup 3 # back
    sleep 0.5
    xdotool mousedown 1; sleep 0.2; xdotool mouseup 1 # forward
}

echo "seconds,rss_kb,open_files,threads,textures,lists,programs" > "$out/soak.csv"
echo "soak: $seconds s of the bundled show on $DISPLAY, samples in $out/soak.csv"
start=$(date +%s)
for ((s = 1; s <= seconds; s++)); do
    while [ $(($(date +%s) - start)) -lt "$s" ]; do sleep 0.2; done
    kill -0 "$player_pid" 2> /dev/null || { echo "soak: the player ended after $s s" >&2; tail log.txt >&2; exit 1; }
    if ((s % 10 == 0)); then
        sample "$s"
        save "$((s / 10))"
    fi
    if ((s % 30 == 15)); then focus; xdotool key F5; fi
    if ((s % 60 == 45)); then scrub; fi
done
reloads=$(grep -c 'reload: first frame of the new show' log.txt || true)
focus
xdotool key Escape
for _ in $(seq 100); do kill -0 "$player_pid" 2> /dev/null || break; sleep 0.2; done
kill -0 "$player_pid" 2> /dev/null && echo "soak: Escape did not end the player" >&2
cp log.txt "$out/log.txt"

if command -v gnuplot > /dev/null; then
    gnuplot <<PLOT
set terminal pngcairo size 1000,900 font ",10"
set output "$out/soak.png"
set datafile separator ","
set key outside right top
set xlabel "seconds"
set grid
set multiplot layout 3,1 title "kestrelux soak: the bundled show, $seconds s, $reloads reloads"
set ylabel "MB"
plot "$out/soak.csv" every ::1 using 1:(\$2/1024) with linespoints pt 7 ps 0.4 title "resident memory"
set ylabel "count"
plot "$out/soak.csv" every ::1 using 1:3 with linespoints pt 7 ps 0.4 title "open files", \
     "" every ::1 using 1:4 with linespoints pt 7 ps 0.4 title "threads"
plot "$out/soak.csv" every ::1 using 1:5 with linespoints pt 7 ps 0.4 title "textures", \
     "" every ::1 using 1:6 with linespoints pt 7 ps 0.4 title "display lists", \
     "" every ::1 using 1:7 with linespoints pt 7 ps 0.4 title "shader objects"
unset multiplot
PLOT
    echo "soak: picture in $out/soak.png"
fi

echo "soak: $reloads reloads"
# The table: first row, the row at one minute (the baseline), last row,
# the largest step between rows, and the last row against the baseline.
awk -F, '
NR == 1 { n = NF; for (i = 1; i <= n; ++i) name[i] = $i; next }
{
    ++rows
    for (i = 1; i <= n; ++i) {
        v[rows, i] = $i
        if (rows > 1 && ($i - v[rows - 1, i]) ^ 2 > step[i] ^ 2) step[i] = $i - v[rows - 1, i]
    }
    if (!base && $1 >= 60) base = rows
    if (base) for (i = 2; i <= n; ++i) {
        d = v[base, i] ? 100 * ($i - v[base, i]) / v[base, i] : ($i ? 100 : 0)
        if (d ^ 2 > dev[i] ^ 2) dev[i] = d
    }
}
END {
    if (!rows) { print "soak: no samples"; exit 1 }
    if (!base) base = rows
    printf "%-12s %10s %10s %10s %12s %10s %10s\n", "column", "first", "1 min", "last", "largest step", "change", "widest"
    bad = 0
    for (i = 2; i <= n; ++i) {
        b = v[base, i]; l = v[rows, i]
        change = b ? 100 * (l - b) / b : (l ? 100 : 0)
        if (dev[i] > 5 || dev[i] < -5) bad = 1
        printf "%-12s %10s %10s %10s %12s %9.1f%% %9.1f%%\n", name[i], v[1, i], b, l, step[i] + 0, change, dev[i]
    }
    print bad ? "soak: some column moved more than 5 % after the first minute" : "soak: flat within 5 % after the first minute"
    exit bad
}' "$out/soak.csv" | tee "$out/table.txt"
