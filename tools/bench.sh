#!/usr/bin/env bash
# Builds the Windows programs and prints the benchmark figures, measured under Wine on a
# private X display: every figure for the 64-bit program, then for the 32-bit one those in
# which a 32-bit build can differ (its size, its start-up against a bare window built for the
# same architecture, the scroll rate under a wire-speed MIDI flood and the answer latency seen
# on screen, both through the stand-in winmm.dll); for both, those two again down Wine's own
# MIDI road. Not part of the test run: figures, not pass or fail.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${BUILD_PACKAGES[@]}"
ensure_wine32
for arch in x86_64 i686; do
    build_windows "$arch"
    if [ ! -f "$BUILD_ROOT/$arch/bench/tunegrin_bench.exe" ]; then
        echo "no bench programs in $BUILD_ROOT/$arch: configure it with -DTUNEGRIN_BENCH=ON" >&2
        exit 1
    fi
done

XVFB_PID=""
cleanup() { stop_wine; stop_xvfb; }
trap cleanup EXIT

prepare_prefix "$BUILD_ROOT/wineprefix"
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
bench x86_64
alsa_flood x86_64
echo
bench i686 --start-up-and-flood
alsa_flood i686
