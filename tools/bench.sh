#!/usr/bin/env bash
# Builds the 64-bit Windows programs and prints the benchmark figures, measured under Wine
# on a private X display. Not part of the test run: figures, not pass or fail.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${BUILD_PACKAGES[@]}"
build_windows x86_64
build=$BUILD_ROOT/x86_64
if [ ! -f "$build/bench/tunegrin_bench.exe" ]; then
    echo "no bench programs in $build: configure it with -DTUNEGRIN_BENCH=ON" >&2
    exit 1
fi

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
"$WINE" "$build/bench/tunegrin_bench.exe" "$(windows_path "$build/tunegrin.exe")" \
    "${cpu:-unknown CPU}" "$XVFB_PID" 2> >(grep -v '^ALSA lib' >&2)
