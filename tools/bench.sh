#!/usr/bin/env bash
# Builds the Windows programs and prints the benchmark figures, measured under Wine on a
# private X display: every figure for the 64-bit program, then for the 32-bit one those in
# which a 32-bit build can differ (its size, its start-up against a bare window built for the
# same architecture, the scroll rate under a wire-speed MIDI flood and the answer latency seen
# on screen, both through the stand-in winmm.dll); for both, those two again down Wine's own
# MIDI road. Not part of the test run: figures, not pass or fail.
#   tools/bench.sh                 every figure
#   tools/bench.sh --first-start   a new player's first start against a warm one alone
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

arches=(x86_64 i686)
[ "${1:-}" != --first-start ] || arches=(x86_64)
packages=("${BENCH_PACKAGES[@]}")
if [ ${#arches[@]} = 2 ]; then can_run_wine32 && packages+=("$WINE32_PACKAGE"); fi
ensure_packages "${packages[@]}"
for arch in "${arches[@]}"; do
    build_windows "$arch"
    if [ ! -f "$BUILD_ROOT/$arch/bench/tunegrin_bench.exe" ]; then
        echo "no bench programs in $BUILD_ROOT/$arch: configure it with -DTUNEGRIN_BENCH=ON" >&2
        exit 1
    fi
done

XVFB_PID=""
cleanup() { stop_wine; stop_xvfb; }
trap cleanup EXIT

test_prefix "$BUILD_ROOT/wineprefix-bench"
start_xvfb 800x600x24
start_wine

# Wine's drive Z: is the Unix root.
windows_path() { local path=$1; echo "Z:${path//\//\\}"; }
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
# Wine's sound driver complains on stderr in every process when the machine has no sound
# card; those lines say nothing about the game.
bench() {
    local build=$BUILD_ROOT/$1; shift
    "$WINE" "$build/bench/tunegrin_bench.exe" "$@" "$(windows_path "$build/tunegrin.exe")" \
        "${cpu:-unknown CPU}" "$XVFB_PID" 2> >(grep -v '^ALSA lib' >&2)
}
# The flood and the answer latency again down Wine's own winmm and winealsa, over the alsa tests' stand-in
# libasound, preloaded for this run alone: only the game's process sees its sequencer.
alsa_flood() {
    local build=$BUILD_ROOT/$1
    echo
    LD_PRELOAD="$build/tests/alsa/preload/\$LIB/libtunegrin_fake_seq.so" \
    TUNEGRIN_VIRTUAL_SEQ=$build/bench/virtual_seq.block TUNEGRIN_VIRTUAL_SEQ_PROCESS=tunegrin.exe \
        "$WINE" "$build/bench/tunegrin_bench.exe" --alsa-flood 2> >(grep -v '^ALSA lib' >&2)
}
if [ ${#arches[@]} = 2 ]; then
    bench x86_64
    alsa_flood x86_64
    echo
    bench i686 --start-up-and-flood
    alsa_flood i686
fi

# A new player's first start against a warm one, both through the packaged launcher (the
# installed package's when there is one, else the same script with the build's template) on
# this display: from the command until the game's window is on the screen (X's own window
# list, so that no Wine process of ours joins in). Each round a new home: its first start,
# then a warm one (its prefix there, no Wine server running).
echo
stop_wine
player=()
if [ -x /usr/games/tunegrin ] && prefix_is_current "$MACHINE_TEMPLATE"; then
    launcher=(/usr/games/tunegrin) source_note="the installed package"
    # A player's start: root's own is another, a whole prefix of its own.
    if [ "$(id -u)" = 0 ]; then
        player=(setpriv --reuid=65534 --regid=65534 --clear-groups) source_note+=", as nobody"
    fi
else
    ensure_template "$BUILD_TEMPLATE"
    launcher=(bash "$TOP/tools/tunegrin-wine.sh" "$BUILD_ROOT/x86_64/tunegrin.exe")
    source_note="tools/tunegrin-wine.sh, the build's template"
    [ "$(id -u)" != 0 ] || source_note+=", as root: a whole prefix"
fi
start_ms() {           # HOME: milliseconds until the window shows, or nothing; then the game is ended
    local home=$1 began shown=""
    began=$(date +%s%N)
    "${player[@]}" env -u XDG_DATA_HOME -u WINEPREFIX HOME="$home" "${launcher[@]}" >/dev/null 2>&1 &
    local pid=$!
    for _ in $(seq 1 6000); do
        if grep -q '"TuneGrin": ("tunegrin.exe"' <<<"$(xwininfo -root -tree 2>/dev/null || true)"; then
            shown=$(date +%s%N)
            break
        fi
        sleep 0.01
    done
    "${player[@]}" env WINEPREFIX="$home/.local/share/tunegrin/wine" wineserver -k 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    "${player[@]}" env WINEPREFIX="$home/.local/share/tunegrin/wine" wineserver -w 2>/dev/null || true
    [ -z "$shown" ] || echo $(((shown - began) / 1000000))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
firsts=() warms=()
for _ in 1 2 3 4 5; do
    home=$(mktemp -d)
    [ ${#player[@]} = 0 ] || chown 65534:65534 "$home"
    firsts+=("$(start_ms "$home")")
    size=$(du -sm "$home/.local/share/tunegrin/wine" | cut -f1)
    entries=$(find "$home/.local/share/tunegrin/wine" | wc -l)
    warms+=("$(start_ms "$home")")
    rm -rf "$home"
done
# A start whose window X never listed within a minute is counted, not timed.
missed=$(printf '%s\n' "${firsts[@]}" "${warms[@]}" | grep -c '^$' || true)
first=$(printf '%s\n' "${firsts[@]}" | grep . | median)
warm=$(printf '%s\n' "${warms[@]}" | grep . | median)
echo "first start of a new player: the launcher's command -> game window on screen, median of 5"
rounds() { local v out=""; for v in "$@"; do out+="${v:-none} "; done; echo "${out% }"; }
echo "  (each round: first $(rounds "${firsts[@]}") ms, warm $(rounds "${warms[@]}") ms)"
echo "  ($source_note)"
[ "$missed" = 0 ] || echo "  PROBLEM: $missed of 10 starts showed no window on the screen within a minute"
printf '  %-56s %10.3f ms    (target none)\n' "first start (the prefix copied from the template)" "$first"
printf '  %-56s %10.3f ms    (target none)\n' "warm start (the player's prefix there)" "$warm"
printf '  %-56s %10.3f x     (target <= 1.5)\n' "ratio" "$(echo "scale=3; $first / $warm" | bc)"
printf '  %-56s %10.3f MB    (target <= 64 MB)\n' "the new player's Wine prefix" "$size"
printf '  %-56s %10d       (target none)\n' "files, folders and links the first start made in it" "$entries"
