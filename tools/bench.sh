#!/usr/bin/env bash
# Builds the Windows programs and prints the benchmark figures, measured under Wine on a
# private X display: every figure for the 64-bit program, then for the 32-bit one those in
# which a 32-bit build can differ (its size, its start-up against a bare window built for the
# same architecture, the scroll rate under a wire-speed MIDI flood and the answer latency seen
# on screen, both through the stand-in winmm.dll); for both, those two again down Wine's own
# MIDI road. Then, on a player's desktop (openbox with a tint2 panel), a new player's first start
# against a warm one and, from Wine 10 on, the game window's figures at 3840x2160 scaled 2x.
# Not part of the test run: figures, not pass or fail.
#   tools/bench.sh                 every figure
#   tools/bench.sh --desktop       the figures on a player's desktop alone
#   tools/bench.sh --first-start   a new player's first start against a warm one alone
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

mode=${1:-}
case $mode in
    ''|--desktop|--first-start) ;;
    *) echo "usage: tools/bench.sh [--desktop | --first-start]" >&2; exit 2 ;;
esac
arches=(x86_64 i686)
[ -z "$mode" ] || arches=(x86_64)
packages=("${BENCH_PACKAGES[@]}")
if [ ${#arches[@]} = 2 ]; then
    no_32bit=$(why_no_wine32)
    if [ -z "$no_32bit" ]; then packages+=("$WINE32_PACKAGE")
    else echo "== $no_32bit: the 64-bit program's figures alone"; arches=(x86_64); fi
fi
ensure_packages "${packages[@]}"
for arch in "${arches[@]}"; do
    build_windows "$arch"
    if [ ! -f "$BUILD_ROOT/$arch/bench/tunegrin_bench.exe" ]; then
        echo "no bench programs in $BUILD_ROOT/$arch: configure it with -DTUNEGRIN_BENCH=ON" >&2
        exit 1
    fi
done

XVFB_PID="" desk="" stage=""
cleanup() {
    stop_wine
    stop_desktop
    stop_xvfb
    rm -rf "$desk" "$stage"
}
trap cleanup EXIT
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)

# Wine's drive Z: is the Unix root.
windows_path() { local path=$1; echo "Z:${path//\//\\}"; }
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
if [ -z "$mode" ]; then
    test_prefix "$BUILD_ROOT/wineprefix-bench"
    start_xvfb 800x600x24
    start_wine
    bench x86_64
    alsa_flood x86_64
    echo
    if [ ${#arches[@]} = 2 ]; then
        bench i686 --start-up-and-flood
        alsa_flood i686
        echo
    fi
    stop_wine
    stop_xvfb
fi

# A player's desktop of WIDTH x HEIGHT at DPI (the X resources' Xft.dpi, as a desktop's scale
# sets it; 96: none set), on a display of its own: openbox and a tint2 panel. In the folder
# $desk, the desktop's home and the players' homes.
start_player_desktop() {      # WIDTH HEIGHT DPI
    local failed
    desk=$(mktemp -d)
    chmod 755 "$desk"
    mkdir "$desk/home"
    # -noreset: as a player's X server, not reset (its resources gone) between clients.
    start_xvfb "$1x$2x24" -noreset
    failed=$(HOME=$desk/home start_desktop "$1" "$2" "$desk/wm.log" 2>&1) \
        || { echo "no desktop: $failed" >&2; return 1; }
    [ "$3" = 96 ] || echo "Xft.dpi: $3" | xrdb -nocpp -merge
}
stop_player_desktop() {
    stop_desktop
    stop_xvfb
    rm -rf "$desk"
    desk=""
}

# The players' launcher, as a player (tools/common.sh).
player=() launcher=() prefix_code="" template="" source_note=""
stage_launcher() {
    stage_player "$stage" "$BUILD_ROOT/x86_64/tunegrin.exe"
    player=("${PLAYER_START[@]}") launcher=("${PLAYER_COMMAND[@]}") prefix_code=$PLAYER_CODE
    template=$PLAYER_TEMPLATE source_note=$PLAYER_NOTE
}
# From the command until the game's window is on the screen (mapped, in X's window list:
# no Wine process of ours joins in).
start_ms() {           # HOME: milliseconds until the window shows, or nothing; then the game is ended
    local home=$1 began shown=""
    began=$(date +%s%N)
    "${player[@]}" env -u XDG_DATA_HOME -u WINEPREFIX HOME="$home" "${launcher[@]}" >/dev/null 2>&1 &
    local pid=$!
    for _ in $(seq 1 6000); do
        if xdotool search --onlyvisible --name '^TuneGrin$' >/dev/null 2>&1; then
            shown=$(date +%s%N)
            break
        fi
        sleep 0.01
    done
    end_player_wine "$home"
    wait "$pid" 2>/dev/null || true
    [ -z "$shown" ] || echo $(((shown - began) / 1000000))
}
end_player_wine() {    # HOME: its Wine ended, and waited for
    "${player[@]}" env WINEPREFIX="$1/.local/share/tunegrin/wine" wineserver -k 2>/dev/null || true
    "${player[@]}" env WINEPREFIX="$1/.local/share/tunegrin/wine" wineserver -w 2>/dev/null || true
}
new_home() {
    local home
    home=$(mktemp -d -p "$desk")
    [ ${#player[@]} = 0 ] || chown 65534:65534 "$home"
    echo "$home"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
rounds() { local v out=""; for v in "$@"; do out+="${v:-none} "; done; echo "${out% }"; }

# A new player's first start against a warm one, as players start the game, on a desktop of
# WIDTH x HEIGHT at DPI. Each round a new home: its first start, then a warm one (its prefix
# there, no Wine server running). At a DPI that differs from the template's 96, on Wine 10 and
# later, the first start also gives the new prefix the desktop's scale: the launcher's steps
# that make the prefix, scale and all, are timed alone too, on a prefix of their own each round.
first_start_figures() {     # WIDTH HEIGHT DPI
    local firsts=() warms=() scales=() home size entries missed first warm began
    start_player_desktop "$@"
    for _ in 1 2 3 4 5; do
        home=$(new_home)
        firsts+=("$(start_ms "$home")")
        size=$(du -sm "$home/.local/share/tunegrin/wine" | cut -f1)
        entries=$(find "$home/.local/share/tunegrin/wine" | wc -l)
        warms+=("$(start_ms "$home")")
        rm -rf "$home"
        if [ "$3" != 96 ] && [ "$(wine_major)" -ge 10 ] 2>/dev/null; then
            home=$(new_home)
            # shellcheck disable=SC2016
            scales+=("$("${player[@]}" env HOME="$home" bash -c '. "$0" && data=$(tunegrin_data) && began=$(date +%s%N) \
                && player_prefix "$data/wine" "$1" && prepare_prefix "$data/wine" && match_desktop_dpi "$data/wine" \
                && echo $((($(date +%s%N) - began) / 1000000))' \
                "$prefix_code" "$template" 2>/dev/null)")
            end_player_wine "$home"
            rm -rf "$home"
        fi
    done
    stop_player_desktop
    # A start whose window X never showed within a minute is counted, not timed.
    missed=$(printf '%s\n' "${firsts[@]}" "${warms[@]}" | grep -c '^$' || true)
    first=$(printf '%s\n' "${firsts[@]}" | grep . | median)
    warm=$(printf '%s\n' "${warms[@]}" | grep . | median)
    echo "first start of a new player on a $1x$2 desktop at $3 dpi (openbox, tint2 panel):"
    echo "  the launcher's command -> game window on screen, median of 5"
    echo "  (each round: first $(rounds "${firsts[@]}") ms, warm $(rounds "${warms[@]}") ms)"
    echo "  ($source_note)"
    [ "$missed" = 0 ] || echo "  PROBLEM: $missed of 10 starts showed no window on the screen within a minute"
    printf '  %-56s %10.3f ms    (target none)\n' "first start (the prefix copied from the template)" "$first"
    printf '  %-56s %10.3f ms    (target none)\n' "warm start (the player's prefix there)" "$warm"
    printf '  %-56s %10.3f x     (target <= 1.5)\n' "ratio" "$(echo "scale=3; $first / $warm" | bc)"
    printf '  %-56s %10.3f MB    (target <= 64 MB)\n' "the new player's Wine prefix" "$size"
    printf '  %-56s %10d       (target none)\n' "files, folders and links the first start made in it" "$entries"
    if [ ${#scales[@]} -gt 0 ]; then
        echo "  (the launcher's prefix steps, each round: $(rounds "${scales[@]}") ms)"
        printf '  %-56s %10.3f ms    (target none)\n' "of the first start: prefix copied, given the scale" \
            "$(printf '%s\n' "${scales[@]}" | grep . | median)"
    fi
}

# The game window's figures, each beside its floor, on a 3840x2160 desktop at 2x (Xft.dpi 192)
# in a player's prefix as the launcher makes it, its LogPixels 192: Wine 10 and later scale
# the game's window twice, a stretch of its surface on each copy to the screen. Then the same
# on a 1920x1080 desktop at 1x, the same game window unscaled, to set beside them.
window_figures() {          # WIDTH HEIGHT DPI
    local data
    start_player_desktop "$@"
    data=$desk/home/.local/share/tunegrin
    (
        export HOME=$desk/home
        unset XDG_DATA_HOME
        player_prefix "$data/wine" "$BUILD_TEMPLATE" && prepare_prefix "$data/wine" && match_desktop_dpi "$data/wine" \
            && echo "game window on a $1x$2 desktop at $3 dpi (openbox, tint2 panel); the prefix's LogPixels $(prefix_dpi "$data/wine")" \
            && "$WINE" "$BUILD_ROOT/x86_64/bench/tunegrin_bench.exe" --window-figures "${cpu:-unknown CPU}" 2> >(grep -v '^ALSA lib' >&2)
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
    )
    stop_player_desktop
}
scaled_window_figures() {
    if [ "$(wine_major)" -lt 10 ] 2>/dev/null; then
        echo "game window at 3840x2160, 2x: not measured, as $("$WINE" --version) draws the game at its own size there"
        return 0
    fi
    window_figures 3840 2160 192
    echo
    window_figures 1920 1080 96
}

stage=$(mktemp -d)
stage_launcher
first_start_figures 1920 1080 96
[ "$mode" = --first-start ] || [ "$(wine_major)" -lt 10 ] 2>/dev/null || { echo; first_start_figures 3840 2160 192; }
[ "$mode" = --first-start ] || { echo; scaled_window_figures; }
