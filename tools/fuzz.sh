#!/usr/bin/env bash
# Builds every libFuzzer target (fuzz/<name>_fuzz.cpp -> kx_fuzz_<name>) with
# clang in build-fuzz and runs each for SECONDS seconds. Exits non-zero when
# a fuzzer finds a crash, a leak, a timeout or runs out of memory.
#
#   tools/fuzz.sh SECONDS
#
# Each fuzzer runs in a fresh temporary working folder, so the data files it
# opens (include tags read data/<name>) are only those its setup writes
# there. The corpus of a target lives in build-fuzz/corpus/<name> and grows
# from run to run; crash inputs are kept in build-fuzz/artifacts/<name>/.
#
# A target may have a setup function below, setup_<name> CORPUS WORKDIR,
# that writes its seed inputs and data files, and a dictionary: the setup
# sets DICT, or fuzz/<name>.dict is used when it exists.
set -euo pipefail

if [[ $# -ne 1 || ! $1 =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 SECONDS" >&2
    exit 2
fi
seconds=$1

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz

if ! command -v clang++ >/dev/null; then
    echo "fuzz.sh: clang++ is needed" >&2
    exit 2
fi

# ---- per-target setup ------------------------------------------------------

setup_script_reader() {
    local corpus=$1 work=$2
    DICT=$root/fuzz/script.dict

    mkdir -p "$work/data"
    printf '<event time="2.0" bank="2" key="b"><clear color="ff000000" depth="1"/></event>\n' \
        >"$work/data/inc.xml"
    # Includes itself: the reader has to stop at its nesting limit.
    printf '<event time="3"/><include file="self.xml"></include>\n' >"$work/data/self.xml"
    printf '<camera name="c"><key time="0" pos="1,2,3"/></cam>\n' >"$work/data/bad.xml"

    printf '<demo name="show" width="640" height="480">\n<event time="12.50" bank="1" key="a">\n<flash1 color="ff102030" mode="1" speed="2.0"/>\n</event>\n</demo>\n' \
        >"$corpus/seed-demo.xml"
    printf '<demo><event time="0"><camera name="cam1" fov="60"><key time="0" pos="1,2,3" target="0,0,0"/><key time="500" pos="1.5,2,-3" rot="1,2,3,4"/></camera></event></Demo>\n' \
        >"$corpus/seed-camera.xml"
    printf '<demo>\n\t<include file="inc.xml" file="self.xml"></include>\n\t<event time="1"></event>\n</demo>\n' \
        >"$corpus/seed-include.xml"
    printf '<demo><event time="4"><include file="bad.xml"></include></event></demo>\n' \
        >"$corpus/seed-include-bad.xml"
    printf '<a b="x/y" c="2"><b flag x="1" x="2" speed2="3"/><key2 pos="1,2"/></a> trailing text </foo> <ignored>\n' \
        >"$corpus/seed-params.xml"
}

setup_midi_file() {
    local corpus=$1
    # Format 0: tempo, a note with running status, a controller, sysex, end.
    printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\37\0\377\121\3\7\241\040\0\220\074\100\140\074\0\0\260\7\100\0\360\2\1\367\201\0\300\5\0\377\057\0' \
        >"$corpus/seed-format0.mid"
    # Format 1: the tempo map in track 1, notes in track 2, an unknown chunk between.
    printf 'MThd\0\0\0\6\0\1\0\2\1\340MTrk\0\0\0\17\0\377\121\3\11\047\300\203\140\377\121\3\7\241\040XYZW\0\0\0\2\1\2MTrk\0\0\0\15\0\221\100\177\207\100\201\100\0\0\377\057\0' \
        >"$corpus/seed-format1.mid"
    # SMPTE timing: 25 frames of 40 ticks.
    printf 'MThd\0\0\0\6\0\0\0\1\347\050MTrk\0\0\0\10\50\220\074\100\0\377\057\0' >"$corpus/seed-smpte.mid"
}

setup_osc_packet() {
    local corpus=$1
    # A message of each address, a bundle holding two, a nested bundle.
    printf '/kestrelux/key\0\0,s\0\0A\0\0\0' >"$corpus/seed-key"
    printf '/kestrelux/bank\0,i\0\0\0\0\0\3' >"$corpus/seed-bank"
    printf '/kestrelux/set\0\0,ssf\0\0\0\0bg\0\0color\0\0\0\77\0\0\0' >"$corpus/seed-set"
    printf '#bundle\0\0\0\0\0\0\0\0\1\0\0\0\30/kestrelux/key\0\0,i\0\0\0\0\0\33\0\0\0\24/kestrelux/bank\0,i\0\0\0\0\0\2' \
        >"$corpus/seed-bundle"
    printf '#bundle\0\0\0\0\0\0\0\0\1\0\0\0\30#bundle\0\0\0\0\0\0\0\0\1\0\0\0\4/x\0\0' >"$corpus/seed-nested"
}

# ---- build -----------------------------------------------------------------

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
    -DKX_FUZZ=ON -DKX_TESTS=OFF -DKX_BENCH=OFF >"$build/configure.log" 2>&1 || {
    cat "$build/configure.log" >&2
    exit 1
}
cmake --build "$build" -j2 --target kx_fuzz_all

# ---- run -------------------------------------------------------------------

: "${ASAN_OPTIONS:=detect_leaks=1}"
export ASAN_OPTIONS

failed=()
shopt -s nullglob
for source in "$root"/fuzz/*_fuzz.cpp; do
    name=$(basename "$source" _fuzz.cpp)
    binary=$build/bin/kx_fuzz_$name
    corpus=$build/corpus/$name
    artifacts=$build/artifacts/$name
    log=$build/logs/$name.log
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
    work=$(mktemp -d "${TMPDIR:-/tmp}/kx-fuzz-$name.XXXXXX")

    DICT=$root/fuzz/$name.dict
    if declare -F "setup_$name" >/dev/null; then
        "setup_$name" "$corpus" "$work"
    fi
    options=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -max_len=8192
             -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$artifacts/")
    [[ -f $DICT ]] && options+=(-dict="$DICT")

    echo "fuzz: kx_fuzz_$name for ${seconds}s (log: $log)"
    rc=0
    (cd "$work" && "$binary" "${options[@]}" "$corpus") >"$log" 2>&1 || rc=$?
    rm -rf "$work"

    if [[ $rc -ne 0 ]]; then
        echo "fuzz: kx_fuzz_$name FAILED (exit $rc); inputs in $artifacts" >&2
        tail -n 40 "$log" >&2
        failed+=("$name")
    else
        grep -E '^Done [0-9]+ runs' "$log" || true
        grep -E '^stat::(number_of_executed_units|peak_rss_mb|new_units_added)' "$log" || true
    fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
    echo "fuzz: failures in: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: all targets clean"
