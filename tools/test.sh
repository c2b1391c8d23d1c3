#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the Windows tests under Wine on a
# private X display, and the native sanitizer builds. Exits non-zero on any failure.
#   tools/test.sh                 everything
#   tools/test.sh --quick [ARGS]  only the 64-bit Windows build and its tests; ARGS go to
#                                 ctest (for example -R game_turn)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

quick=0
if [ "${1:-}" = "--quick" ]; then quick=1; shift; fi

ensure_packages "${BUILD_PACKAGES[@]}" clang libclang-rt-14-dev nsis desktop-file-utils
build_windows x86_64
status=0
if [ $quick -eq 0 ]; then
    echo "== 32-bit build"
    build_windows i686 -DTUNEGRIN_TESTS=OFF -DTUNEGRIN_BENCH=OFF

    native=$BUILD_ROOT/native
    if [ ! -f "$native/CMakeCache.txt" ]; then
        cmake -S "$TOP/tests/native" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_CXX_COMPILER=clang++ >/dev/null
    fi
    cmake --build "$native" -j "$JOBS"
    echo "== native tests (ThreadSanitizer, fuzzing)"
    (cd "$native" && ctest --output-on-failure) || status=1
fi

XVFB_PID=""
cleanup() { stop_wine; stop_xvfb; }
trap cleanup EXIT

echo "== Windows tests under Wine"
prepare_prefix "$BUILD_ROOT/wineprefix"
start_xvfb 800x600x24
start_wine
# One at a time: the tests read pixels back from windows on one shared display.
(cd "$BUILD_ROOT/x86_64" && ctest --output-on-failure -LE e2e "$@") || status=1

# The end-to-end tests play the built game from outside on a 640x480 desktop of their own:
# a second X display, and Wine started afresh on it, since Wine takes the desktop's size
# when it starts. Skipped when the ctest arguments select none of them.
e2e_tests=$(cd "$BUILD_ROOT/x86_64" && ctest -N -L e2e "$@" | sed -n 's/^Total Tests: //p')
if [ "${e2e_tests:-0}" -gt 0 ]; then
    echo "== End-to-end tests under Wine on a 640x480 desktop"
    stop_wine
    stop_xvfb || true          # the first display; the exit trap stops the second
    start_xvfb 640x480x24
    start_wine
    (cd "$BUILD_ROOT/x86_64" && ctest --output-on-failure -L e2e "$@") || status=1
fi

exit $status
