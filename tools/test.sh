#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the Windows tests under Wine on a
# private X display, the end-to-end tests on a small desktop of their own, and the native
# sanitizer and fuzzer builds. The 32-bit tree is built with its tests too (they can
# only run on Windows). Exits non-zero on any failure; prints each phase's time at the end.
#   tools/test.sh                 everything but the long runs
#   tools/test.sh --quick [ARGS]  only the 64-bit Windows build and its tests; ARGS go to
#                                 ctest (for example -R game_turn)
#   tools/test.sh --soak          the million-message MIDI flood (several minutes)
# With TUNEGRIN_FIRST_FAILURE=1 (tools/mutants.sh) it stops at the first failing test and
# leaves out the 32-bit build, which runs nothing.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

mode=full
case "${1:-}" in
    --quick) mode=quick; shift ;;
    --soak)  mode=soak; shift; set -- -L soak ;;
esac

first_failure=${TUNEGRIN_FIRST_FAILURE:-}
stop=()
[ -z "$first_failure" ] || stop=(--stop-on-failure)

phases=()
phase_start=$SECONDS
# Ends the current phase: its name and time go into the summary.
phase_done() {
    phases+=("$(printf '%-44s %4d s' "$1" $((SECONDS - phase_start)))")
    phase_start=$SECONDS
}
summary() {
    echo "== Times"
    for line in "${phases[@]}"; do echo "   $line"; done
    printf '   %-44s %4d s\n' "total" "$SECONDS"
}

ensure_packages "${BUILD_PACKAGES[@]}" clang libclang-rt-14-dev nsis desktop-file-utils \
    debhelper lintian appstream
phase_done "packages"
build_windows x86_64 -DTUNEGRIN_WERROR=ON
phase_done "64-bit build"

status=0
XVFB_PID=""
side_pid=""
side_log=$BUILD_ROOT/side-builds.log
cleanup() { stop_wine; stop_xvfb; [ -z "$side_pid" ] || kill "$side_pid" 2>/dev/null || true; }
trap cleanup EXIT

# The 32-bit tree (tests, benchmark and tools included) and the native sanitizer builds
# run beside the Wine phase, which mostly waits on the display.
side_builds() {
    local started=$SECONDS
    echo "== 32-bit build, tests included"
    build_windows i686 -DTUNEGRIN_TOOLS=ON -DTUNEGRIN_WERROR=ON || return 1
    echo "   ($((SECONDS - started)) s)"
    echo "== the game built alone in folders of its own, on another date: the same bytes"
    bash "$TOP/tools/same_bytes.sh" || return 1
    echo "== imports of both programs against the Windows each one names"
    local imports=$TOP/tests/imports
    bash "$imports/check_imports.sh" i686-w64-mingw32-objdump "$BUILD_ROOT/i686/tunegrin.exe" \
        "$imports/windows95.txt" 4.0 || return 1
    bash "$imports/check_imports.sh" x86_64-w64-mingw32-objdump "$BUILD_ROOT/x86_64/tunegrin.exe" \
        "$imports/windows_xp_x64.txt" 5.2 || return 1
    started=$SECONDS
    local native=$BUILD_ROOT/native
    if [ ! -f "$native/CMakeCache.txt" ]; then
        cmake -S "$TOP/tests/native" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_CXX_COMPILER=clang++ >/dev/null
    fi
    echo "== native build and tests (Thread- and AddressSanitizer, fuzz corpus and fixed runs)"
    cmake --build "$native" -j "$JOBS" || return 1
    (cd "$native" && ctest --output-on-failure -j "$JOBS" "${stop[@]}") || return 1
    echo "   ($((SECONDS - started)) s)"
}
if [ $mode = full ]; then
    side_builds >"$side_log" 2>&1 &
    side_pid=$!
fi

# The tests' prefix has no sound driver: this machine has no sound card, and Wine's ALSA MIDI
# probe then finds nothing but has now and then crashed a starting game. Nor has it a crash
# debugger, whose process would hold ctest's pipe open until the test's time-out.
quiet_prefix() {
    "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d "" /f </dev/null >/dev/null 2>&1 || true
    "$WINE" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
        </dev/null >/dev/null 2>&1 || true
}

echo "== Windows tests under Wine"
prepare_prefix "$BUILD_ROOT/wineprefix"
start_xvfb 800x600x24
start_wine
quiet_prefix
# Tests that read pixels back share the display and take turns on it (a resource lock);
# the windowless ones run beside them.
filter=(-LE 'e2e|soak')
[ $mode = soak ] && filter=()
(cd "$BUILD_ROOT/x86_64" && ctest --output-on-failure -j 3 "${filter[@]}" "${stop[@]}" "$@") || status=1
phase_done "Windows tests"
[ $status = 0 ] || [ -z "$first_failure" ] || { summary; exit 1; }

# The end-to-end tests play the built game from outside on a 640x480 desktop of their own:
# a second X display, and Wine started afresh on it, since Wine takes the desktop's size
# when it starts. Skipped when the ctest arguments select none of them.
e2e_tests=0
[ $mode = soak ] || e2e_tests=$(cd "$BUILD_ROOT/x86_64" && ctest -N -L e2e "$@" | sed -n 's/^Total Tests: //p')
if [ "${e2e_tests:-0}" -gt 0 ]; then
    echo "== End-to-end tests under Wine on a 640x480 desktop"
    stop_wine
    stop_xvfb || true          # the first display; the exit trap stops the second
    start_xvfb 640x480x24
    start_wine
    quiet_prefix
    (cd "$BUILD_ROOT/x86_64" && ctest --output-on-failure -L e2e "${stop[@]}" "$@") || status=1
    phase_done "end-to-end tests"
    [ $status = 0 ] || [ -z "$first_failure" ] || { summary; exit 1; }
fi

if [ -n "$side_pid" ]; then
    wait "$side_pid" || status=1
    side_pid=""
    cat "$side_log"
    phase_done "32-bit and native builds and tests (waited for)"
fi

summary
exit $status
