#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the Windows tests under Wine on a
# private X display, and the native sanitizer builds. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${BUILD_PACKAGES[@]}" clang
build_windows x86_64
build_windows i686 -DTUNEGRIN_TESTS=OFF -DTUNEGRIN_BENCH=OFF

# The queue's ring under ThreadSanitizer, natively.
native=$BUILD_ROOT/native
if [ ! -f "$native/CMakeCache.txt" ]; then
    cmake -S "$TOP/tests/native" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build "$native" -j "$JOBS"

status=0
XVFB_PID=""
cleanup() { stop_wine; stop_xvfb; }
trap cleanup EXIT

echo "== native tests (ThreadSanitizer, fuzzing)"
(cd "$native" && ctest --output-on-failure) || status=1

echo "== Windows tests under Wine"
prepare_prefix "$BUILD_ROOT/wineprefix"
start_xvfb 800x600x24
start_wine
(cd "$BUILD_ROOT/x86_64" && ctest --output-on-failure -j 2) || status=1

exit $status
